#include "StoredRecord.h"

#include <cstring>

#include "qz_guids.h"

namespace qz {

namespace {

void PutLittleEndian(uint8_t* out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLittleEndian(const uint8_t* in, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<uint32_t>(in[i]) << (8 * i);
    return value;
}

} // namespace

void WriteStoredHeader(uint8_t (&header)[kStoredHeaderSize])
{
    const GUID& id = kIID_ITqPlugInProp;
    PutLittleEndian(header, kStoredRecordSize, 4);
    PutLittleEndian(header + 4, id.Data1, 4);
    PutLittleEndian(header + 8, id.Data2, 2);
    PutLittleEndian(header + 10, id.Data3, 2);
    std::memcpy(header + 12, id.Data4, 8);
}

bool IsStoredHeader(const uint8_t (&header)[kStoredHeaderSize])
{
    uint8_t expected[kStoredHeaderSize];
    WriteStoredHeader(expected);
    return std::memcmp(header, expected, kStoredHeaderSize) == 0;
}

void WriteStoredBlock(const ParamBlock& block, uint8_t (&bytes)[kStoredBlockSize])
{
    for (int i = 0; i < kBlockFieldCount; ++i)
        PutLittleEndian(bytes + 4 * i, static_cast<uint32_t>(block.field(i)), 4);
}

ParamBlock ReadStoredBlock(const uint8_t (&bytes)[kStoredBlockSize])
{
    ParamBlock block{};
    for (int i = 0; i < kBlockFieldCount; ++i)
        block.field(i) = static_cast<int32_t>(GetLittleEndian(bytes + 4 * i, 4));
    return block;
}

void WriteStoredRecord(const ParamBlock& block, uint8_t (&record)[kStoredRecordSize])
{
    uint8_t header[kStoredHeaderSize];
    uint8_t stored[kStoredBlockSize];
    WriteStoredHeader(header);
    WriteStoredBlock(block, stored);
    std::memcpy(record, header, sizeof header);
    std::memcpy(record + sizeof header, stored, sizeof stored);
}

bool ReadStoredRecord(const uint8_t (&record)[kStoredRecordSize], ParamBlock& block)
{
    uint8_t header[kStoredHeaderSize];
    uint8_t stored[kStoredBlockSize];
    std::memcpy(header, record, sizeof header);
    std::memcpy(stored, record + sizeof header, sizeof stored);
    if (!IsStoredHeader(header))
        return false;
    block = ReadStoredBlock(stored);
    return true;
}

} // namespace qz
