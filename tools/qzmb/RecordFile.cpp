#include "RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "OutputFile.h"
#include "StoredRecord.h"

namespace qz::cli {

namespace {

bool WriteAll(int descriptor, const uint8_t* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t done = write(descriptor, bytes, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

} // namespace

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
    std::string problem = CheckDestination(path, settingsFiles, target);
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
    uint8_t bytes[kStoredRecordSize];
    std::memcpy(bytes, header, sizeof header);
    std::memcpy(bytes + sizeof header, stored, sizeof stored);
    OutputFile file;
    problem = file.create(target, path);
    if (!problem.empty())
        return problem;
    if (!WriteAll(file.descriptor(), bytes, sizeof bytes))
        return "cannot write the settings record " + path + ": " + std::strerror(errno);
    return file.commit();
}

} // namespace qz::cli
