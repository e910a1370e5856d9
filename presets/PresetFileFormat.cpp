#include "PresetFileFormat.h"

#include <cstdint>
#include <cstdio>

namespace qz {

int PresetVersionNumber(const std::string& text)
{
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos)
        return 0;
    const bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+')
        ++i;
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value <= INT32_MAX; ++i)
        value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX)
        value = INT32_MAX;
    return static_cast<int>(negative ? -value : value);
}

std::string PresetClassKey(REFCLSID clsid)
{
    char braced[40];
    std::snprintf(braced, sizeof braced, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(clsid.Data1), clsid.Data2, clsid.Data3, clsid.Data4[0], clsid.Data4[1],
                  clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5], clsid.Data4[6], clsid.Data4[7]);
    return std::string("SOFTWARE\\Classes\\CLSID\\") + braced;
}

std::string PresetSectionName(int number) { return "Preset" + std::to_string(number); }

std::string ReadPresetFileIdentity(const ProfileReader& file)
{
    return file.Read(kPluginSection, kIdentityKey, kIdentityChars).value_or("");
}

std::optional<PresetSection> ReadPresetSection(const ProfileReader& file, int number)
{
    const std::string name = PresetSectionName(number);
    const std::optional<std::string> version = file.Read(name, kVersionKey, kVersionChars);
    if (!version)
        return std::nullopt;
    PresetSection section;
    section.fields.version = PresetVersionNumber(*version);
    if (auto text = file.Read(name, kNameKey, kPresetNameChars)) {
        section.fields.name = std::move(*text);
        section.hasName = true;
    }
    section.fields.bank = file.Read(name, kBankKey, kPresetNameChars).value_or("");
    if (auto text = file.Read(name, kDataKey, kPresetDataChars)) {
        section.fields.data = std::move(*text);
        section.hasData = true;
    }
    return section;
}

std::vector<PresetSection> ReadPresetSections(const ProfileReader& file)
{
    std::vector<PresetSection> sections;
    for (int number = 1; std::optional<PresetSection> section = ReadPresetSection(file, number); ++number)
        sections.push_back(std::move(*section));
    return sections;
}

} // namespace qz
