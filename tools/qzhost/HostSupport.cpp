#include "HostSupport.h"

#include <vfwmsgs.h>

#include <cstdio>

namespace qzhost {

namespace {

// DirectShow's codes that a graph may answer with here; the system's message tables
// do not know them.
struct NamedResult {
    HRESULT hr;
    const char* text;
};
const NamedResult kDirectShowResults[] = {
    {VFW_E_INVALIDMEDIATYPE, "the media type is not valid"},
    {VFW_E_NO_ACCEPTABLE_TYPES, "no common media type between the pins"},
    {VFW_E_TYPE_NOT_ACCEPTED, "the media type was not accepted"},
    {VFW_E_CANNOT_CONNECT, "no combination of filters could connect the pins"},
    {VFW_E_NOT_CONNECTED, "a pin is not connected"},
    {VFW_E_ALREADY_CONNECTED, "a pin is already connected"},
    {VFW_E_NOT_STOPPED, "the graph is not stopped"},
    {VFW_E_WRONG_STATE, "the filter is in the wrong state"},
    {VFW_E_INVALID_FILE_FORMAT, "the file format is not valid"},
    {VFW_E_UNKNOWN_FILE_TYPE, "the file type is not known"},
    {VFW_E_UNSUPPORTED_STREAM, "the stream is not supported"},
    {VFW_E_SAMPLE_REJECTED, "a sample was refused"},
    {VFW_E_SAMPLE_REJECTED_EOS, "a sample was refused after the end of the stream"},
    {VFW_E_NOT_COMMITTED, "the allocator is not committed"},
};

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

} // namespace

std::string HrText(HRESULT hr)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(hr));
    for (const NamedResult& named : kDirectShowResults)
        if (named.hr == hr)
            return std::string(code) + " (" + named.text + ")";
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string described;
    if (length != 0 && text != nullptr)
        described = Trimmed(Utf8(text));
    if (text != nullptr)
        LocalFree(text);
    return described.empty() ? std::string(code) : std::string(code) + " (" + described + ")";
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size);
    return out;
}

std::string Quoted(const std::wstring& path) { return "\"" + Utf8(path) + "\""; }

std::wstring FullPath(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    full.resize(written < size ? written : 0);
    return full.empty() ? path : full;
}

std::wstring ProgramFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return L".\\";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L".\\" : path.substr(0, slash + 1);
}

std::vector<BYTE> ReadWholeFile(const std::wstring& path, size_t limit)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw HostError("cannot open " + Quoted(path) + ": " + HrText(HRESULT_FROM_WIN32(GetLastError())));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        throw HostError("cannot read " + Quoted(path) + ": " + HrText(HRESULT_FROM_WIN32(error)));
    }
    if (static_cast<unsigned long long>(size.QuadPart) > limit) {
        CloseHandle(file);
        throw HostError(Quoted(path) + " is too large (" + std::to_string(size.QuadPart) + " bytes, at most " +
                        std::to_string(limit) + " expected)");
    }
    std::vector<BYTE> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    const BOOL ok = bytes.empty() || ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok)
        throw HostError("cannot read " + Quoted(path) + ": " + HrText(HRESULT_FROM_WIN32(error)));
    bytes.resize(read);
    return bytes;
}

} // namespace qzhost
