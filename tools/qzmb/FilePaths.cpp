#include "FilePaths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace qz::cli {

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string ParentFolder(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* KindOfFile(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

std::string MakeFolders(const std::string& folder)
{
    struct stat info;
    if (stat(folder.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode) ? "" : "cannot make the folder " + folder + ": a file has its name";
    const std::string parent = ParentFolder(folder);
    if (parent != folder) {
        const std::string problem = MakeFolders(parent);
        if (!problem.empty())
            return problem;
    }
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        return "cannot make the folder " + folder + ": " + std::strerror(errno);
    return "";
}

} // namespace qz::cli
