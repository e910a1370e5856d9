#pragma once
// What the tests of the plug-in in real hosts share: programs run with LV2_PATH on the
// build's bundle, whole text files, preset stores and settings records as text.

#include <array>
#include <string>
#include <vector>

#include "ParamBlock.h"
#include "QzmbTestSupport.h"

namespace qz::lv2test {

// Runs `command` with LV2_PATH set to the build's bundle folder (and `morePath`, a
// colon-separated list, after it): nothing installed elsewhere is seen.
RunResult RunWithBundle(const std::string& command, const std::string& morePath = "");

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);

// A preset store of the plug-in (or of the plug-in `identity` names) holding presets
// of {name, bank, preset data string}.
std::string PresetStoreText(const std::vector<std::array<std::string, 3>>& presets,
                            const std::string& identity = "");

// A settings record in base64, as LV2 hosts write state.
std::string RecordBase64(const ParamBlock& block);

} // namespace qz::lv2test
