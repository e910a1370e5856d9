// qzmb as a hostile user tries it: NaN in the audio, outputs that are devices, links,
// protected files or the inputs themselves, interrupted runs, settings records that are
// folders or huge, and command lines that are wrong. The real binary on real files.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <limits>

#include "QzmbTestSupport.h"

namespace qz {
namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

// A cap on qzmb's memory, well below a gigabyte.
const std::string kMemoryCap = MemoryCap(300);

bool Says(const RunResult& run, const std::string& part) { return run.output.find(part) != std::string::npos; }

int Lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// A fresh folder of its own for each test, so leftovers can be counted.
class QzmbSafety : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = TempPath(test->name());
        std::system(("rm -rf " + folder).c_str());
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        in = Path("in.wav");
        WriteFile(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, MakeSignal(5000, 2));
    }

    std::string Path(const std::string& name) const { return folder + "/" + name; }

    // The names in the folder that are none of `expected`: temporary files left behind.
    std::vector<std::string> Leftovers(std::vector<std::string> expected = {}) const
    {
        expected.push_back("in.wav");
        std::vector<std::string> found;
        DIR* dir = opendir(folder.c_str());
        for (dirent* entry; dir != nullptr && (entry = readdir(dir)) != nullptr;) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && std::find(expected.begin(), expected.end(), name) == expected.end())
                found.push_back(name);
        }
        if (dir != nullptr)
            closedir(dir);
        return found;
    }

    std::string folder, in;
};

// --- Non-finite and huge samples ---------------------------------------------------------

TEST_F(QzmbSafety, NonFiniteSamplesAreCountedAndComeOutAsAudio)
{
    std::vector<double> signal = MakeSignal(20000, 2);
    signal[2000] = std::numeric_limits<double>::quiet_NaN();
    signal[2001] = std::numeric_limits<double>::infinity();
    signal[9000] = -std::numeric_limits<double>::infinity();
    const std::string poisoned = Path("nan.wav"), out = Path("nan_out.wav");
    WriteFile(poisoned, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, signal);

    for (const char* limiter : {"on", "off"}) {
        const RunResult run = RunQzmb("process " + poisoned + " " + out + " --set Limiter=" + limiter);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        EXPECT_TRUE(Says(run, "non-finite input samples: 3 (NaN or infinite; processed as silence)")) << run.output;
        const AudioFile result = ReadFile(out);
        ASSERT_EQ(result.info.frames, 20000);
        double tail = 0.0;
        for (size_t k = 0; k < result.samples.size(); ++k) {
            ASSERT_TRUE(std::isfinite(result.samples[k])) << "sample " << k << ", limiter " << limiter;
            if (k >= 30000)
                tail = std::fmax(tail, std::fabs(result.samples[k]));
        }
        EXPECT_GT(tail, 0.1) << "the audio after the bad samples is still there";
    }
}

// --- compare ------------------------------------------------------------------------------

TEST_F(QzmbSafety, CompareCountsNaNAndInfinityAsDifferencesAndTellsTroubleApart)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const std::string zeros = Path("zeros.wav"), nans = Path("nans.wav"), infs = Path("infs.wav"),
                      other = Path("other.wav");
    WriteFile(zeros, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, std::vector<double>(1000, 0.0));
    WriteFile(nans, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, std::vector<double>(1000, nan));
    WriteFile(infs, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, std::vector<double>(1000, inf));
    WriteFile(other, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, std::vector<double>(999, 0.0));

    struct Case {
        std::string arguments;
        int exitCode;
        std::string says;
    };
    const Case cases[] = {
        {"compare " + zeros + " " + zeros, 0, "they agree"},
        {"compare " + nans + " " + zeros, 1, "1000 NaN or infinite samples: they differ"},
        {"compare " + zeros + " " + infs, 1, "they differ"},
        {"compare " + infs + " " + infs, 1, "they differ"},
        {"compare " + zeros + " " + other, 1, "differ in channels, sample rate or length"},
        {"compare " + zeros + " " + Path("missing.wav"), kUsage, "cannot read"},
        {"compare " + zeros + " " + folder, kUsage, "cannot read"},
        {"compare " + zeros, kUsage, "compare needs two files"},
    };
    for (const Case& c : cases) {
        const RunResult run = RunQzmb(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_TRUE(Says(run, c.says)) << c.arguments << "\n" << run.output;
    }
}

