// Safe file reading and writing on Windows (qzhost and the plug-in's preset store).
#include "SafeFiles.h"

#include <windows.h>

#include <cstring>

#include "FileMessages.h"

namespace qz::files {

namespace {

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

// The system's text for an error code, on one line.
std::string ErrorText(DWORD error)
{
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string described = text != nullptr ? text : "";
    if (text != nullptr)
        LocalFree(text);
    while (!described.empty() && std::strchr("\r\n .", described.back()) != nullptr)
        described.pop_back();
    return described.empty() ? "error " + std::to_string(error) : described;
}

size_t NameStart(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? 0 : slash + 1;
}

bool IsDeviceName(const std::wstring& path) { return IsReservedDeviceName(Utf8(path.substr(NameStart(path)))); }

// An open handle of an existing file, for looking at it without reading or writing.
class FileHandle {
public:
    explicit FileHandle(const std::wstring& path, DWORD access = 0)
        : m_handle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)),
          m_error(m_handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS)
    {
    }
    ~FileHandle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool open() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    DWORD error() const { return m_error; }
    bool missing() const { return m_error == ERROR_FILE_NOT_FOUND || m_error == ERROR_PATH_NOT_FOUND; }
    // "a folder", "a device", "a pipe", or nullptr for a regular file.
    const char* Kind(BY_HANDLE_FILE_INFORMATION& info) const
    {
        switch (GetFileType(m_handle)) {
        case FILE_TYPE_DISK:
            break;
        case FILE_TYPE_CHAR:
            return "a device";
        case FILE_TYPE_PIPE:
            return "a pipe";
        default:
            return "not a regular file";
        }
        if (!GetFileInformationByHandle(m_handle, &info))
            return "not a regular file";
        return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "a folder" : nullptr;
    }

private:
    HANDLE m_handle;
    DWORD m_error;
};

bool SameFile(const BY_HANDLE_FILE_INFORMATION& file, const std::wstring& other)
{
    FileHandle handle(other);
    BY_HANDLE_FILE_INFORMATION info{};
    return handle.open() && GetFileInformationByHandle(handle.get(), &info) &&
           info.dwVolumeSerialNumber == file.dwVolumeSerialNumber && info.nFileIndexHigh == file.nFileIndexHigh &&
           info.nFileIndexLow == file.nFileIndexLow;
}

// The path of the file the handle has open, links followed; `fallback` when the system
// cannot tell.
std::wstring FinalPath(HANDLE file, const std::wstring& fallback)
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()), 0);
    if (length >= path.size()) {
        path.resize(length + 1);
        length = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()), 0);
    }
    if (length == 0 || length >= path.size())
        return fallback;
    path.resize(length);
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path.substr(4);
    return path;
}

// A name no other writer has now: the clock, the process and a count, mixed.
std::wstring UniqueSuffix(unsigned attempt)
{
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    unsigned long long mixed = static_cast<unsigned long long>(now.QuadPart) ^
                               (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^
                               (static_cast<unsigned long long>(GetCurrentThreadId()) << 16) ^ attempt;
    mixed = (mixed ^ (mixed >> 33)) * 0xFF51AFD7ED558CCDull;
    mixed ^= mixed >> 29;
    std::wstring text;
    for (int shift = 28; shift >= 0; shift -= 4)
        text.push_back(L"0123456789abcdef"[(mixed >> shift) & 0xF]);
    return text;
}

} // namespace

std::string Shown(const Path& path) { return Utf8(path); }

namespace {

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

} // namespace

bool SameFile(const Path& a, const Path& b)
{
    const std::wstring fullA = FullPath(a), fullB = FullPath(b);
    if (CompareStringOrdinal(fullA.c_str(), static_cast<int>(fullA.size()), fullB.c_str(), static_cast<int>(fullB.size()),
                             TRUE) == CSTR_EQUAL)
        return true;
    const FileHandle file(fullA);
    BY_HANDLE_FILE_INFORMATION info{};
    return file.open() && GetFileInformationByHandle(file.get(), &info) && SameFile(info, fullB);
}

