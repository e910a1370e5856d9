#pragma once
// The preset file: an INI file of one "Plug-in" section and the presets in sections
// "Preset1", "Preset2", ... The store beside the plug-in and the files users export and
// import share it:
//
//   [Plug-in]                 PluginName, CLSID (the identity), DefaultPreset=1
//   [Preset1]                 Version, Name, Bank (empty: the root), Data
//
// Reading goes through a ProfileReader, so the same code reads with the system's
// private-profile functions (the preset manager on Windows) and with IniText (the
// command-line tools, everywhere).

#include <optional>
#include <string>
#include <vector>

#include "PresetList.h"
#include "qz_platform.h"

namespace qz {

constexpr char kPluginSection[] = "Plug-in";
constexpr char kPluginNameKey[] = "PluginName";
constexpr char kIdentityKey[] = "CLSID";
constexpr char kDefaultPresetKey[] = "DefaultPreset";
constexpr char kVersionKey[] = "Version";
constexpr char kNameKey[] = "Name";
constexpr char kBankKey[] = "Bank";
constexpr char kDataKey[] = "Data";
constexpr size_t kIdentityChars = 99;
// The largest preset file read: some 300,000 presets. Anything larger is not one.
constexpr size_t kPresetFileLimit = size_t{64} << 20;
constexpr size_t kVersionChars = 15;

// The identity a plug-in's preset files carry: the registry path of its class key,
// "SOFTWARE\Classes\CLSID\{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string PresetClassKey(REFCLSID clsid);

// "Preset" followed by the number.
std::string PresetSectionName(int number);

// Reads keys of an INI file as the private-profile functions do: section and key names
// without regard to case, values cut to `maxChars` characters.
class ProfileReader {
public:
    virtual ~ProfileReader() = default;
    // The value, or none when the key (or its section) is not there.
    virtual std::optional<std::string> Read(const std::string& section, const std::string& key,
                                            size_t maxChars) const = 0;
};

// One "Preset%d" section as read. Only a section with a name and data is a preset; a
// section without a bank holds a root preset.
struct PresetSection {
    PresetFields fields;
    bool hasName = false;
    bool hasData = false;

    bool isPreset() const { return hasName && hasData; }
    bool operator==(const PresetSection& o) const
    {
        return fields == o.fields && hasName == o.hasName && hasData == o.hasData;
    }
};

// The file's identity (CLSID of "Plug-in"); empty when it has none.
std::string ReadPresetFileIdentity(const ProfileReader& file);

// Section "Preset<number>", or none when it has no "Version". Names and banks are cut
// to 127 characters, data to 4095, as the store always read them; the version is the
// number its text begins with.
std::optional<PresetSection> ReadPresetSection(const ProfileReader& file, int number);

// Every preset section, numbered from 1 up to the first section without a "Version".
std::vector<PresetSection> ReadPresetSections(const ProfileReader& file);

// The leading decimal number of a version text: blanks, a sign, digits, whatever
// follows ignored (0 without one), as files of every installation have been read.
int PresetVersionNumber(const std::string& text);

} // namespace qz