// --- Temporary files ----------------------------------------------------------------------

TEST_F(QzmbSafety, AnInputNamedLikeATemporaryFileIsOnlyRead)
{
    const std::string partial = Path("song.wav.partial"), song = Path("song.wav");
    std::system(("cp " + in + " " + partial).c_str());
    const std::string before = FileBytes(partial);
    const RunResult run = RunQzmb("process " + partial + " " + song);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FileBytes(partial), before);
    EXPECT_EQ(ReadFile(song).info.frames, 5000);
    EXPECT_EQ(Leftovers({"song.wav.partial", "song.wav"}), std::vector<std::string>{});
}

// A WAV header announcing far more frames than will come, for an input fed through a
// pipe: qzmb then waits in the middle of its run for as long as the test wants.
std::string OpenEndedWavHeader()
{
    const uint32_t dataBytes = 100000000;
    std::string h = "RIFF";
    auto put = [&h](uint32_t value, int bytes) {
        for (int k = 0; k < bytes; ++k)
            h += static_cast<char>((value >> (8 * k)) & 0xFF);
    };
    put(36 + dataBytes, 4);
    h += "WAVEfmt ";
    put(16, 4), put(1, 2), put(2, 2), put(44100, 4), put(44100 * 4, 4), put(4, 2), put(16, 2);
    h += "data";
    put(dataBytes, 4);
    return h;
}

// qzmb reading its input from a pipe the test holds.
class PipedRun {
public:
    PipedRun(const std::string& fifo, const std::string& out)
    {
        mkfifo(fifo.c_str(), 0600);
        const int quiet = open("/dev/null", O_WRONLY);
        m_pid = StartQzmb({"process", fifo, out}, quiet);
        close(quiet);
        m_pipe = open(fifo.c_str(), O_WRONLY);  // waits for qzmb to open it
        feed(OpenEndedWavHeader() + std::string(44100 * 4, '\0'));
    }
    ~PipedRun()
    {
        closeInput();
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
    }

