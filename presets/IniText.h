#pragma once
// An INI file read the way the Windows private-profile functions read it: the one
// reader of preset files, for the plug-in and for qzmb alike. A test under Wine holds
// it to the system's functions.
//
// The file is read once, in one pass. A byte-order mark says the file is UTF-16 or
// UTF-8; its text is then converted to the ANSI code page (IniEncoding.h). Lines end at
// CR or LF. Each line is trimmed of blanks. "[name]" (up to the last "]", the name
// trimmed too) starts a section; "key = value" adds a key; a line without "=" names a
// key that has no value. The first section of a name counts, and in it the first key of
// a name; both are matched without regard to case. A value ends at a NUL byte, and in
// matching single or double quotes loses them.
//
// For rewriting a file without disturbing what it holds, each section (and each of its
// keys) also knows the bytes of the file it came from, line breaks included. (A last
// byte of a UTF-16 file that makes no whole code unit belongs to none.)

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "IniEncoding.h"
#include "PresetFileFormat.h"

namespace qz {

class IniText final : public ProfileReader {
public:
    // Bytes [begin, end) of the file.
    struct Span {
        size_t begin = 0, end = 0;
    };
    // Where a text is in text().
    struct Text {
        size_t at = 0, length = 0;
    };
    struct Key {
        Text name;
        Text value;  // trimmed, quotes and all
        bool hasValue = false;
        Span bytes;  // the line
    };
    struct Section {
        Text name;
        Span bytes;   // from the header line to the next section's
        Span header;  // the header line
        size_t firstKey = 0, keyCount = 0;
    };

    IniText() = default;
    explicit IniText(std::string bytes);

    std::optional<std::string> Read(const std::string& section, const std::string& key,
                                    size_t maxChars) const override;

    const std::string& bytes() const { return m_bytes; }
    // The file's text in the ANSI code page: its bytes, unless it has a byte-order mark.
    const std::string& text() const { return m_encoding == IniEncoding::Ansi ? m_bytes : m_decoded; }
    std::string_view operator[](Text text) const { return std::string_view(this->text()).substr(text.at, text.length); }
    IniEncoding encoding() const { return m_encoding; }
    // The byte-order mark and whatever precedes the first section.
    Span preamble() const { return m_preamble; }
    const std::vector<Section>& sections() const { return m_sections; }
    const Key& key(const Section& section, size_t i) const { return m_keys[section.firstKey + i]; }
    // The first section of this name, or nullptr.
    const Section* FindSection(const std::string& name) const;
    // The first key of this name in `section`, or nullptr.
    const Key* FindKey(const Section& section, const std::string& name) const;
    // A key's value as Read gives it; none for a key without one.
    std::optional<std::string> Value(const Key& key, size_t maxChars) const;

private:
    void AddLine(Text line, Span bytes);

    std::string m_bytes;
    std::string m_decoded;  // the lines of a file with a byte-order mark, in ANSI
    IniEncoding m_encoding = IniEncoding::Ansi;
    Span m_preamble;
    std::vector<Section> m_sections;
    std::vector<Key> m_keys;
    std::unordered_map<std::string, size_t> m_firstSection;  // lower-case name -> index
};

// What a value must be written as to read back as itself: quoted when reading would
// otherwise trim its blanks or strip its quotes.
std::string IniValueText(const std::string& value);

} // namespace qz
