// The stored record: its exact bytes for the default block, and the header check.
#include <gtest/gtest.h>

#include "BuiltinPresets.h"
#include "StoredRecord.h"

namespace qz {
namespace {

TEST(StoredRecord, DefaultBlockBytesAreTheDocumentedValuesInBlockOrder)
{
    uint8_t header[kStoredHeaderSize];
    WriteStoredHeader(header);
    EXPECT_EQ(header[0], 240);
    EXPECT_EQ(header[1] | header[2] | header[3], 0);
    // The identifier in binary GUID layout: 549DA1C1-8ADB-4B9B-8726-58AA394408E2.
    const uint8_t id[16] = {0xC1, 0xA1, 0x9D, 0x54, 0xDB, 0x8A, 0x9B, 0x4B,
                            0x87, 0x26, 0x58, 0xAA, 0x39, 0x44, 0x08, 0xE2};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(header[4 + i], id[i]) << "identifier byte " << i;
    EXPECT_TRUE(IsStoredHeader(header));

    uint8_t bytes[kStoredBlockSize];
    WriteStoredBlock(DefaultParamBlock(), bytes);
    std::vector<int32_t> expected = {1, 0, 0, 60, 121, 180, 240, 100};
    expected.insert(expected.end(), 10, 0);  // solo and bypass
    expected.insert(expected.end(), {0, 0});  // Spare2, TCR
    expected.insert(expected.end(), 5, 0);    // thresholds
    expected.insert(expected.end(), 5, 10);   // ratios
    expected.insert(expected.end(), 5, 10);   // knees
    expected.insert(expected.end(), 5, 0);    // gains
    expected.insert(expected.end(), 5, 150);  // attacks
    expected.insert(expected.end(), 5, 200);  // releases
    expected.insert(expected.end(), 5, 0);    // types
    ASSERT_EQ(expected.size(), 55u);
    for (int i = 0; i < 55; ++i) {
        const int32_t value = static_cast<int32_t>(bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 |
                                                   static_cast<uint32_t>(bytes[4 * i + 3]) << 24);
        EXPECT_EQ(value, expected[i]) << "block field " << i;
    }
}

TEST(StoredRecord, ForeignHeadersAreRecognised)
{
    uint8_t header[kStoredHeaderSize];
    for (int mutate : {0, 4, 19}) {
        WriteStoredHeader(header);
        header[mutate] ^= 1;
        EXPECT_FALSE(IsStoredHeader(header)) << "byte " << mutate << " changed";
    }
}

TEST(StoredRecord, NegativeValuesSurviveTheBytes)
{
    ParamBlock block = DefaultParamBlock();
    block.Threshold[3] = -600;
    block.OutputGain = -240;
    uint8_t bytes[kStoredBlockSize];
    WriteStoredBlock(block, bytes);
    EXPECT_EQ(ReadStoredBlock(bytes), block);
}

TEST(BuiltinPresets, TwoNamedDefaultBlocks)
{
    EXPECT_STREQ(GetBuiltinPreset(0).name, "(Default)");
    EXPECT_STREQ(GetBuiltinPreset(1).name, "[1] Full Reset");
    EXPECT_EQ(GetBuiltinPreset(0).block, DefaultParamBlock());
    EXPECT_EQ(GetBuiltinPreset(1).block, DefaultParamBlock());
}

} // namespace
} // namespace qz
