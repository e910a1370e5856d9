#pragma once
// The wording of safe file reading and writing, one for every system.

#include <cstddef>
#include <string>

namespace qz::files {

// Why a file of more than `limit` bytes is not read.
inline std::string TooLargeReason(size_t limit)
{
    constexpr size_t kMegabyte = size_t{1} << 20;
    return "it is larger than " +
           (limit % kMegabyte == 0 ? std::to_string(limit / kMegabyte) + " MB" : std::to_string(limit) + " bytes");
}

// An output that is "a folder", "a device", "a pipe" ...
inline std::string NotRegular(const std::string& shownPath, const char* kind)
{
    return shownPath + " is " + kind + "; only regular files are written";
}

inline std::string WriteProtected(const std::string& shownPath) { return shownPath + " is write-protected; not replaced"; }

inline std::string OverInput(const std::string& shownPath, const std::string& shownInput)
{
    return "the output " + shownPath + " would overwrite the input " + shownInput;
}

} // namespace qz::files
