#include "BatchInputs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>

#include "ContentHash.h"
#include "FilePaths.h"

namespace qz::cli {

namespace {

std::string Lowercase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// Where the extension of the last path component starts (at its dot), or npos.
size_t ExtensionStart(const std::string& path)
{
    const size_t dot = path.find_last_of("./");
    return dot == std::string::npos || path[dot] == '/' || dot == 0 || path[dot - 1] == '/' ? std::string::npos
                                                                                            : dot;
}

std::string WithFormat(const std::string& key, const std::string& format)
{
    if (format.empty())
        return key;
    const size_t dot = ExtensionStart(key);
    return (dot == std::string::npos ? key : key.substr(0, dot)) + "." + format;
}

// A listed path as an output path: without leading "/", "." components and doubled
// slashes. False for a path with "..", whose output would leave the output folder.
bool ListedKey(const std::string& path, std::string& key)
{
    key.clear();
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..")
            return false;
        if (!part.empty() && part != ".")
            key = JoinPath(key, part);
        start = end + 1;
    }
    return true;
}

class Gatherer {
public:
    Gatherer(const InputSources& sources, GatheredInputs& gathered) : m_sources(sources), m_out(gathered)
    {
        struct stat folder;
        m_hasOutputFolder = stat(sources.outputFolder.c_str(), &folder) == 0;
        if (m_hasOutputFolder)
            m_outputFolder = folder;
    }

    // A name from the command line or a list: a file's output path is `fileKey`, the
    // files of a folder go under `folderKey`.
    void take(const std::string& path, const std::string& fileKey, const std::string& folderKey)
    {
        struct stat info;
        if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            if (m_sources.recursive)
                walk(path, folderKey);
            else
                refuse(path, "", path + " is a folder; --recursive processes the files in it");
            return;
        }
        // Anything else is the job's to read, or to report in one line.
        add(path, fileKey);
    }

private:
    void walk(const std::string& folder, const std::string& key)
    {
        DIR* dir = opendir(folder.c_str());
        if (dir == nullptr) {
            refuse(folder, "", "cannot read the folder " + folder + ": " + std::strerror(errno));
            return;
        }
        std::vector<std::string> names;
        for (dirent* entry; (entry = readdir(dir)) != nullptr;)
            names.push_back(entry->d_name);
        closedir(dir);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (name == "." || name == "..")
                continue;
            const std::string path = JoinPath(folder, name);
            struct stat entry;
            if (lstat(path.c_str(), &entry) != 0)
                continue;  // gone since the folder was read
            if (S_ISDIR(entry.st_mode)) {
                if (m_hasOutputFolder && entry.st_dev == m_outputFolder.st_dev && entry.st_ino == m_outputFolder.st_ino)
                    continue;
                if (name[0] == '.')
                    ++m_out.skippedFiles;
                else
                    walk(path, JoinPath(key, name));
                continue;
            }
            struct stat target;
            // Hidden files (temporary files, other systems' resource files named like
            // audio) and links to folders are not walked.
            const bool linkToFolder =
                S_ISLNK(entry.st_mode) && stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
            if (name[0] == '.' || linkToFolder || !HasAudioExtension(name))
                ++m_out.skippedFiles;
            else
                add(path, JoinPath(key, name));
        }
    }

    void add(const std::string& path, const std::string& listedKey)
    {
        const std::string key = WithFormat(listedKey, m_sources.format);
        if (key.empty() || !HasAudioExtension(key)) {
            refuse(path, "", "cannot name the output of " + path +
                                 ": qzmb writes .wav, .aif, .aiff or .flac files; choose one with --format");
            return;
        }
        struct stat info {};
        const bool exists = stat(path.c_str(), &info) == 0;
        const auto previous = m_byOutput.find(key);
        if (previous != m_byOutput.end()) {
            const Identity& first = m_identities[previous->second];
            if (exists && first.exists && first.device == info.st_dev && first.inode == info.st_ino)
                return;  // the same file named twice
            refuse(path, key,
                   path + ": its output " + key + " is the output of " + m_out.inputs[previous->second].input +
                       " already; not processed");
            return;
        }
        m_byOutput[key] = m_out.inputs.size();
        m_identities.push_back({exists, info.st_dev, info.st_ino});
        m_out.inputs.push_back({path, key, exists && S_ISREG(info.st_mode) ? static_cast<int64_t>(info.st_size) : 0});
    }

    void refuse(const std::string& path, const std::string& output, const std::string& text)
    {
        m_out.problems.push_back({path, output, text});
    }

    struct Identity {
        bool exists;
        dev_t device;
        ino_t inode;
    };

    const InputSources& m_sources;
    GatheredInputs& m_out;
    bool m_hasOutputFolder = false;
    struct stat m_outputFolder {};
    std::map<std::string, size_t> m_byOutput;
    std::vector<Identity> m_identities;  // beside m_out.inputs
};

std::string ReadList(const std::string& list, std::vector<std::string>& lines)
{
    std::ifstream file;
    if (list != "-") {
        file.open(list);
        if (!file)
            return "cannot read the list " + list + ": " + std::strerror(errno);
    }
    std::istream& in = list == "-" ? std::cin : file;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    if (in.bad())
        return "cannot read the list " + (list == "-" ? std::string("on standard input") : list);
    return "";
}

} // namespace

bool HasAudioExtension(const std::string& name)
{
    const size_t dot = ExtensionStart(name);
    if (dot == std::string::npos)
        return false;
    const std::string extension = Lowercase(name.substr(dot + 1));
    return extension == "wav" || extension == "aif" || extension == "aiff" || extension == "flac";
}

std::string GatherInputs(const InputSources& sources, GatheredInputs& gathered)
{
    gathered = GatheredInputs{};
    Gatherer gatherer(sources, gathered);
    for (const std::string& argument : sources.arguments)
        gatherer.take(argument, BaseName(argument), "");
    for (const std::string& list : sources.lists) {
        std::vector<std::string> lines;
        const std::string problem = ReadList(list, lines);
        if (!problem.empty())
            return problem;
        for (const std::string& line : lines) {
            std::string key;
            if (ListedKey(line, key))
                gatherer.take(line, key, key);
            else
                gathered.problems.push_back({line, "", line + ": a path with \"..\" would write outside the output "
                                                          "folder; list it without \"..\""});
        }
    }
    return "";
}

int ShardOf(const std::string& output, int shardCount)
{
    return static_cast<int>(StableHash64(output) % static_cast<uint64_t>(shardCount)) + 1;
}

std::string ListHash(const std::vector<BatchInput>& inputs)
{
    std::vector<std::string> outputs;
    for (const BatchInput& input : inputs)
        outputs.push_back(input.output);
    std::sort(outputs.begin(), outputs.end());
    std::string joined;
    for (const std::string& output : outputs)
        joined += output + '\n';
    return HashBytes(joined.data(), joined.size());
}

} // namespace qz::cli
