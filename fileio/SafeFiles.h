#pragma once
// Reading and writing files so that nothing is lost, for every program of the project:
// qzmb, qzhost and the plug-in's preset store. One set of rules on both systems:
//
// - A file is read only when it is a regular file within a size limit: nothing of a
//   folder, device or pipe is read, and a file larger than the caller expects is
//   refused before a byte of it is read.
// - An output must be a regular file that is not write-protected (devices, pipes,
//   folders and, on Windows, reserved device names such as "NUL" are refused) and none of the files
//   the run reads, whatever its name. A symbolic link is followed: the file it names is
//   replaced and the link kept.
// - The content goes to a new file of a unique name in the destination's folder; it is
//   flushed to the disk and checked, and only then renamed over the destination.
//   Should anything fail (a full disk included), the new file is removed and the
//   destination stays as it was.
//
// Messages are one line that names the file.

#include <cstddef>
#include <string>
#include <vector>

#ifdef _WIN32
typedef void* HANDLE;
#endif

namespace qz::files {

#ifdef _WIN32
using Path = std::wstring;
#else
using Path = std::string;
#endif

// A path as messages show it (UTF-8).
std::string Shown(const Path& path);

// Whether a file name is one of the reserved device names of Windows (CON, PRN, AUX,
// NUL, COM1..COM9, LPT1..LPT9, in any case, with any extension, blanks or dots after
// it): such a name opens a device, whatever the folder.
bool IsReservedDeviceName(const std::string& fileName);

// Whether two paths name the same file: the same absolute path (on Windows letter case
// aside), or, when both exist, the same file by another name or link.
bool SameFile(const Path& a, const Path& b);

struct ReadResult {
    std::string problem;   // empty when read; else why not ("it is a folder" ...)
    bool missing = false;  // there is no such file
};
// The whole content of `path`, of at most `limit` bytes.
ReadResult ReadWholeFile(const Path& path, size_t limit, std::string& bytes);

// Where output to `path` goes, or why it must not (see above). `inputs` are the files
// the run reads. Empty string and `target` set on success, else the problem.
std::string CheckDestination(const Path& path, const std::vector<Path>& inputs, Path& target);

// The new file that replaces a destination once complete.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file beside `target` (a path CheckDestination answered),
    // with the permissions the target has, or a new file would get. `shownName` is how
    // messages name the output. Empty string on success, else the problem.
    std::string create(const Path& target, const std::string& shownName);
#ifdef _WIN32
    HANDLE handle() const { return m_handle; }
#else
    // The temporary file's descriptor, open for writing.
    int descriptor() const { return m_descriptor; }
#endif
    // Appends bytes. Empty string on success, else the problem.
    std::string write(const void* bytes, size_t size);
    // The bytes the temporary file holds now; -1 when that cannot be told.
    long long size() const;
    // Flushes the temporary file to the disk, closes it and renames it over the target.
    std::string commit();
    // The same, except that an existing target is never replaced: the temporary file
    // is then removed, and the problem says that the target exists.
    std::string commitAsNew();
    // Removes the temporary file; the target stays as it was.
    void discard();

private:
    std::string finish(bool asNew);
    std::string Failed(const char* doing = "write") const;

    Path m_target;
    Path m_temporary;
    std::string m_shownName;
#ifdef _WIN32
    HANDLE m_handle = nullptr;
#else
    int m_descriptor = -1;
#endif
};

// Writes `bytes` as the file at `path`: the checks of CheckDestination, then an
// OutputFile that holds every byte before it replaces the destination.
std::string ReplaceContent(const Path& path, const std::string& bytes, const std::vector<Path>& inputs = {});

} // namespace qz::files
