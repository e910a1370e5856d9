#pragma once
// What the tests of the real hosts share: running a program as a shell command, and
// reading and writing whole text files.

#include <string>

#include "QzmbTestSupport.h"

namespace qz::lv2test {

// Runs `command` with the shell; collects standard output and error together.
RunResult RunCommand(const std::string& command);

// Runs `command` with LV2_PATH set to the build's bundle folder (and `morePath`, a
// colon-separated list, after it): nothing installed elsewhere is seen.
RunResult RunWithBundle(const std::string& command, const std::string& morePath = "");

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);

} // namespace qz::lv2test
