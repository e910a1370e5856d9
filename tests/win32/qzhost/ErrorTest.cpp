// Everything qzhost refuses: each case ends with a non-zero exit code and one line on
// standard error, writes nothing and leaves the input as it was.
#include "HostTestSupport.h"

#include <gtest/gtest.h>

namespace {

class QzhostRefuses : public QzhostTest {
protected:
    void SetUp() override
    {
        in = WriteInput(L"in.wav", TestSignal(2, 44100, 8000, 0.5));
        inBytes = ReadBytes(in);
        out = scratch.Path(L"out.wav");
    }

    // Runs qzhost and checks the refusal; answers the message.
    std::string Refused(const std::vector<std::wstring>& arguments, DWORD expectedCode)
    {
        std::string described = "qzhost";
        for (const std::wstring& argument : arguments)
            described += " [" + Narrow(argument) + "]";
        const HostRun run = RunQzhost(arguments);
        EXPECT_EQ(run.exitCode, expectedCode) << described << "\nstandard error: " << run.err;
        const std::vector<std::string> lines = Lines(run.err);
        EXPECT_EQ(lines.size(), 1u) << described << ": one line on standard error\n" << run.err;
        EXPECT_TRUE(!run.err.empty() && run.err.back() == '\n') << described;
        EXPECT_EQ(run.err.compare(0, 8, "qzhost: "), 0) << described << ": " << run.err;
        EXPECT_EQ(run.out, "") << described << ": no report";
        EXPECT_FALSE(Exists(out)) << described << ": no output file";
        EXPECT_FALSE(Exists(out + L".partial")) << described << ": no temporary file";
        EXPECT_EQ(ReadBytes(in), inBytes) << described << ": the input is untouched";
        return lines.empty() ? "" : lines[0];
    }

    std::vector<std::wstring> ProcessWith(const std::vector<std::wstring>& options)
    {
        std::vector<std::wstring> arguments{L"process", in, out};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return arguments;
    }

    static bool Says(const std::string& message, const std::string& part)
    {
        return message.find(part) != std::string::npos;
    }

    std::wstring in;
    std::vector<BYTE> inBytes;
    std::wstring out;
};

constexpr DWORD kFailed = 1;     // the task failed
constexpr DWORD kUsage = 2;      // the command line is wrong

TEST_F(QzhostRefuses, CommandLinesItCannotMakeSenseOf)
{
    EXPECT_TRUE(Says(Refused({}, kUsage), "no command"));
    EXPECT_TRUE(Says(Refused({L"play"}, kUsage), "unknown command \"play\""));
    EXPECT_TRUE(Says(Refused({L"process", in}, kUsage), "needs IN.wav and OUT.wav"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--gain", L"3"}), kUsage), "unknown option --gain"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--set"}), kUsage), "--set needs a value"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--preset", L"one"}), kUsage), "--preset \"one\""));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--preset", L"2"}), kUsage), "presets 0..1"));
    EXPECT_TRUE(Says(Refused({L"settings", L"--set", L"Ratio 1=0.5"}, kUsage), "needs --save FILE"));
    EXPECT_TRUE(Says(Refused({L"settings", L"--ramp", L"Ratio 1=0:1@0-1", L"--save", out}, kUsage), "--ramp"));
    EXPECT_TRUE(Says(Refused({L"presets", in}, kUsage), "takes no file name"));
    EXPECT_TRUE(Says(Refused({L"settings", L"--editor", L"--save", out}, kUsage), "--editor belongs to qzhost process"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--editor", L"--editor"}), kUsage), "--editor given twice"));
    EXPECT_TRUE(Says(Refused({L"presets", L"--registered", L"--registered"}, kUsage), "--registered given twice"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--dll", L"qzMultibandDX.dll", L"--registered"}), kUsage),
                     "--dll and --registered name two filters"));
}

TEST_F(QzhostRefuses, NothingWhenHelpIsAskedFor)
{
    for (const std::vector<std::wstring>& arguments :
         {std::vector<std::wstring>{L"help"}, {L"--help"}, ProcessWith({L"--help"}), {L"settings", L"-h"}}) {
        const HostRun run = RunQzhost(arguments);
        EXPECT_EQ(run.exitCode, 0u) << Narrow(arguments.back());
        EXPECT_EQ(run.out.compare(0, 13, "usage: qzhost"), 0) << run.out;
        EXPECT_FALSE(Exists(out)) << "no output file";
    }
}

TEST_F(QzhostRefuses, ValuesThatAreNotNormalizedNumbers)
{
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--set", L"Nothing 9=0.5"}), kUsage), "unknown parameter \"Nothing 9\""));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--set", L"Ratio 1"}), kUsage), "expected LABEL=VALUE"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--set", L"Ratio 1=loud"}), kUsage), "\"loud\" is not a number"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--set", L"Ratio 1=0.5x"}), kUsage), "is not a number"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--set", L"Ratio 1="}), kUsage), "is not a number"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--set", L"Ratio 1=1.5"}), kUsage), "outside 0..1"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--set", L"Ratio 1=-0.1"}), kUsage), "outside 0..1"));
}

