// What every part of qzhost uses: the framework's COM pointer, the two kinds of
// failure, readable result codes, text conversion, and whole-file reading.
#pragma once

#include <windows.h>

#include "ComPtr.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace qzhost {

// A failure of the task at hand; the message is one line of UTF-8 text.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A command line qzhost cannot make sense of.
class UsageError : public HostError {
public:
    using HostError::HostError;
};

// "0x80004005 (Unspecified error)": the code, and its text when the system or
// DirectShow has one.
std::string HrText(HRESULT hr);

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);
// A path as the user gave it, quoted, for messages.
std::string Quoted(const std::wstring& path);

// The absolute form of `path`.
std::wstring FullPath(const std::wstring& path);
// The folder this program was started from, with a trailing backslash.
std::wstring ProgramFolder();
// The whole content of a file of at most `limit` bytes.
std::vector<BYTE> ReadWholeFile(const std::wstring& path, size_t limit);

} // namespace qzhost
