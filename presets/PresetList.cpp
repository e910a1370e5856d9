#include "PresetList.h"

#include <algorithm>
#include <cstring>

#include "SafeFiles.h"

namespace qz {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A non-empty text sorts before an empty one; otherwise byte order without case.
bool SortsBefore(const std::string& a, const std::string& b)
{
    if (a.empty() != b.empty())
        return !a.empty();
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(Lower(x)) < static_cast<unsigned char>(Lower(y));
    });
}

} // namespace

bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsBlankChar(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == '\x1a';
}

bool IsBlankName(const std::string& name) { return std::all_of(name.begin(), name.end(), IsBlankChar); }

void SortPresets(PresetList& list)
{
    std::stable_sort(list.begin(), list.end(), [](const PresetRecord& a, const PresetRecord& b) {
        if (!SameText(a.bank, b.bank))
            return SortsBefore(a.bank, b.bank);
        return SortsBefore(a.name, b.name);
    });
}

void SanitizeFileName(std::string& name)
{
    for (char& c : name)
        if (c != '\0' && std::strchr(" *?<>:\\\"/|\t\r\n", c) != nullptr)
            c = '_';
    // "NUL.ini" would open the device: "NUL_.ini" is a file.
    if (files::IsReservedDeviceName(name))
        name.insert(std::min(name.find('.'), name.size()), "_");
}

} // namespace qz