ReadResult ReadWholeFile(const Path& path, size_t limit, std::string& bytes)
{
    ReadResult result;
    bytes.clear();
    if (IsDeviceName(path)) {
        result.problem = "it is a device";
        return result;
    }
    const FileHandle file(path, GENERIC_READ);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.open()) {
        result.missing = file.missing();
        result.problem = ErrorText(file.error());
        return result;
    }
    if (const char* kind = file.Kind(info)) {
        result.problem = std::string("it is ") + kind;
        return result;
    }
    const unsigned long long size = static_cast<unsigned long long>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    if (size > limit) {
        result.problem = TooLargeReason(limit);
        return result;
    }
    // The file may grow while it is read: never more than the limit.
    bytes.reserve(static_cast<size_t>(size));
    char chunk[65536];
    for (;;) {
        DWORD done = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &done, nullptr)) {
            result.problem = ErrorText(GetLastError());
            break;
        }
        if (done == 0)
            break;
        if (bytes.size() + done > limit) {
            result.problem = TooLargeReason(limit);
            break;
        }
        bytes.append(chunk, done);
    }
    if (!result.problem.empty())
        bytes.clear();
    return result;
}

std::string CheckDestination(const Path& path, const std::vector<Path>& inputs, Path& target)
{
    const std::string shown = Shown(path);
    if (IsDeviceName(path))
        return NotRegular(shown, "a device");
    const FileHandle file(path);
    if (!file.open()) {
        if (!file.missing())
            return "cannot write " + shown + ": " + ErrorText(file.error());
        target = path;
        return "";
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (const char* kind = file.Kind(info))
        return NotRegular(shown, kind);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        return WriteProtected(shown);
    for (const Path& input : inputs)
        if (SameFile(info, input))
            return OverInput(shown, Shown(input));
    target = FinalPath(file.get(), path);
    return "";
}

OutputFile::~OutputFile() { discard(); }

std::string OutputFile::Failed(const char* doing) const
{
    return std::string("cannot ") + doing + " " + m_shownName + ": " + ErrorText(GetLastError());
}

std::string OutputFile::create(const Path& target, const std::string& shownName)
{
    m_target = target;
    m_shownName = shownName;
    // The new file takes the look of the one it replaces (hidden, say), not its
    // write protection.
    const DWORD existing = GetFileAttributesW(target.c_str());
    const DWORD attributes =
        existing == INVALID_FILE_ATTRIBUTES
            ? FILE_ATTRIBUTE_NORMAL
            : (existing & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)) |
                  FILE_ATTRIBUTE_NORMAL;
    const Path stem = target.substr(0, NameStart(target)) + L"." + target.substr(NameStart(target)) + L".qz-";
    // CREATE_NEW never opens what is there already, a link included.
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const Path name = stem + UniqueSuffix(attempt);
        m_handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
        if (m_handle != INVALID_HANDLE_VALUE) {
            m_temporary = name;
            return "";
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    m_handle = nullptr;
    return Failed();
}

std::string OutputFile::write(const void* bytes, size_t size)
{
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const DWORD part = static_cast<DWORD>(size < 0x40000000u ? size : 0x40000000u);
        DWORD done = 0;
        if (!WriteFile(m_handle, next, part, &done, nullptr))
            return Failed();
        if (done == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return Failed();
        }
        next += done;
        size -= done;
    }
    return "";
}

long long OutputFile::size() const
{
    LARGE_INTEGER size{};
    return GetFileSizeEx(m_handle, &size) ? size.QuadPart : -1;
}

std::string OutputFile::commit() { return finish(false); }

std::string OutputFile::commitAsNew() { return finish(true); }

// The data reaches the disk before the name does: a disk that turns out full, or fails,
// says so here, and the destination is left alone.
std::string OutputFile::finish(bool asNew)
{
    const bool flushed = FlushFileBuffers(m_handle) != FALSE;
    const DWORD error = GetLastError();
    const bool closed = CloseHandle(m_handle) != FALSE;
    m_handle = nullptr;
    if (!flushed)
        SetLastError(error);
    const DWORD replacing = asNew ? 0 : MOVEFILE_REPLACE_EXISTING;
    if (!flushed || !closed || !MoveFileExW(m_temporary.c_str(), m_target.c_str(), replacing | MOVEFILE_WRITE_THROUGH)) {
        const DWORD reason = GetLastError();
        const std::string problem = reason == ERROR_ALREADY_EXISTS || reason == ERROR_FILE_EXISTS
                                        ? m_shownName + " exists; not replaced"
                                        : Failed();
        discard();
        return problem;
    }
    m_temporary.clear();
    return "";
}

void OutputFile::discard()
{
    if (m_handle != nullptr)
        CloseHandle(m_handle);
    m_handle = nullptr;
    if (!m_temporary.empty())
        DeleteFileW(m_temporary.c_str());
    m_temporary.clear();
}

} // namespace qz::files