    void feed(const std::string& bytes) { ASSERT_EQ(write(m_pipe, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    void closeInput()
    {
        if (m_pipe >= 0)
            close(m_pipe);
        m_pipe = -1;
    }
    void signal(int number) const { kill(m_pid, number); }
    // The wait status of the ended run.
    int wait()
    {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid = -1;
    int m_pipe = -1;
};

TEST_F(QzmbSafety, AnInterruptedRunLeavesNothingBehind)
{
    for (int number : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(number));
        const std::string fifo = Path("pipe.wav"), out = Path("out.wav");
        PipedRun run(fifo, out);
        std::vector<std::string> found;
        while ((found = Leftovers({"pipe.wav"})).empty())  // ctest's timeout ends a hung run
            usleep(10000);
        EXPECT_NE(found[0].find(".out.wav.qzmb-"), std::string::npos) << found[0];
        run.signal(number);
        const int status = run.wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == number) << "status " << status;
        EXPECT_EQ(Leftovers({"pipe.wav"}), std::vector<std::string>{}) << "no temporary file, no output";
        unlink(fifo.c_str());
    }
}

TEST_F(QzmbSafety, TwoRunsWritingTheSameOutputEachUseTheirOwnTemporaryFile)
{
    const std::string out = Path("same.wav");
    PipedRun first(Path("a.wav"), out), second(Path("b.wav"), out);
    std::vector<std::string> found;
    while ((found = Leftovers({"a.wav", "b.wav"})).size() < 2)
        usleep(10000);
    EXPECT_NE(found[0], found[1]);
    first.closeInput();
    second.closeInput();
    EXPECT_EQ(first.wait(), 0);
    EXPECT_EQ(second.wait(), 0);
    const AudioFile result = ReadFile(out);
    EXPECT_EQ(result.info.frames, 44100) << "a complete file from one of them";
    EXPECT_EQ(Leftovers({"a.wav", "b.wav", "same.wav"}), std::vector<std::string>{});
}

// --- Outputs that must not be replaced ---------------------------------------------------

TEST_F(QzmbSafety, OutputsThatAreNotRegularFilesOrAreProtectedAreRefused)
{
    const std::string fifo = Path("fifo.wav"), sub = Path("sub.wav"), locked = Path("locked.wav"),
                      dangling = Path("dangling.wav"), record = Path("s.rec"), hardLink = Path("hard.wav"),
                      device = Path("null.wav");
    // A null device of the test's own, never the system's: a faulty qzmb run as root
    // would replace it. Making one takes root; without it the device case is left out.
    const bool haveDevice = mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    mkfifo(fifo.c_str(), 0644);
    mkdir(sub.c_str(), 0755);
    WriteFile(locked, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, std::vector<double>(10, 0.25));
    chmod(locked.c_str(), 0444);
    symlink(Path("nowhere.wav").c_str(), dangling.c_str());
    link(in.c_str(), hardLink.c_str());
    ASSERT_EQ(RunQzmb("record " + record).exitCode, 0);
    const std::string lockedBytes = FileBytes(locked), recordBytes = FileBytes(record), inBytes = FileBytes(in);

    struct Case {
        std::string arguments;
        std::string says;
    };
    std::vector<Case> cases = {
        {"process " + in + " " + fifo, "is a pipe; only regular files are written"},
        {"process " + in + " " + sub, "is a folder"},
        {"process " + in + " " + locked, "is write-protected; not replaced"},
        {"process " + in + " " + dangling, "symbolic link to nothing"},
        {"process " + in + " " + hardLink, "would overwrite the input"},
        {"process " + in + " " + record + " --record " + record, "would overwrite the input " + record},
        {"record " + in, "exists and is not a settings record; not overwritten"},
        {"record " + record + " --record " + record, "would overwrite the input"},
    };
    if (haveDevice)
        cases.push_back({"process " + in + " " + device, "is a device; only regular files are written"});
    for (const Case& c : cases) {
        const RunResult run = RunQzmb(c.arguments);
        EXPECT_EQ(run.exitCode, kFailed) << c.arguments << "\n" << run.output;
        EXPECT_TRUE(Says(run, c.says)) << c.arguments << "\n" << run.output;
        EXPECT_EQ(Lines(run.output), 1) << run.output;
    }
    struct stat info;
    if (haveDevice) {
        ASSERT_EQ(lstat(device.c_str(), &info), 0);
        EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device is still a device";
    }
    ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    ASSERT_EQ(lstat(dangling.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(FileBytes(locked), lockedBytes);
    EXPECT_EQ(FileBytes(record), recordBytes);
    EXPECT_EQ(FileBytes(in), inBytes);
    EXPECT_EQ(Leftovers({"fifo.wav", "sub.wav", "locked.wav", "dangling.wav", "s.rec", "hard.wav", "null.wav"}),
              std::vector<std::string>{});
}

TEST_F(QzmbSafety, ALinkedOutputReplacesTheFileItNamesAndKeepsItsPermissions)
{
    const std::string real = Path("real.wav"), link = Path("link.wav"), rec = Path("a.rec");
    WriteFile(real, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, std::vector<double>(10, 0.25));
    chmod(real.c_str(), 0640);
    symlink("real.wav", link.c_str());
    const RunResult run = RunQzmb("process " + in + " " + link);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    struct stat info;
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link stays a link";
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u) << "the replaced file keeps its permissions";
    EXPECT_EQ(ReadFile(real).info.frames, 5000) << "the file the link names holds the output";

    // A new file gets what any new file gets: not the temporary file's private mode.
    const mode_t mask = umask(022);
    ASSERT_EQ(RunQzmb("record " + rec).exitCode, 0);
    umask(mask);
    ASSERT_EQ(stat(rec.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

// --- Settings records ---------------------------------------------------------------------

TEST_F(QzmbSafety, SettingsRecordsThatAreNotRecordsGetOneLine)
{
    const std::string huge = Path("huge.rec"), out = Path("out.wav");
    std::ofstream(huge).close();
    ASSERT_EQ(truncate(huge.c_str(), 1 << 30), 0) << "sparse: a gigabyte on paper, nothing on disk";
    struct Case {
        std::string record;
        std::string says;
    };
    const Case cases[] = {
        {folder, "not a qz:Multiband settings record (not a regular file)"},
        {huge, "(1073741824 bytes, not 240)"},
        {Path("missing.rec"), "cannot read the settings record"},
    };
    for (const Case& c : cases) {
        // With less memory than a reading of the whole gigabyte would need.
        const RunResult run = RunQzmb("process " + in + " " + out + " --record " + c.record, kMemoryCap);
        EXPECT_EQ(run.exitCode, kFailed) << c.record << "\n" << run.output;
        EXPECT_TRUE(Says(run, c.says)) << c.record << "\n" << run.output;
        EXPECT_EQ(Lines(run.output), 1) << run.output;
    }
    EXPECT_EQ(Leftovers({"huge.rec"}), std::vector<std::string>{});
}

// --- The report ---------------------------------------------------------------------------

TEST_F(QzmbSafety, TheReportCoversTheFramesTheFlushWrites)
{
    struct Case {
        const char* name;
        int frames;
        int loudFrom;  // frames from here on are loud
    };
    for (const Case& c : {Case{"tail.wav", 20000, 19960}, Case{"short.wav", 50, 0}}) {
        std::vector<double> signal(static_cast<size_t>(c.frames) * 2);
        for (int n = 0; n < c.frames; ++n)
            signal[2 * n] = signal[2 * n + 1] = (n >= c.loudFrom ? 0.9 : 0.01) * std::sin(0.3 * n);
        const std::string source = Path(c.name), out = Path(std::string("out_") + c.name);
        WriteFile(source, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, signal);
        const RunResult run = RunQzmb("process " + source + " " + out);
        ASSERT_EQ(run.exitCode, 0) << run.output;

        const AudioFile result = ReadFile(out);
        double peak = 0.0;
        for (double x : result.samples)
            peak = std::fmax(peak, std::fabs(x));
        double left = 0, right = 0;
        const size_t at = run.output.find("output peak: ");
        ASSERT_NE(at, std::string::npos) << run.output;
        ASSERT_EQ(std::sscanf(run.output.c_str() + at, "output peak: %lf dBFS left, %lf dBFS right", &left, &right), 2);
        EXPECT_NEAR(std::fmax(left, right), 20 * std::log10(peak), 0.01) << c.name << "\n" << run.output;
    }
}

// --- The command line ---------------------------------------------------------------------

TEST_F(QzmbSafety, UsageErrorsExitWithTwoAndSayWhatIsWrong)
{
    const std::string out = Path("out.wav");
    struct Case {
        std::string arguments;
        int exitCode;
        std::string says;
    };
    const Case cases[] = {
        {"", kUsage, "usage: qzmb"},
        {"frobnicate", kUsage, "unknown command \"frobnicate\""},
        {"params extra", kUsage, "\"extra\" is one too many"},
        {"process " + in, kUsage, "process needs IN and OUT"},
        {"process " + in + " " + out + " --loudness 3", kUsage, "unknown option --loudness"},
        {"process " + in + " " + out + " --set", kUsage, "option --set needs a value"},
        {"process " + in + " " + out + " stray", kUsage, "\"stray\" is one argument too many"},
        {"record", kUsage, "record needs OUT.rec"},
        {"process " + in + " " + out + " --set \"Ratio 9=4:1\"", kUsage, "unknown parameter \"Ratio 9\""},
        {"process " + in + " " + out + " --set \"Freq 1=1262\"", kUsage,
         "as a bare number it is in engine units (frequency step), 0 to 300, that is 20 Hz to 20000 Hz"},
        {"process " + in + " " + Path("out.xyz"), kFailed, "cannot tell the file format from the name " + Path("out.xyz")},
        {"process " + in + " " + Path("noextension"), kFailed, "end it in .wav, .aif, .aiff or .flac"},
    };
    for (const Case& c : cases) {
        const RunResult run = RunQzmb(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_TRUE(Says(run, c.says)) << c.arguments << "\n" << run.output;
    }
    EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << "nothing written";
}

TEST_F(QzmbSafety, HelpIsHelpWhereverItStands)
{
    for (const std::string& arguments :
         std::vector<std::string>{"--help", "process " + in + " --help", "compare -h", "params --help"}) {
        const RunResult run = RunQzmb(arguments);
        EXPECT_EQ(run.exitCode, 0) << arguments;
        EXPECT_TRUE(Says(run, "usage: qzmb")) << arguments << "\n" << run.output;
    }
    EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << "no file named --help";
}

TEST_F(QzmbSafety, BareNumbersFarFromTheirPhysicalReadingGetANote)
{
    const std::string out = Path("out.wav");
    struct Case {
        const char* setting;
        const char* note;  // empty: no note
    };
    const Case cases[] = {
        {"Ratio 1=4", "qzmb: note: Ratio 1=4 is 0.4:1 (a bare number is in engine units, ratio x 10); for 4.0:1 "
                      "write \"Ratio 1=4:1\""},
        {"Threshold 2=-20", "for -20.0 dB write \"Threshold 2=-20dB\""},
        {"Attack 3=15", "Attack 3=15 is 1.5 ms"},
        {"Threshold 3=-200", ""},
        {"Release 1=200", ""},
        {"Ratio 1=4:1", ""},
    };
    for (const Case& c : cases) {
        const RunResult run = RunQzmb("process " + in + " " + out + " --set \"" + c.setting + "\"");
        EXPECT_EQ(run.exitCode, 0) << c.setting << "\n" << run.output;
        if (*c.note == '\0')
            EXPECT_FALSE(Says(run, "note:")) << c.setting << "\n" << run.output;
        else
            EXPECT_TRUE(Says(run, c.note)) << c.setting << "\n" << run.output;
    }
}

TEST_F(QzmbSafety, EightBitAudioIsWrittenAsEachContainerStoresIt)
{
    const std::string wav8 = Path("u8.wav"), aiff8 = Path("s8.aiff");
    WriteFile(wav8, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, MakeSignal(3000, 1));
    WriteFile(aiff8, SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, MakeSignal(3000, 1));
    struct Case {
        std::string from, to;
        int format;
    };
    for (const Case& c : {Case{wav8, Path("o.aiff"), SF_FORMAT_AIFF | SF_FORMAT_PCM_S8},
                          Case{wav8, Path("o.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_S8},
                          Case{aiff8, Path("o.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_U8}}) {
        const RunResult run = RunQzmb("process " + c.from + " " + c.to);
        ASSERT_EQ(run.exitCode, 0) << c.to << "\n" << run.output;
        const AudioFile result = ReadFile(c.to);
        EXPECT_EQ(result.info.format, c.format) << c.to;
        EXPECT_EQ(result.info.frames, 3000) << c.to;
    }
}

} // namespace
} // namespace qz
