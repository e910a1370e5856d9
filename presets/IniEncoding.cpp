#include "IniEncoding.h"

#include "qz_platform.h"

namespace qz {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(unsigned unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(unsigned unit) { return unit >= 0xDC00 && unit < 0xE000; }

// UTF-8 as UTF-16; a byte that starts no valid sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(const std::string& bytes, size_t begin, size_t end)
{
    std::u16string text;
    text.reserve(end - begin);
    for (size_t i = begin; i < end;) {
        const unsigned lead = static_cast<unsigned char>(bytes[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                              : lead >= 0xF0 && lead < 0xF5                  ? 4
                                                                             : 0;
        unsigned point = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length > 0 && i + length <= end;
        for (size_t k = 1; valid && k < length; ++k) {
            const unsigned next = static_cast<unsigned char>(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            point = point << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and points beyond U+10FFFF are not UTF-8.
        valid = valid && !(length == 3 && (point < 0x800 || (point >= 0xD800 && point < 0xE000))) &&
                !(length == 4 && (point < 0x10000 || point > 0x10FFFF));
        if (!valid) {
            text.push_back(kReplacement);
            ++i;
            continue;
        }
        if (point >= 0x10000) {
            point -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(point));
        }
        i += length;
    }
    return text;
}

std::string Utf8FromUtf16(const std::u16string& text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned point = text[i];
        if (IsHighSurrogate(point) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
            point = 0x10000 + ((point - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (IsHighSurrogate(point) || IsLowSurrogate(point))
            point = kReplacement;
        if (point < 0x80) {
            bytes.push_back(static_cast<char>(point));
        } else if (point < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | point >> 6));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else if (point < 0x10000) {
            bytes.push_back(static_cast<char>(0xE0 | point >> 12));
            bytes.push_back(static_cast<char>(0x80 | (point >> 6 & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else {
            bytes.push_back(static_cast<char>(0xF0 | point >> 18));
            bytes.push_back(static_cast<char>(0x80 | (point >> 12 & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (point >> 6 & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        }
    }
    return bytes;
}

#ifdef _WIN32

// The system's ANSI code page, without "best fit" look-alikes: a character it cannot
// hold is "?", as it is for qzmb.
std::string AnsiFromUtf16(const std::u16string& text)
{
    if (text.empty())
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int units = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units, nullptr, 0, "?", nullptr);
    std::string ansi(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units, &ansi[0], size, "?", nullptr);
    return ansi;
}

std::u16string Utf16FromAnsi(const std::string& text)
{
    if (text.empty())
        return {};
    const int bytes = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, nullptr, 0);
    std::u16string wide(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, reinterpret_cast<wchar_t*>(&wide[0]), size);
    return wide;
}

#else

// Windows-1252: Latin-1 but for 0x80..0x9F, where it places typographic characters.
// Its five unassigned bytes stand for the control characters of their own value.
const char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char AnsiCharacter(unsigned point)
{
    if (point < 0x80 || (point >= 0xA0 && point < 0x100))
        return static_cast<char>(point);
    for (unsigned i = 0; i < 32; ++i)
        if (kWindows1252High[i] == point)
            return static_cast<char>(0x80 + i);
    return '?';
}

std::string AnsiFromUtf16(const std::u16string& text)
{
    // Each half of a character beyond the basic plane is unknown, as it is to Windows.
    std::string ansi;
    ansi.reserve(text.size());
    for (char16_t unit : text)
        ansi.push_back(AnsiCharacter(unit));
    return ansi;
}

std::u16string Utf16FromAnsi(const std::string& text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        wide.push_back(byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : static_cast<char16_t>(byte));
    }
    return wide;
}

#endif

} // namespace

IniEncoding DetectIniEncoding(const std::string& bytes, size_t& markSize)
{
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
        markSize = 2;
        return IniEncoding::Utf16LE;
    }
    if (bytes.compare(0, 2, "\xFE\xFF") == 0) {
        markSize = 2;
        return IniEncoding::Utf16BE;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        markSize = 3;
        return IniEncoding::Utf8;
    }
    markSize = 0;
    return IniEncoding::Ansi;
}

size_t CodeUnitSize(IniEncoding encoding)
{
    return encoding == IniEncoding::Utf16LE || encoding == IniEncoding::Utf16BE ? 2 : 1;
}

std::string AnsiFromFile(const std::string& bytes, size_t begin, size_t end, IniEncoding encoding)
{
    switch (encoding) {
    case IniEncoding::Ansi:
        return bytes.substr(begin, end - begin);
    case IniEncoding::Utf8:
        return AnsiFromUtf16(Utf16FromUtf8(bytes, begin, end));
    case IniEncoding::Utf16LE:
    case IniEncoding::Utf16BE:
        break;
    }
    std::u16string text;
    text.reserve((end - begin) / 2);
    for (size_t i = begin; i + 1 < end; i += 2)
        text.push_back(static_cast<char16_t>(CodeUnitAt(bytes, i, encoding)));
    return AnsiFromUtf16(text);
}

std::string FileFromAnsi(const std::string& text, IniEncoding encoding)
{
    switch (encoding) {
    case IniEncoding::Ansi:
        return text;
    case IniEncoding::Utf8:
        return Utf8FromUtf16(Utf16FromAnsi(text));
    case IniEncoding::Utf16LE:
    case IniEncoding::Utf16BE:
        break;
    }
    std::string bytes;
    const std::u16string wide = Utf16FromAnsi(text);
    bytes.reserve(wide.size() * 2);
    for (char16_t unit : wide) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes.push_back(encoding == IniEncoding::Utf16LE ? low : high);
        bytes.push_back(encoding == IniEncoding::Utf16LE ? high : low);
    }
    return bytes;
}

} // namespace qz
