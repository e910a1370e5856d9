// Safe file reading and writing on POSIX systems (qzmb).
#include "SafeFiles.h"

#include "FileMessages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace qz::files {

namespace {

// The temporary file a signal handler must remove: qzmb writes one output at a time.
// Kept in a fixed buffer, as a handler may only read memory and call unlink.
char g_pendingTemporary[PATH_MAX];
volatile sig_atomic_t g_hasPendingTemporary = 0;

extern "C" void RemovePendingAndDie(int signalNumber)
{
    if (g_hasPendingTemporary)
        unlink(g_pendingTemporary);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void WatchForInterruption()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = RemovePendingAndDie;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM}) {
        // A signal the caller chose to ignore (nohup, a background job) stays ignored.
        struct sigaction previous {};
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signalNumber, &action, nullptr);
    }
}

// Blocks both signals while the pending name changes, so the handler never sees half
// of it.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t both;
        sigemptyset(&both);
        sigaddset(&both, SIGINT);
        sigaddset(&both, SIGTERM);
        sigprocmask(SIG_BLOCK, &both, &m_previous);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }

private:
    sigset_t m_previous;
};

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
    if (name.size() >= sizeof g_pendingTemporary)
        return "cannot write " + shownName + ": its name is too long";
    WatchForInterruption();
    {
        SignalsHeld held;
        m_descriptor = mkstemp(name.data());
        if (m_descriptor < 0)
            return "cannot write " + shownName + ": " + std::strerror(errno);
        m_temporary = name;
        std::memcpy(g_pendingTemporary, name.c_str(), name.size() + 1);
        g_hasPendingTemporary = 1;
    }
    // mkstemp makes a private file; the output gets what the file it replaces had, or
    // what a new file gets.
    struct stat existing;
    mode_t mode;
    if (stat(target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
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

// The data reaches the disk before the name does: a disk that turns out full, or fails,
// says so here, and the destination is left alone.
std::string OutputFile::commit()
{
    const bool flushed = fsync(m_descriptor) == 0;
    const int error = errno;
    const int closed = close(m_descriptor);
    m_descriptor = -1;
    if (!flushed)
        errno = error;
    if (!flushed || closed != 0 || rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        const std::string problem = Failed();
        discard();
        return problem;
    }
    SignalsHeld held;
    m_temporary.clear();
    g_hasPendingTemporary = 0;
    return "";
}

void OutputFile::discard()
{
    if (m_descriptor >= 0)
        close(m_descriptor);
    m_descriptor = -1;
    if (m_temporary.empty())
        return;
    SignalsHeld held;
    unlink(m_temporary.c_str());
    m_temporary.clear();
    g_hasPendingTemporary = 0;
}

} // namespace qz::files
