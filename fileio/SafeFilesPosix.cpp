// Safe file reading and writing on POSIX systems (qzmb).
#include "SafeFiles.h"

#include "FileMessages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "Interruption.h"

namespace qz::files {

namespace {

// umask can only be read by setting it, which would race with the files other threads
// create: read once, as the program starts.
const mode_t g_umask = [] {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}();

bool SameFile(const struct stat& a, const std::string& other)
{
    struct stat b;
    return stat(other.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

const char* KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISFIFO(mode))
        return "a pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

std::string Folder(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Gives `temporary` the name `target` unless a file has that name, in one step: another
// program creating the target meanwhile is never overwritten. errno is EEXIST when the
// target exists.
bool PlaceAsNew(const std::string& temporary, const std::string& target)
{
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without that rename (NFS among them) can still link without replacing.
    if (link(temporary.c_str(), target.c_str()) == 0) {
        unlink(temporary.c_str());
        return true;
    }
    if (errno == EEXIST || (errno != EPERM && errno != ENOTSUP))
        return false;
    // Neither (FAT file systems): look, then rename.
    struct stat existing;
    if (lstat(target.c_str(), &existing) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(temporary.c_str(), target.c_str()) == 0;
}

} // namespace

std::string Shown(const Path& path) { return path; }

bool SameFile(const Path& a, const Path& b)
{
    struct stat info;
    if (stat(a.c_str(), &info) == 0)
        return SameFile(info, b);
    char resolvedA[PATH_MAX], resolvedB[PATH_MAX];
    return a == b || (realpath(a.c_str(), resolvedA) != nullptr && realpath(b.c_str(), resolvedB) != nullptr &&
                      std::strcmp(resolvedA, resolvedB) == 0);
}

ReadResult ReadWholeFile(const Path& path, size_t limit, std::string& bytes)
{
    ReadResult result;
    struct stat info;
    // A pipe or a device is refused before it is opened: opening it may wait, or do
    // something to the device.
    if (stat(path.c_str(), &info) != 0) {
        result.missing = errno == ENOENT;
        result.problem = std::strerror(errno);
        return result;
    }
    const int descriptor = S_ISREG(info.st_mode) ? open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    if (descriptor < 0 || fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        result.problem = S_ISREG(info.st_mode) ? std::strerror(errno) : std::string("it is ") + KindOf(info.st_mode);
        if (descriptor >= 0)
            close(descriptor);
        return result;
    }
    if (static_cast<unsigned long long>(info.st_size) > limit) {
        close(descriptor);
        result.problem = TooLargeReason(limit);
        return result;
    }
    // The file may grow while it is read: never more than the limit.
    bytes.clear();
    bytes.reserve(static_cast<size_t>(info.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t done = read(descriptor, chunk, sizeof chunk);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done < 0)
                result.problem = std::strerror(errno);
            break;
        }
        if (bytes.size() + static_cast<size_t>(done) > limit) {
            result.problem = TooLargeReason(limit);
            break;
        }
        bytes.append(chunk, static_cast<size_t>(done));
    }
    close(descriptor);
    if (!result.problem.empty())
        bytes.clear();
    return result;
}

std::string CheckDestination(const std::string& path, const std::vector<std::string>& inputs, std::string& target)
{
    struct stat link;
    if (lstat(path.c_str(), &link) != 0) {
        if (errno != ENOENT)
            return "cannot write " + path + ": " + std::strerror(errno);
        target = path;
        return "";
    }
    target = path;
    if (S_ISLNK(link.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) == nullptr)
            return path + " is a symbolic link to nothing; not written";
        target = resolved;
    }
    struct stat file;
    if (stat(target.c_str(), &file) != 0)
        return "cannot write " + path + ": " + std::strerror(errno);
    if (!S_ISREG(file.st_mode))
        return NotRegular(path, KindOf(file.st_mode));
    // The owner's write bit counts even for root, who may write anything.
    if ((file.st_mode & S_IWUSR) == 0 || access(target.c_str(), W_OK) != 0)
        return WriteProtected(path);
    for (const std::string& input : inputs)
        if (SameFile(file, input))
            return OverInput(path, input);
    return "";
}

OutputFile::~OutputFile() { discard(); }

std::string OutputFile::create(const Path& target, const std::string& shownName)
{
    m_target = target;
    m_shownName = shownName;
    // A hidden name that no other run can have chosen: mkstemp creates it exclusively.
    std::string name = Folder(target) + "/." + BaseName(target) + ".qzmb-XXXXXX";
    if (name.size() >= PATH_MAX)
        return "cannot write " + shownName + ": its name is too long";
    WatchForInterruption();
    {
        // A signal must never find the temporary file created but unregistered.
        InterruptionsHeld held;
        m_descriptor = mkstemp(name.data());
        if (m_descriptor < 0)
            return "cannot write " + shownName + ": " + std::strerror(errno);
        m_temporary = name;
        if (!RegisterPendingFile(name.c_str())) {
            discard();
            return "cannot write " + shownName + ": too many files are being written at once";
        }
    }
    // mkstemp makes a private file; the output gets what the file it replaces had, or
    // what a new file gets.
    struct stat existing;
    mode_t mode;
    if (stat(target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        mode = 0666 & ~g_umask;
    }
    if (fchmod(m_descriptor, mode) != 0) {
        discard();
        return "cannot write " + shownName + ": " + std::strerror(errno);
    }
    return "";
}

std::string OutputFile::Failed(const char* doing) const
{
    return std::string("cannot ") + doing + " " + m_shownName + ": " + std::strerror(errno);
}

std::string OutputFile::write(const void* bytes, size_t size)
{
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t done = ::write(m_descriptor, next, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = EIO;
            return Failed();
        }
        next += done;
        size -= static_cast<size_t>(done);
    }
    return "";
}

long long OutputFile::size() const
{
    struct stat info;
    return fstat(m_descriptor, &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

std::string OutputFile::commit() { return finish(false); }

std::string OutputFile::commitAsNew() { return finish(true); }

// The data reaches the disk before the name does: a disk that turns out full, or fails,
// says so here, and the destination is left alone.
std::string OutputFile::finish(bool asNew)
{
    const bool flushed = fsync(m_descriptor) == 0;
    const int error = errno;
    const int closed = close(m_descriptor);
    m_descriptor = -1;
    if (!flushed)
        errno = error;
    const bool placed = flushed && closed == 0 &&
                        (asNew ? PlaceAsNew(m_temporary, m_target) : rename(m_temporary.c_str(), m_target.c_str()) == 0);
    if (!placed) {
        const std::string problem = errno == EEXIST ? m_shownName + " exists; not replaced" : Failed();
        discard();
        return problem;
    }
    ReleasePendingFile(m_temporary.c_str());
    m_temporary.clear();
    return "";
}

void OutputFile::discard()
{
    if (m_descriptor >= 0)
        close(m_descriptor);
    m_descriptor = -1;
    if (m_temporary.empty())
        return;
    unlink(m_temporary.c_str());
    ReleasePendingFile(m_temporary.c_str());
    m_temporary.clear();
}

} // namespace qz::files
