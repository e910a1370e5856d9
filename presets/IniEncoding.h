#pragma once
// The encodings an INI file may come in, as the Windows profile functions tell them
// apart: a byte-order mark names UTF-16 (little or big endian) or UTF-8; a file without
// one is in the ANSI code page. The plug-in works with ANSI text (the "A" functions of
// its menus and dialogs), so text read from a file of another encoding is converted to
// it, and text written into such a file is converted back.
//
// The ANSI code page is the system's on Windows; elsewhere (qzmb) it is Windows-1252,
// the code page of the systems the plug-in's stores come from. A character the code
// page cannot hold becomes "?", on both sides alike.

#include <string>

namespace qz {

enum class IniEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

// The encoding of a file that begins with these bytes, and the length of its mark.
IniEncoding DetectIniEncoding(const std::string& bytes, size_t& markSize);

// Bytes per code unit: 2 for UTF-16, else 1.
size_t CodeUnitSize(IniEncoding encoding);

// The code unit at `offset` (a multiple of the unit size).
inline unsigned CodeUnitAt(const std::string& bytes, size_t offset, IniEncoding encoding)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
    switch (encoding) {
    case IniEncoding::Utf16LE:
        return byte(offset) | byte(offset + 1) << 8;
    case IniEncoding::Utf16BE:
        return byte(offset) << 8 | byte(offset + 1);
    default:
        return byte(offset);
    }
}

// The ANSI text of the file's bytes [begin, end). An ANSI file's bytes are that text.
std::string AnsiFromFile(const std::string& bytes, size_t begin, size_t end, IniEncoding encoding);
// ANSI text as the file's encoding writes it.
std::string FileFromAnsi(const std::string& text, IniEncoding encoding);

} // namespace qz
