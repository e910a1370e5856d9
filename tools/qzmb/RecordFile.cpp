#include "RecordFile.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "StoredRecord.h"

namespace qz::cli {

std::string ReadRecordFile(const std::string& path, ParamBlock& block)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return "cannot read the settings record " + path;
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    uint8_t header[kStoredHeaderSize];
    if (bytes.size() != kStoredRecordSize)
        return path + " is not a qz:Multiband settings record (" + std::to_string(bytes.size()) +
               " bytes, not " + std::to_string(kStoredRecordSize) + ")";
    std::copy(bytes.begin(), bytes.begin() + kStoredHeaderSize, header);
    if (!IsStoredHeader(header))
        return path + " is not a qz:Multiband settings record (its header is another filter's)";
    uint8_t stored[kStoredBlockSize];
    std::copy(bytes.begin() + kStoredHeaderSize, bytes.end(), stored);
    block = ReadStoredBlock(stored);
    return "";
}

std::string WriteRecordFile(const std::string& path, const ParamBlock& block)
{
    uint8_t header[kStoredHeaderSize];
    uint8_t stored[kStoredBlockSize];
    WriteStoredHeader(header);
    WriteStoredBlock(block, stored);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(header), sizeof header);
    file.write(reinterpret_cast<const char*>(stored), sizeof stored);
    file.close();
    return file ? "" : "cannot write the settings record " + path;
}

} // namespace qz::cli
