#pragma once
// Presets in memory: one record per preset, and what the store does with a list of
// them that needs no file: ids, the order, names compared and made into file names.
// Portable: the Windows preset manager and the command-line tools share it.

#include <optional>
#include <string>
#include <vector>

namespace qz {

constexpr int kPresetVersion = 3;       // of presets this program creates or updates
constexpr size_t kPresetNameChars = 127;  // names and bank names, as the store reads them
constexpr size_t kPresetDataChars = 4095;
// Records get ids from here up, one above the last given, never one twice: the page's
// menu commands lie below.
constexpr int kFirstPresetId = 3501;

// What a preset file holds of one preset.
struct PresetFields {
    int version = kPresetVersion;
    std::string name;
    std::string bank;  // empty: the preset is at the root
    std::string data;  // the preset data string

    bool operator==(const PresetFields& o) const
    {
        return version == o.version && name == o.name && bank == o.bank && data == o.data;
    }
    bool operator!=(const PresetFields& o) const { return !(*this == o); }
};

struct PresetRecord : PresetFields {
    int id = 0;  // unique within one list, never stored
    // The fields as the store held them when this preset was last read or written;
    // none for a preset that is not in the store yet.
    std::optional<PresetFields> stored;
};

using PresetList = std::vector<PresetRecord>;

// Texts compared as the store compares names: bytes, without regard to ASCII case.
bool SameText(const std::string& a, const std::string& b);

// The blanks the store's reader trims: the C blanks and the end-of-file mark ^Z.
bool IsBlankChar(char c);
// A name of blanks only (or none) is no name.
bool IsBlankName(const std::string& name);

// Orders by bank, then by name, both without regard to case; named banks come before
// the root presets. Records with equal keys keep their order.
void SortPresets(PresetList& list);

// Replaces every byte a file name cannot hold (space, * ? < > : \ " / |, tab, CR, LF)
// with "_": "qz:Multiband" becomes "qz_Multiband". A reserved device name gets a "_"
// before its extension: "NUL.ini" becomes "NUL_.ini".
void SanitizeFileName(std::string& name);

} // namespace qz
