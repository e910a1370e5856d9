#include "IniText.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace qz {

namespace {

// What the profile functions trim: the C blanks and the end-of-file mark ^Z.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string Trimmed(const char* begin, const char* end)
{
    while (begin < end && IsBlank(*begin))
        ++begin;
    while (end > begin && IsBlank(end[-1]))
        --end;
    return std::string(begin, end);
}

std::string LowerCase(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

IniText::IniText(const std::string& bytes)
{
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        p += 3;
    m_sections.emplace_back();  // keys before the first section header
    while (p < end) {
        const char* lineEnd = std::find(p, end, '\n');
        const std::string line = Trimmed(p, lineEnd);
        p = lineEnd < end ? lineEnd + 1 : end;
        if (line.empty())
            continue;
        const size_t close = line.rfind(']');
        if (line[0] == '[' && close != std::string::npos) {
            m_firstSection.emplace(LowerCase(line.substr(1, close - 1)), m_sections.size());
            m_sections.emplace_back();
            continue;
        }
        Key key;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            key.name = line;
        } else {
            key.name = Trimmed(line.data(), line.data() + equals);
            key.value = Trimmed(line.data() + equals + 1, line.data() + line.size());
        }
        m_sections.back().keys.push_back(std::move(key));
    }
}

bool IniText::Load(const std::string& path, IniText& ini)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    ini = IniText(std::string(std::istreambuf_iterator<char>(file), {}));
    return true;
}

std::optional<std::string> IniText::Read(const std::string& section, const std::string& key, size_t maxChars) const
{
    const auto found = m_firstSection.find(LowerCase(section));
    if (found == m_firstSection.end())
        return std::nullopt;
    const std::string wanted = LowerCase(key);
    for (const Key& candidate : m_sections[found->second].keys) {
        if (LowerCase(candidate.name) != wanted)
            continue;
        if (!candidate.value)
            return std::nullopt;
        std::string value = candidate.value->substr(0, candidate.value->find('\0'));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return value.substr(0, maxChars);
    }
    return std::nullopt;
}

} // namespace qz
