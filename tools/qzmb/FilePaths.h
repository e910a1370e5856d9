#pragma once
// Path names as the batch builds them, and the folders it makes.

#include <string>
#include <sys/types.h>

namespace qz::cli {

// `name` in `folder` ("" for the current folder).
std::string JoinPath(const std::string& folder, const std::string& name);
// The folder a path is in: "." for a bare name, "/" for one at the root.
std::string ParentFolder(const std::string& path);
// The last component of a path, trailing slashes aside.
std::string BaseName(std::string path);
// What a file of this mode is, for messages: "a folder", "a pipe", "a device", ...
const char* KindOfFile(mode_t mode);
// Creates `folder` and the folders above it that are missing. Returns the problem.
std::string MakeFolders(const std::string& folder);

} // namespace qz::cli