TEST_F(QzhostRefuses, RampsItCannotRead)
{
    for (const wchar_t* ramp : {L"Threshold 1=1:0.2", L"Threshold 1=1:0.2@0.5", L"Threshold 1=1-0.2@0.5-1",
                                L"Threshold 1=1:0.2@0.5-1s", L"Threshold 1=1:0.2@0.5:1", L"Threshold 1"}) {
        EXPECT_TRUE(Says(Refused(ProcessWith({L"--ramp", ramp}), kUsage), "expected LABEL=FROM:TO@START-END"))
            << Narrow(ramp);
    }
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--ramp", L"Threshold 1=1:2@0-1"}), kUsage), "TO 2 is outside 0..1"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--ramp", L"Threshold 1=1:0@1-0.5"}), kUsage), "0 <= START < END"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--ramp", L"Threshold 9=1:0@0-1"}), kUsage), "unknown parameter"));
}

TEST_F(QzhostRefuses, RecordsTheFilterDoesNotTake)
{
    const std::wstring zeros = scratch.Path(L"zeros.rec");
    WriteBytes(zeros, std::vector<BYTE>(240, 0));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--load", zeros}), kFailed), "the filter refused the settings record"));
    const std::wstring shortRecord = scratch.Path(L"short.rec");
    WriteBytes(shortRecord, {240, 0, 0, 0});
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--load", shortRecord}), kFailed), "the filter refused"));
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--load", scratch.Path(L"missing.rec")}), kFailed), "cannot open"));
    // A saved record with anything after it is not a record either.
    const std::wstring good = scratch.Path(L"good.rec");
    ASSERT_EQ(RunQzhost({L"settings", L"--save", good}).exitCode, 0u);
    std::vector<BYTE> longer = ReadBytes(good);
    longer.push_back(0);
    WriteBytes(good, longer);
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--load", good}), kFailed), "more than the 240-byte record"));
}

TEST_F(QzhostRefuses, InputsItCannotStream)
{
    EXPECT_TRUE(Says(Refused({L"process", scratch.Path(L"none.wav"), out}, kFailed), "cannot open"));

    const std::wstring text = scratch.Path(L"text.wav");
    const std::string words = "this is not a WAV file, although its name says so\n";
    WriteBytes(text, std::vector<BYTE>(words.begin(), words.end()));
    EXPECT_TRUE(Says(Refused({L"process", text, out}, kFailed), "not a WAV file"));

    // 32-bit float reaches the filter as WAVE_FORMAT_EXTENSIBLE through Wine's parser.
    WavData floats{WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 32, std::vector<BYTE>(4000 * 8, 0)};
    const std::wstring floatPath = WriteInput(L"float.wav", floats);
    const std::string floatMessage = Refused({L"process", floatPath, out}, kFailed);
    EXPECT_TRUE(Says(floatMessage, "float")) << floatMessage;
    EXPECT_TRUE(Says(floatMessage, "use 16-bit PCM")) << floatMessage;

    // 24-bit PCM: the graph cannot connect the parser to the filter.
    WavData pcm24{WAVE_FORMAT_PCM, 2, 44100, 24, std::vector<BYTE>(4000 * 6, 0)};
    const std::wstring pcm24Path = WriteInput(L"pcm24.wav", pcm24);
    EXPECT_TRUE(Says(Refused({L"process", pcm24Path, out}, kFailed), "the filter does not accept"));
}

