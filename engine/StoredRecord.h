#pragma once
// The 240-byte record a host stores in its project: the total size (240), the engine
// interface's identifier as a check, then the ParamBlock. All integers little-endian.
//   offset 0   uint32  240
//   offset 4   GUID    the ITqPlugInProp identifier (32-, 16-, 16-bit, then 8 bytes)
//   offset 20  55 x int32, block order

#include <cstdint>

#include "ParamBlock.h"

namespace qz {

constexpr uint32_t kStoredRecordSize = 240;
constexpr uint32_t kStoredHeaderSize = 20;
constexpr uint32_t kStoredBlockSize = kStoredRecordSize - kStoredHeaderSize;
static_assert(kStoredBlockSize == sizeof(ParamBlock), "the record holds one ParamBlock");

void WriteStoredHeader(uint8_t (&header)[kStoredHeaderSize]);
// Whether a header carries this record's size and identifier.
bool IsStoredHeader(const uint8_t (&header)[kStoredHeaderSize]);

void WriteStoredBlock(const ParamBlock& block, uint8_t (&bytes)[kStoredBlockSize]);
ParamBlock ReadStoredBlock(const uint8_t (&bytes)[kStoredBlockSize]);

// The whole record: header and block.
void WriteStoredRecord(const ParamBlock& block, uint8_t (&record)[kStoredRecordSize]);
// False, with `block` untouched, when the header is not this record's.
bool ReadStoredRecord(const uint8_t (&record)[kStoredRecordSize], ParamBlock& block);

} // namespace qz
