#include "ToolRunner.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace qz::lv2test {

RunResult RunCommand(const std::string& command)
{
    RunResult result{-1, ""};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr)
        result.output += chunk;
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

RunResult RunWithBundle(const std::string& command, const std::string& morePath)
{
    const std::string path = std::string(QZ_LV2_BUNDLE_DIR) + (morePath.empty() ? "" : ":" + morePath);
    return RunCommand("LV2_PATH='" + path + "' " + command);
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

} // namespace qz::lv2test
