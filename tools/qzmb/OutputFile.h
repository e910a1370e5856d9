#pragma once
// Writing an output file so that nothing is lost: the content goes to a new file of a
// unique name in the destination's folder, which replaces the destination only once it
// is complete. Should anything fail, or SIGINT or SIGTERM arrive, the temporary file is
// removed and the destination stays as it was.

#include <string>
#include <sys/types.h>
#include <vector>

namespace qz::cli {

// Where output to `path` goes, or why it must not: an existing destination must be a
// regular file (devices, pipes and folders are refused) that is not write-protected;
// a symbolic link is followed to the file it names, which is replaced and the link
// kept. `inputs` are the files the run reads: none of them may be the destination,
// whatever its name. Empty string and `target` set on success, else the problem.
std::string CheckDestination(const std::string& path, const std::vector<std::string>& inputs, std::string& target);

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file beside `target` (a path CheckDestination answered),
    // with the permissions the target has, or a new file would get. `shownName` is how
    // messages name the output. Empty string on success, else the problem.
    std::string create(const std::string& target, const std::string& shownName);
    // The temporary file's descriptor, open for writing.
    int descriptor() const { return m_descriptor; }
    // Closes the temporary file and renames it over the target.
    std::string commit();
    // The same, except that an existing target is never replaced: the temporary file
    // is then removed, and the problem says that the target exists.
    std::string commitAsNew();
    // Removes the temporary file; the target stays as it was.
    void discard();

private:
    std::string finish(bool asNew);

    std::string m_target;
    std::string m_shownName;
    std::string m_temporary;
    int m_descriptor = -1;
};

} // namespace qz::cli