TEST_F(QzhostRefuses, AFailedRunLeavesAnExistingOutputAsItWas)
{
    WavData pcm24{WAVE_FORMAT_PCM, 2, 44100, 24, std::vector<BYTE>(4000 * 6, 0)};
    const std::wstring pcm24Path = WriteInput(L"pcm24.wav", pcm24);
    const std::wstring existing = scratch.Path(L"existing.wav");
    WriteBytes(existing, {'k', 'e', 'e', 'p'});
    const HostRun run = RunQzhost({L"process", pcm24Path, existing});
    EXPECT_EQ(run.exitCode, kFailed);
    EXPECT_EQ(ReadBytes(existing), (std::vector<BYTE>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(Exists(existing + L".partial"));
}

TEST_F(QzhostRefuses, WritingOverTheInput)
{
    EXPECT_TRUE(Says(Refused({L"process", in, in}, kUsage), "would overwrite the input"));
    // The same file by another name.
    const std::wstring folder = in.substr(0, in.find_last_of(L'\\'));
    EXPECT_TRUE(Says(Refused({L"process", in, folder + L"\\.\\IN.WAV"}, kUsage), "would overwrite the input"));
    // The output's temporary name.
    const std::wstring partialInput = scratch.Path(L"take.wav.partial");
    WriteWav(partialInput, TestSignal(2, 44100, 1000, 0.5));
    const std::vector<BYTE> before = ReadBytes(partialInput);
    EXPECT_TRUE(Says(Refused({L"process", partialInput, scratch.Path(L"take.wav")}, kUsage), "would overwrite"));
    EXPECT_EQ(ReadBytes(partialInput), before);
    // A settings record saved over the input.
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--save", in}), kUsage), "would overwrite the input"));
}

TEST_F(QzhostRefuses, SavingOverWhatIsNoSettingsRecord)
{
    const std::wstring other = scratch.Path(L"notes.txt");
    WriteBytes(other, {'m', 'y', ' ', 'n', 'o', 't', 'e', 's'});
    // A 240-byte file that is something else.
    const std::wstring lookalike = scratch.Path(L"lookalike.rec");
    WriteBytes(lookalike, std::vector<BYTE>(240, 'x'));
    const std::wstring protectedRecord = scratch.Path(L"protected.rec");
    ASSERT_EQ(RunQzhost({L"settings", L"--save", protectedRecord}).exitCode, 0u);
    ASSERT_TRUE(SetFileAttributesW(protectedRecord.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::wstring folder = scratch.Path(L"folder.rec");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));

    const struct {
        std::wstring path;
        const char* says;
    } cases[] = {
        {other, "is not a settings record"},
        {lookalike, "is not a settings record"},
        {protectedRecord, "write-protected"},
        {folder, "folder"},
        {scratch.Path(L"nul.rec"), "device"},
    };
    for (const auto& c : cases) {
        const std::vector<BYTE> before = Exists(c.path) && c.path != folder ? ReadBytes(c.path) : std::vector<BYTE>{};
        // qzhost runs are slow here: process --save, which writes the same way, once.
        const std::vector<std::wstring> arguments = c.path == other
                                                        ? ProcessWith({L"--save", c.path})
                                                        : std::vector<std::wstring>{L"settings", L"--save", c.path};
        const std::string message = Refused(arguments, kFailed);
        EXPECT_TRUE(Says(message, c.says)) << message;
        EXPECT_TRUE(Says(message, Narrow(c.path.substr(c.path.find_last_of(L'\\') + 1)))) << message;
        if (c.path != folder) {
            EXPECT_EQ(Exists(c.path) ? ReadBytes(c.path) : std::vector<BYTE>{}, before) << message;
        }
    }
    const std::string message = Refused({L"settings", L"--save", other}, kFailed);
    EXPECT_TRUE(Says(message, "is not a settings record")) << message;
    EXPECT_EQ(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
    SetFileAttributesW(protectedRecord.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(folder.c_str());
}

TEST_F(QzhostRefuses, AMissingDllOrOutputFolder)
{
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--dll", scratch.Path(L"nowhere.dll")}), kFailed),
                     "cannot load the filter DLL"));
    EXPECT_TRUE(Says(Refused({L"presets", L"--dll", scratch.Path(L"nowhere.dll")}, kFailed), "cannot load"));
    // A DLL that is no COM server.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_TRUE(Says(Refused(ProcessWith({L"--dll", std::wstring(system) + L"\\version.dll"}), kFailed),
                     "no DllGetClassObject"));

    const std::wstring nowhere = scratch.Path(L"no-such-folder\\out.wav");
    EXPECT_TRUE(Says(Refused({L"process", in, nowhere}, kFailed), "cannot create"));
    EXPECT_FALSE(Exists(nowhere));
}

} // namespace
