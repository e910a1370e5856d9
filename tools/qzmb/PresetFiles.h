#pragma once
// Preset files on the command line: a preset data string or a preset from a file, read
// with the plug-in's own reader and parser, and what they left unread put into words.

#include <string>
#include <vector>

#include "PresetData.h"
#include "PresetList.h"

namespace qz::cli {

// One line for each thing a reading left out: values missing or not numbers (which
// keep their settings), and band values not looked for.
std::vector<std::string> DescribeUnreadValues(const PresetDataReading& reading);

// The presets of a preset file, in the order the plug-in shows them, with notes on the
// sections it skips and on a file that is not this plug-in's. Empty `error` on success.
struct PresetFileContents {
    PresetList presets;
    std::vector<std::string> notes;
};
PresetFileContents ReadPresetFile(const std::string& path, std::string& error);

// The preset named `name` (and in `bank` when one is given), without regard to case;
// among presets that differ only in case, the one spelled exactly so. Presets alike in
// every field are one. Sets `error`, saying how to choose, when there is none or no
// single one.
const PresetRecord* FindPreset(const PresetList& presets, const std::string& name, const std::string* bank,
                               std::string& error);

} // namespace qz::cli
