#include "RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "SafeFiles.h"
#include "StoredRecord.h"

namespace qz::cli {

std::string ReadRecordFile(const std::string& path, ParamBlock& block)
{
    const std::string notARecord = path + " is not a qz:Multiband settings record";
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return "cannot read the settings record " + path + ": " + std::strerror(errno);
    if (!S_ISREG(info.st_mode))
        return notARecord + " (not a regular file)";
    // The size tells at once: nothing of a larger file is read.
    if (info.st_size != static_cast<off_t>(kStoredRecordSize))
        return notARecord + " (" + std::to_string(info.st_size) + " bytes, not " + std::to_string(kStoredRecordSize) +
               ")";
    const int descriptor = open(path.c_str(), O_RDONLY);
    if (descriptor < 0)
        return "cannot read the settings record " + path + ": " + std::strerror(errno);
    uint8_t bytes[kStoredRecordSize];
    size_t got = 0;
    for (ssize_t done; got < sizeof bytes && (done = read(descriptor, bytes + got, sizeof bytes - got)) != 0;) {
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            break;
        got += static_cast<size_t>(done);
    }
    close(descriptor);
    if (got != sizeof bytes)
        return "cannot read the settings record " + path;
    uint8_t header[kStoredHeaderSize];
    uint8_t stored[kStoredBlockSize];
    std::memcpy(header, bytes, sizeof header);
    std::memcpy(stored, bytes + sizeof header, sizeof stored);
    if (!IsStoredHeader(header))
        return notARecord + " (its header is another filter's)";
    block = ReadStoredBlock(stored);
    return "";
}

std::string WriteRecordFile(const std::string& path, const ParamBlock& block,
                            const std::vector<std::string>& settingsFiles)
{
    std::string target;
    std::string problem = files::CheckDestination(path, settingsFiles, target);
    if (!problem.empty())
        return problem;
    // Only a settings record is replaced by one; an audio file given by mistake is not.
    ParamBlock existing;
    if (access(target.c_str(), F_OK) == 0 && !ReadRecordFile(target, existing).empty())
        return path + " exists and is not a settings record; not overwritten";

    uint8_t header[kStoredHeaderSize];
    uint8_t stored[kStoredBlockSize];
    WriteStoredHeader(header);
    WriteStoredBlock(block, stored);
    std::string bytes(reinterpret_cast<const char*>(header), sizeof header);
    bytes.append(reinterpret_cast<const char*>(stored), sizeof stored);
    return files::ReplaceContent(path, bytes, settingsFiles);
}

} // namespace qz::cli
