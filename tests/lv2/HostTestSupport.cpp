#include "HostTestSupport.h"

#include "PresetFileFormat.h"
#include "StoredRecord.h"
#include "Turtle.h"
#include "qz_guids.h"

#include <fstream>
#include <sstream>

namespace qz::lv2test {

RunResult RunWithBundle(const std::string& command, const std::string& morePath)
{
    const std::string path = std::string(QZ_LV2_BUNDLE_DIR) + (morePath.empty() ? "" : ":" + morePath);
    return RunShellCommand("LV2_PATH='" + path + "' " + command);
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string PresetStoreText(const std::vector<std::array<std::string, 3>>& presets, const std::string& identity)
{
    std::string text = "[Plug-in]\nPluginName=qz:Multiband\nCLSID=" +
                       (identity.empty() ? PresetClassKey(kCLSID_Filter) : identity) + "\nDefaultPreset=1\n";
    for (size_t i = 0; i < presets.size(); ++i)
        text += "[Preset" + std::to_string(i + 1) + "]\nVersion=3\nName=" + presets[i][0] + "\nBank=" + presets[i][1] +
                "\nData=" + presets[i][2] + "\n";
    return text;
}

std::string RecordBase64(const ParamBlock& block)
{
    uint8_t record[kStoredRecordSize];
    WriteStoredRecord(block, record);
    return lv2::Base64(record, sizeof record);
}

} // namespace qz::lv2test
