#pragma once
// Helpers of the qzmb end-to-end tests: running the real binary, and audio files on disk.

#include <sndfile.h>

#include <string>
#include <vector>

namespace qz {

struct RunResult {
    int exitCode;
    std::string output;  // standard output and error together
};

// Runs `command` with the shell and collects what it printed.
RunResult RunShellCommand(const std::string& command);

// Runs qzmb with `arguments` (shell syntax), after the shell commands `before`, and
// collects what it printed.
RunResult RunQzmb(const std::string& arguments, const std::string& before = "");

// The shell words that cap qzmb's memory at `megabytes`. Sanitized builds reserve
// terabytes of address space for their shadow memory and cannot start under any such
// cap: there they are none.
inline std::string MemoryCap(int megabytes)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    (void)megabytes;
    return "";
#else
    return "ulimit -v " + std::to_string(megabytes * 1000) + "; ";
#endif
}

// Starts qzmb with `args` (no shell), its standard output and error going to
// `output`. Returns its process id.
int StartQzmb(const std::vector<std::string>& args, int output);

// A path in the test's scratch folder, unique to this process.
std::string TempPath(const std::string& name);

// A test signal: a low tone that comes and goes, and a high tone, in [-0.7, 0.7].
std::vector<double> MakeSignal(int frames, int channels);

void WriteFile(const std::string& path, int format, int channels, const std::vector<double>& samples,
               int sampleRate = 44100);

struct AudioFile {
    SF_INFO info{};
    std::vector<double> samples;
};

AudioFile ReadFile(const std::string& path);
std::string FileBytes(const std::string& path);

} // namespace qz
