// Helpers of the qzhost tests: a scratch folder, WAV files written and read back, the
// real qzhost.exe run as a child process, and the engine's own result for comparison.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include <gtest/gtest.h>

#include "ParamBlock.h"

#include <cstdint>
#include <string>
#include <vector>

// The test program's folder, where qzhost.exe and the DLL are, with its backslash.
std::wstring ProgramFolder();

// A folder of its own for every test program run, removed with what it holds.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    // The absolute path of `name` in the folder.
    std::wstring Path(const std::wstring& name) const;

private:
    std::wstring m_folder;
};

struct WavData {
    WORD formatTag = 0;
    WORD channels = 0;
    DWORD rate = 0;
    WORD bits = 0;
    std::vector<BYTE> data;
};

// A canonical WAV file: a 16-byte "fmt " chunk and one "data" chunk.
void WriteWav(const std::wstring& path, const WavData& wav);
// Reads a WAV file, checking that it is canonical: RIFF size, a "fmt " chunk
// (16 bytes for PCM), and the data chunk last. Empty `problem` when it is.
WavData ReadWav(const std::wstring& path, std::string& problem);

std::vector<BYTE> ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::vector<BYTE>& bytes);
bool Exists(const std::wstring& path);

// 16-bit PCM test audio: a loud low tone and a quieter high one under a slow swell,
// every frame different, peaking at `peak` of full scale.
WavData TestSignal(WORD channels, DWORD rate, size_t frames, double peak);

std::vector<int16_t> Samples16(const std::vector<BYTE>& data);
// Equal sample for sample; if not, the message says where they first differ.
::testing::AssertionResult SameSamples(const std::vector<int16_t>& produced, const std::vector<int16_t>& expected);

// What the engine alone makes of `input` (16-bit PCM) with `block`: the stream in one
// piece, then the end-of-stream flush.
std::vector<int16_t> EngineResult(const qz::ParamBlock& block, const WavData& input);

// The defaults with parameters set from normalized values, as qzhost --set does.
qz::ParamBlock BlockWith(const std::vector<std::pair<const char*, float>>& values);

struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;  // standard output
    std::string err;  // standard error
};
// qzhost.exe (beside this test program), or another `program`, started with
// `arguments`, its standard input empty and its output going to files. A child still
// running when the object goes is ended.
class QzhostChild {
public:
    explicit QzhostChild(const std::vector<std::wstring>& arguments);
    QzhostChild(const std::wstring& program, const std::vector<std::wstring>& arguments);
    ~QzhostChild();
    QzhostChild(const QzhostChild&) = delete;
    QzhostChild& operator=(const QzhostChild&) = delete;

    // 0 when the child did not start.
    DWORD ProcessId() const { return m_process.dwProcessId; }
    // What it has written to standard output so far.
    std::string OutputSoFar() const;
    // Waits for the child to end and answers its exit code and output. A run that
    // does not end within two minutes is ended and reported as a failure of the test.
    HostRun Wait();

private:
    std::wstring m_commandLine;
    std::wstring m_outPath, m_errPath;
    PROCESS_INFORMATION m_process{};
};

// Runs qzhost.exe (or `program`) with `arguments` and waits for it.
HostRun RunQzhost(const std::vector<std::wstring>& arguments);
HostRun RunProgram(const std::wstring& program, const std::vector<std::wstring>& arguments);

// The lines of a text, without line ends.
std::vector<std::string> Lines(const std::string& text);
// The report line that starts with `heading`, or "" when there is none.
std::string ReportLine(const std::string& report, const std::string& heading);

std::string Narrow(const std::wstring& text);

// What the qzhost tests share: a scratch folder, the test signal written into it, and
// qzhost process runs that are expected to succeed.
class QzhostTest : public ::testing::Test {
protected:
    // 1.5 s of 16-bit stereo at 44100 Hz, peaking at 0.9 of full scale.
    static const WavData& StereoInput();

    // Writes `wav` into the scratch folder as `name`; answers its path.
    std::wstring WriteInput(const std::wstring& name, const WavData& wav);
    // qzhost process IN OUT `options`: expects exit code 0, nothing on standard error
    // and a canonical WAV file, which it answers. `report` receives standard output.
    WavData Process(const std::wstring& in, const std::wstring& out, const std::vector<std::wstring>& options,
                    std::string* report = nullptr);
    // The same with StereoInput() and a fresh output file.
    WavData ProcessStereo(const std::vector<std::wstring>& options, std::string* report = nullptr);

    ScratchFolder scratch;

private:
    int m_outputs = 0;
};
