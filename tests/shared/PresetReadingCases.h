#pragma once
// Preset files that readers have disagreed about, with the presets each must yield:
// "bank/name=data" in the plug-in's order. The plug-in (under Wine, next to the
// system's own profile functions) and qzmb are both held to this one table.

#include <algorithm>
#include <string>
#include <vector>

#include "PresetList.h"

namespace qz::test {

struct PresetReadingCase {
    const char* what;
    std::string bytes;
    std::vector<std::string> presets;
};

// "bank/name=data" of each preset, in list order.
inline std::vector<std::string> PresetLines(const PresetList& presets)
{
    std::vector<std::string> lines;
    for (const PresetRecord& preset : presets)
        lines.push_back(preset.bank + "/" + preset.name + "=" + preset.data);
    return lines;
}

inline std::string Utf16(const std::string& ascii, bool littleEndian)
{
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : ascii) {
        // Latin-1 text: each byte is its own code point.
        bytes.push_back(littleEndian ? c : '\0');
        bytes.push_back(littleEndian ? '\0' : c);
    }
    return bytes;
}

inline std::vector<PresetReadingCase> PresetReadingCases(const std::string& identity)
{
    const std::string head = "[Plug-in]\r\nPluginName=qz:Multiband\r\nCLSID=" + identity + "\r\n";
    const std::string two = "[Preset1]\r\nVersion=3\r\nName=Kick\r\nBank=Drums\r\nData=1,2\r\n"
                            "[Preset2]\r\nVersion=3\r\nName=Air\r\nBank=\r\nData=3\r\n";
    const std::vector<std::string> twoPresets = {"Drums/Kick=1,2", "/Air=3"};
    std::string lfOnly = head + two, crOnly = head + two;
    lfOnly.erase(std::remove(lfOnly.begin(), lfOnly.end(), '\r'), lfOnly.end());
    crOnly.erase(std::remove(crOnly.begin(), crOnly.end(), '\n'), crOnly.end());
    return {
        {"CR LF", head + two, twoPresets},
        {"LF only", lfOnly, twoPresets},
        {"CR only", crOnly, twoPresets},
        {"a stray CR ends its line", head + "[Preset1]\r\nVersion=3\r\nName=Pad\rtail\r\nBank=\r\nData=4\r5\r\n",
         {"/Pad=4"}},
        {"UTF-16 LE with its mark", Utf16(head + "[Preset1]\r\nVersion=3\r\nName=B\xE4sse\r\nBank=Tief\r\nData=6\r\n", true),
         {"Tief/B\xE4sse=6"}},
        {"UTF-16 BE with its mark", Utf16(head + "[Preset1]\r\nVersion=3\r\nName=Hoch\r\nBank=\r\nData=7\r\n", false),
         {"/Hoch=7"}},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + head + "[Preset1]\r\nVersion=3\r\nName=B\xC3\xA4sse \xE2\x82\xAC\r\nBank=\r\nData=8\r\n",
         {"/B\xE4sse \x80=8"}},
        {"UTF-8 bytes without a mark stay bytes", head + "[Preset1]\r\nVersion=3\r\nName=B\xC3\xA4sse\r\nBank=\r\nData=9\r\n",
         {"/B\xC3\xA4sse=9"}},
        {"quoted, blank-padded values", head + "[Preset1]\r\nVersion=3\r\nName=\"  Pad  \"\r\nBank='\"x\"'\r\nData= 1 \r\n",
         {"\"x\"/  Pad  =1"}},
        {"blanks inside the brackets", head + "[ Preset1 ]\r\nVersion=3\r\nName=Spaced\r\nBank=\r\nData=2\r\n",
         {"/Spaced=2"}},
        {"a NUL byte ends a value", head + std::string("[Preset1]\r\nVersion=3\r\nName=Cut\0off\r\nBank=\r\nData=3\r\n", 51),
         {"/Cut=3"}},
    };
}

} // namespace qz::test
