#pragma once
// An INI file read the way the Windows private-profile functions read it, for programs
// that do not have them (qzmb). A test under Wine holds it to the real functions.
//
// Lines end at LF (a CR before it is a blank). Each line is trimmed of blanks. "[name]"
// (up to the last "]") starts a section; "key = value" adds a key; a line without "="
// names a key that has no value. The first section of a name counts, and in it the first
// key of a name; both are matched without regard to case. A value in matching single
// or double quotes loses them. Everything is bytes: no code page is applied.

#include <string>
#include <unordered_map>
#include <vector>

#include "PresetFileFormat.h"

namespace qz {

class IniText final : public ProfileReader {
public:
    explicit IniText(const std::string& bytes);

    // Reads a whole file; false when it cannot be read.
    static bool Load(const std::string& path, IniText& ini);
    IniText() = default;

    std::optional<std::string> Read(const std::string& section, const std::string& key,
                                    size_t maxChars) const override;

private:
    struct Key {
        std::string name;
        std::optional<std::string> value;
    };
    struct Section {
        std::vector<Key> keys;
    };
    std::vector<Section> m_sections;
    std::unordered_map<std::string, size_t> m_firstSection;  // lower-case name -> index
};

} // namespace qz
