#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include "CAudioTransform.h"
#include "ParamTable.h"
#include "StandaloneEngine.h"

#include <cmath>
#include <cstring>

namespace {

constexpr DWORD kChildTimeoutMs = 120000;

void Put16(std::vector<BYTE>& out, uint32_t value)
{
    out.push_back(static_cast<BYTE>(value));
    out.push_back(static_cast<BYTE>(value >> 8));
}

void Put32(std::vector<BYTE>& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

uint32_t Get32(const std::vector<BYTE>& in, size_t at)
{
    return in[at] | in[at + 1] << 8 | in[at + 2] << 16 | static_cast<uint32_t>(in[at + 3]) << 24;
}

uint16_t Get16(const std::vector<BYTE>& in, size_t at) { return static_cast<uint16_t>(in[at] | in[at + 1] << 8); }

bool TagAt(const std::vector<BYTE>& in, size_t at, const char* tag)
{
    return at + 4 <= in.size() && std::memcmp(in.data() + at, tag, 4) == 0;
}

// One argument as the C runtime's command-line parser reads it back.
std::wstring QuoteArgument(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

std::string ReadText(const std::wstring& path)
{
    const std::vector<BYTE> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

HANDLE InheritableFile(const std::wstring& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

ScratchFolder::ScratchFolder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_folder = std::wstring(temp) + L"qzhost_tests_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(m_folder.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((m_folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((m_folder + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(m_folder.c_str());
}

std::wstring ScratchFolder::Path(const std::wstring& name) const { return m_folder + name; }

void WriteWav(const std::wstring& path, const WavData& wav)
{
    const WORD blockAlign = static_cast<WORD>(wav.channels * wav.bits / 8);
    std::vector<BYTE> file{'R', 'I', 'F', 'F'};
    Put32(file, static_cast<uint32_t>(36 + wav.data.size()));
    file.insert(file.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(file, 16);
    Put16(file, wav.formatTag);
    Put16(file, wav.channels);
    Put32(file, wav.rate);
    Put32(file, wav.rate * blockAlign);
    Put16(file, blockAlign);
    Put16(file, wav.bits);
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    Put32(file, static_cast<uint32_t>(wav.data.size()));
    file.insert(file.end(), wav.data.begin(), wav.data.end());
    WriteBytes(path, file);
}

WavData ReadWav(const std::wstring& path, std::string& problem)
{
    WavData wav;
    const std::vector<BYTE> file = ReadBytes(path);
    problem.clear();
    if (file.size() < 12 || !TagAt(file, 0, "RIFF") || !TagAt(file, 8, "WAVE")) {
        problem = "not a RIFF/WAVE file";
        return wav;
    }
    if (Get32(file, 4) != file.size() - 8) {
        problem = "the RIFF size " + std::to_string(Get32(file, 4)) + " is not the file's size less 8";
        return wav;
    }
    size_t at = 12;
    bool haveFormat = false;
    while (at + 8 <= file.size()) {
        const uint32_t size = Get32(file, at + 4);
        const size_t body = at + 8;
        if (body + size > file.size()) {
            problem = "a chunk runs past the end of the file";
            return wav;
        }
        if (TagAt(file, at, "fmt ")) {
            wav.formatTag = Get16(file, body);
            wav.channels = Get16(file, body + 2);
            wav.rate = Get32(file, body + 4);
            wav.bits = Get16(file, body + 14);
            const WORD blockAlign = Get16(file, body + 12);
            if (blockAlign != wav.channels * wav.bits / 8 || Get32(file, body + 8) != wav.rate * blockAlign)
                problem = "the block alignment or byte rate does not follow from the format";
            if (wav.formatTag == WAVE_FORMAT_PCM && size != 16)
                problem = "a PCM fmt chunk of " + std::to_string(size) + " bytes, not 16";
            haveFormat = true;
        } else if (TagAt(file, at, "data")) {
            if (!haveFormat)
                problem = "the data chunk comes before the fmt chunk";
            else if (body + size + (size & 1) != file.size())
                problem = "the data chunk is not the last thing in the file";
            wav.data.assign(file.begin() + body, file.begin() + body + size);
            return wav;
        }
        at = body + size + (size & 1);
    }
    problem = "no data chunk";
    return wav;
}

std::vector<BYTE> ReadBytes(const std::wstring& path)
{
    std::vector<BYTE> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty())
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::vector<BYTE>& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "creating " << Narrow(path);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size()) << "writing " << Narrow(path);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

WavData TestSignal(WORD channels, DWORD rate, size_t frames, double peak)
{
    WavData wav{WAVE_FORMAT_PCM, channels, rate, 16, {}};
    std::vector<int16_t> samples(frames * channels);
    const double twoPi = 2 * 3.141592653589793;
    for (size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        const double swell = 0.3 + 0.7 * 0.5 * (1 - std::cos(twoPi * t / 0.7));
        const double low = 0.7 * std::sin(twoPi * 110 * t);
        const double high = 0.3 * std::sin(twoPi * 3000 * t);
        for (WORD c = 0; c < channels; ++c)
            samples[n * channels + c] = static_cast<int16_t>(std::lround(peak * 32767 * swell * (c == 0 ? low + high : low - high)));
    }
    wav.data.resize(samples.size() * 2);
    std::memcpy(wav.data.data(), samples.data(), wav.data.size());
    return wav;
}

std::vector<int16_t> Samples16(const std::vector<BYTE>& data)
{
    std::vector<int16_t> samples(data.size() / 2);
    std::memcpy(samples.data(), data.data(), samples.size() * 2);
    return samples;
}

::testing::AssertionResult SameSamples(const std::vector<int16_t>& produced, const std::vector<int16_t>& expected)
{
    if (produced.size() != expected.size())
        return ::testing::AssertionFailure() << produced.size() << " samples, expected " << expected.size();
    for (size_t i = 0; i < produced.size(); ++i)
        if (produced[i] != expected[i])
            return ::testing::AssertionFailure() << "sample " << i << " is " << produced[i] << ", expected "
                                                 << expected[i];
    return ::testing::AssertionSuccess();
}

std::vector<int16_t> EngineResult(const qz::ParamBlock& block, const WavData& input)
{
    WAVEFORMATEX format{WAVE_FORMAT_PCM, input.channels, input.rate, input.rate * input.channels * 2u,
                        static_cast<WORD>(input.channels * 2), 16, 0};
    qz::StandaloneEngine engine;
    engine.ApplyParamBlock(&block);
    engine.SetFormat(format);
    engine.BeginStreaming(format);
    std::vector<int16_t> samples = Samples16(input.data);
    qz::MediaBuffer buffer;
    buffer.data = reinterpret_cast<BYTE*>(samples.data());
    buffer.capacity = buffer.length = static_cast<LONG>(samples.size() * 2);
    buffer.discontinuity = buffer.hasStartTime = true;
    engine.TransformBuffer(buffer, false);
    std::vector<int16_t> out(samples.begin(), samples.begin() + buffer.length / 2);
    std::vector<int16_t> tail(samples.size());
    qz::MediaBuffer flush;
    flush.data = reinterpret_cast<BYTE*>(tail.data());
    flush.capacity = static_cast<LONG>(tail.size() * 2);
    engine.TransformBuffer(flush, true);
    out.insert(out.end(), tail.begin(), tail.begin() + flush.length / 2);
    return out;
}

qz::ParamBlock BlockWith(const std::vector<std::pair<const char*, float>>& values)
{
    qz::ParamBlock block = qz::DefaultParamBlock();
    for (const auto& value : values) {
        const int index = qz::FindParam(value.first);
        EXPECT_GE(index, 0) << value.first;
        if (index >= 0)
            block.field(qz::Param(index).blockIndex) = qz::ToEngine(index, value.second);
    }
    return block;
}

QzhostChild::QzhostChild(const std::vector<std::wstring>& arguments)
    : QzhostChild(ProgramFolder() + L"qzhost.exe", arguments)
{
}

QzhostChild::QzhostChild(const std::wstring& exe, const std::vector<std::wstring>& arguments)
{
    m_commandLine = QuoteArgument(exe);
    for (const std::wstring& argument : arguments)
        m_commandLine += L" " + QuoteArgument(argument);

    // Standard output and error go to files: nothing to drain while the child runs.
    wchar_t temp[MAX_PATH], outPath[MAX_PATH], errPath[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    GetTempFileNameW(temp, L"qho", 0, outPath);
    GetTempFileNameW(temp, L"qhe", 0, errPath);
    m_outPath = outPath;
    m_errPath = errPath;
    HANDLE in = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = InheritableFile(errPath, GENERIC_WRITE, CREATE_ALWAYS);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::vector<wchar_t> mutableLine(m_commandLine.begin(), m_commandLine.end());
    mutableLine.push_back(L'\0');
    const BOOL started = CreateProcessW(exe.c_str(), mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &m_process);
    const DWORD startError = GetLastError();
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        ADD_FAILURE() << "cannot start " << Narrow(exe) << " (error " << startError << ")";
        m_process = PROCESS_INFORMATION{};
    }
}

QzhostChild::~QzhostChild()
{
    if (m_process.hProcess != nullptr) {
        TerminateProcess(m_process.hProcess, 0xFFFFFFFF);
        WaitForSingleObject(m_process.hProcess, INFINITE);
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
    DeleteFileW(m_outPath.c_str());
    DeleteFileW(m_errPath.c_str());
}

std::string QzhostChild::OutputSoFar() const { return ReadText(m_outPath); }

HostRun QzhostChild::Wait()
{
    HostRun run;
    if (m_process.hProcess != nullptr) {
        if (WaitForSingleObject(m_process.hProcess, kChildTimeoutMs) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "qzhost did not end within " << kChildTimeoutMs / 1000 << " s: " << Narrow(m_commandLine);
            TerminateProcess(m_process.hProcess, 0xFFFFFFFF);
            WaitForSingleObject(m_process.hProcess, INFINITE);
        }
        GetExitCodeProcess(m_process.hProcess, &run.exitCode);
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
        m_process = PROCESS_INFORMATION{};
    }
    run.out = ReadText(m_outPath);
    run.err = ReadText(m_errPath);
    return run;
}

HostRun RunQzhost(const std::vector<std::wstring>& arguments) { return QzhostChild(arguments).Wait(); }

HostRun RunProgram(const std::wstring& program, const std::vector<std::wstring>& arguments)
{
    return QzhostChild(program, arguments).Wait();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string ReportLine(const std::string& report, const std::string& heading)
{
    for (const std::string& line : Lines(report))
        if (line.compare(0, heading.size(), heading) == 0)
            return line;
    return "";
}

const WavData& QzhostTest::StereoInput()
{
    static const WavData input = TestSignal(2, 44100, 66150, 0.9);
    return input;
}

std::wstring QzhostTest::WriteInput(const std::wstring& name, const WavData& wav)
{
    const std::wstring path = scratch.Path(name);
    WriteWav(path, wav);
    return path;
}

WavData QzhostTest::Process(const std::wstring& in, const std::wstring& out, const std::vector<std::wstring>& options,
                            std::string* report)
{
    std::vector<std::wstring> arguments{L"process", in, out};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const HostRun run = RunQzhost(arguments);
    std::string described = "qzhost process";
    for (const std::wstring& option : options)
        described += " " + Narrow(option);
    EXPECT_EQ(run.exitCode, 0u) << described << "\nstandard error: " << run.err;
    EXPECT_EQ(run.err, "") << described;
    if (report != nullptr)
        *report = run.out;
    std::string problem;
    const WavData wav = ReadWav(out, problem);
    EXPECT_EQ(problem, "") << described << ": the output file";
    EXPECT_FALSE(Exists(out + L".partial")) << described << ": the temporary file is gone";
    return wav;
}

WavData QzhostTest::ProcessStereo(const std::vector<std::wstring>& options, std::string* report)
{
    const std::wstring in = scratch.Path(L"stereo.wav");
    if (!Exists(in))
        WriteWav(in, StereoInput());
    const std::wstring out = scratch.Path(L"out" + std::to_wstring(++m_outputs) + L".wav");
    return Process(in, out, options, report);
}
