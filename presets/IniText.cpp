#include "IniText.h"

namespace qz {

namespace {

bool IsLineBreak(unsigned unit) { return unit == '\n' || unit == '\r'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerCase(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = Lower(c);
    return lower;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// `part` of `text` without its leading and trailing blanks.
IniText::Text Trimmed(const std::string& text, IniText::Text part)
{
    size_t begin = part.at, end = part.at + part.length;
    while (begin < end && IsBlankChar(text[begin]))
        ++begin;
    while (end > begin && IsBlankChar(text[end - 1]))
        --end;
    return {begin, end - begin};
}

} // namespace

IniText::IniText(std::string bytes) : m_bytes(std::move(bytes))
{
    size_t mark = 0;
    m_encoding = DetectIniEncoding(m_bytes, mark);
    const size_t unit = CodeUnitSize(m_encoding);
    // A last byte that makes no whole UTF-16 unit is no text.
    const size_t end = m_bytes.size() - (m_bytes.size() - mark) % unit;
    if (m_encoding != IniEncoding::Ansi)
        m_decoded.reserve(m_bytes.size());
    for (size_t lineStart = mark; lineStart < end;) {
        size_t contentEnd = lineStart;
        while (contentEnd < end && !IsLineBreak(CodeUnitAt(m_bytes, contentEnd, m_encoding)))
            contentEnd += unit;
        size_t next = contentEnd;
        while (next < end && IsLineBreak(CodeUnitAt(m_bytes, next, m_encoding)))
            next += unit;
        Text line{lineStart, contentEnd - lineStart};
        if (m_encoding != IniEncoding::Ansi) {
            line.at = m_decoded.size();
            m_decoded += AnsiFromFile(m_bytes, lineStart, contentEnd, m_encoding);
            line.length = m_decoded.size() - line.at;
        }
        AddLine(line, {lineStart, next});
        lineStart = next;
    }
    (m_sections.empty() ? m_preamble : m_sections.back().bytes).end = end;
}

void IniText::AddLine(Text line, Span bytes)
{
    const std::string& all = text();
    line = Trimmed(all, line);
    if (line.length == 0)
        return;
    const std::string_view content = (*this)[line];
    const size_t close = content.rfind(']');
    if (content[0] == '[' && close != std::string_view::npos) {
        (m_sections.empty() ? m_preamble : m_sections.back().bytes).end = bytes.begin;
        Section section;
        section.name = Trimmed(all, {line.at + 1, close - 1});
        section.bytes = {bytes.begin, bytes.end};
        section.header = bytes;
        section.firstKey = m_keys.size();
        m_firstSection.emplace(LowerCase((*this)[section.name]), m_sections.size());
        m_sections.push_back(section);
        return;
    }
    // Keys before the first section belong to none: nobody can read them.
    if (m_sections.empty())
        return;
    Key key;
    key.bytes = bytes;
    const size_t equals = content.find('=');
    if (equals == std::string_view::npos) {
        key.name = line;
    } else {
        key.name = Trimmed(all, {line.at, equals});
        key.value = Trimmed(all, {line.at + equals + 1, line.length - equals - 1});
        key.hasValue = true;
    }
    m_keys.push_back(key);
    ++m_sections.back().keyCount;
}

const IniText::Section* IniText::FindSection(const std::string& name) const
{
    const auto found = m_firstSection.find(LowerCase(name));
    return found != m_firstSection.end() ? &m_sections[found->second] : nullptr;
}

const IniText::Key* IniText::FindKey(const Section& section, const std::string& name) const
{
    for (size_t i = 0; i < section.keyCount; ++i)
        if (SameName((*this)[key(section, i).name], name))
            return &key(section, i);
    return nullptr;
}

std::optional<std::string> IniText::Read(const std::string& section, const std::string& key, size_t maxChars) const
{
    const Section* found = FindSection(section);
    const Key* entry = found != nullptr ? FindKey(*found, key) : nullptr;
    return entry != nullptr ? Value(*entry, maxChars) : std::nullopt;
}

std::optional<std::string> IniText::Value(const Key& key, size_t maxChars) const
{
    if (!key.hasValue)
        return std::nullopt;
    std::string_view value = (*this)[key.value];
    value = value.substr(0, value.find('\0'));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, maxChars));
}

std::string IniValueText(const std::string& value)
{
    const bool readsBack = value.empty() || (!IsBlankChar(value.front()) && !IsBlankChar(value.back()) &&
                                             !(value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
                                               value.back() == value[0]));
    return readsBack ? value : '"' + value + '"';
}

} // namespace qz
