#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Interruption.h"

namespace qz::cli {

namespace {

// Holds the interrupting signals back on this thread between creating a temporary file
// and registering it, so that a signal never finds it unregistered.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&held, signalNumber);
        sigprocmask(SIG_BLOCK, &held, &m_previous);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }

private:
    sigset_t m_previous;
};

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
        return path + " is " + KindOf(file.st_mode) + "; qzmb writes only regular files";
    // The owner's write bit counts even for root, who may write anything.
    if ((file.st_mode & S_IWUSR) == 0 || access(target.c_str(), W_OK) != 0)
        return path + " is write-protected; not replaced";
    for (const std::string& input : inputs)
        if (SameFile(file, input))
            return "the output " + path + " would overwrite the input " + input;
    return "";
}

OutputFile::~OutputFile() { discard(); }

std::string OutputFile::create(const std::string& target, const std::string& shownName)
{
    m_target = target;
    m_shownName = shownName;
    // A hidden name that no other run can have chosen: mkstemp creates it exclusively.
    std::string name = Folder(target) + "/." + BaseName(target) + ".qzmb-XXXXXX";
    if (name.size() >= PATH_MAX)
        return "cannot write " + shownName + ": its name is too long";
    WatchForInterruption();
    {
        SignalsHeld held;
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

std::string OutputFile::commit() { return finish(false); }

std::string OutputFile::commitAsNew() { return finish(true); }

std::string OutputFile::finish(bool asNew)
{
    const int closed = close(m_descriptor);
    m_descriptor = -1;
    const bool placed = closed == 0 && (asNew ? PlaceAsNew(m_temporary, m_target)
                                              : rename(m_temporary.c_str(), m_target.c_str()) == 0);
    if (!placed) {
        const std::string problem =
            errno == EEXIST ? m_shownName + " exists; not replaced" : "cannot write " + m_shownName + ": " + std::strerror(errno);
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

} // namespace qz::cli
