#include "QzmbTestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace qz {

RunResult RunQzmb(const std::string& arguments, const std::string& before)
{
    return RunShellCommand(before + QZMB_PATH + " " + arguments);
}

RunResult RunShellCommand(const std::string& command)
{
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    RunResult result{-1, ""};
    if (pipe == nullptr)
        return result;
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr)
        result.output += chunk;
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

int StartQzmb(const std::vector<std::string>& args, int output)
{
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(output, 1);
        dup2(output, 2);
        std::vector<char*> argv{const_cast<char*>(QZMB_PATH)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(QZMB_PATH, argv.data());
        _exit(127);
    }
    return pid;
}

std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "qzmb_" + std::to_string(::getpid()) + "_" + name;
}

std::vector<double> MakeSignal(int frames, int channels)
{
    std::vector<double> s(static_cast<size_t>(frames) * channels);
    for (int n = 0; n < frames; ++n) {
        const double envelope = (n / 4410) % 2 ? 1.0 : 0.15;
        s[n * channels] = 0.7 * envelope * std::sin(2 * M_PI * 90 * n / 44100.0);
        if (channels > 1)
            s[n * channels + 1] = 0.5 * std::sin(2 * M_PI * 2500 * n / 44100.0);
        for (int c = 2; c < channels; ++c)
            s[n * channels + c] = 0.1;
    }
    return s;
}

void WriteFile(const std::string& path, int format, int channels, const std::vector<double>& samples,
               int sampleRate)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_double(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
}

AudioFile ReadFile(const std::string& path)
{
    AudioFile f;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &f.info);
    if (file == nullptr)
        return f;
    f.samples.resize(static_cast<size_t>(f.info.frames) * f.info.channels);
    sf_readf_double(file, f.samples.data(), f.info.frames);
    sf_close(file);
    return f;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace qz
