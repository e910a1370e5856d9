// The parts of safe file writing that are the same on every system.
#include "SafeFiles.h"

#include <cctype>

namespace qz::files {

bool IsReservedDeviceName(const std::string& fileName)
{
    // The device is the name before the first dot, blanks and dots after it aside.
    std::string stem = fileName.substr(0, fileName.find('.'));
    while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.'))
        stem.pop_back();
    for (char& c : stem)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

std::string ReplaceContent(const Path& path, const std::string& bytes, const std::vector<Path>& inputs)
{
    Path target;
    std::string problem = CheckDestination(path, inputs, target);
    if (!problem.empty())
        return problem;
    OutputFile file;
    problem = file.create(target, Shown(path));
    if (problem.empty())
        problem = file.write(bytes.data(), bytes.size());
    // What the system took for the file must be all of it before it replaces anything.
    if (problem.empty() && file.size() != static_cast<long long>(bytes.size()))
        problem = "cannot write " + Shown(path) + ": the file holds " + std::to_string(file.size()) + " of " +
                  std::to_string(bytes.size()) + " bytes";
    return problem.empty() ? file.commit() : problem;
}

} // namespace qz::files
