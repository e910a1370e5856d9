// The bitmap reader without the system: RLE8 expansion by its encoding, and which
// packed bitmaps are accepted. The system's side (the bitmaps made from them) is
// tested under Wine with the controls.
#include "PackedDib.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qz;

namespace {

struct RleCase {
    const char* what;
    std::vector<uint8_t> data;
    int width, height;
    bool ok;
    std::vector<uint8_t> rows; // expected, rows bottom first, padded to 4
};

const RleCase kRleCases[] = {
    {"runs, end of line and end of bitmap", {3, 7, 1, 9, 0, 0, 2, 5, 0, 1}, 4, 2, true,
     {7, 7, 7, 9, 5, 5, 0, 0}},
    {"an absolute run of odd length is padded", {0, 3, 1, 2, 3, 0, 0, 1}, 3, 1, true, {1, 2, 3, 0}},
    {"a delta skips right and up", {1, 4, 0, 2, 2, 1, 1, 8, 0, 1}, 4, 2, true, {4, 0, 0, 0, 0, 0, 0, 8}},
    {"no end of bitmap: stops after the last row", {2, 6, 0, 0, 2, 6, 0, 0, 2, 6}, 2, 2, true,
     {6, 6, 0, 0, 6, 6, 0, 0}},
    {"data that ends early leaves zeros", {1, 3}, 2, 2, true, {3, 0, 0, 0, 0, 0, 0, 0}},
    {"a run past the row's end", {5, 1, 0, 1}, 4, 1, false, {}},
    {"an absolute run past the row's end", {0, 5, 1, 2, 3, 4, 5, 0}, 4, 1, false, {}},
    {"an absolute run past the data's end", {0, 200, 1, 2}, 255, 1, false, {}},
    {"a delta past the last row", {0, 2, 0, 9, 1, 1}, 2, 2, false, {}},
    {"a delta past the row's end", {0, 2, 9, 0, 1, 1}, 2, 2, false, {}},
    {"a delta cut short", {0, 2, 1}, 2, 2, false, {}},
    {"a run after a delta to the row's end", {0, 2, 2, 0, 1, 7}, 2, 1, false, {}},
};

TEST(ExpandRle8, FollowsTheEncodingAndNeverWritesOutsideTheImage)
{
    for (const RleCase& c : kRleCases) {
        std::vector<uint8_t> pixels{1, 2, 3};
        const bool ok = ExpandRle8(c.data.data(), c.data.size(), c.width, c.height, pixels);
        EXPECT_EQ(ok, c.ok) << c.what;
        if (c.ok)
            EXPECT_EQ(pixels, c.rows) << c.what;
        else
            EXPECT_TRUE(pixels.empty()) << c.what;
    }
}

TEST(ExpandRle8, RefusesAnImageLargerThanAnyItCouldBe)
{
    // Four bytes that claim 32767 x 32767 pixels: refused before a gigabyte is allocated.
    const uint8_t endOfBitmap[] = {0, 1, 0, 0};
    std::vector<uint8_t> pixels;
    EXPECT_FALSE(ExpandRle8(endOfBitmap, sizeof endOfBitmap, 32767, 32767, pixels));
    EXPECT_TRUE(ExpandRle8(endOfBitmap, sizeof endOfBitmap, 2048, 2048, pixels));
    EXPECT_EQ(pixels.size(), size_t(2048) * 2048);
    EXPECT_FALSE(ExpandRle8(endOfBitmap, sizeof endOfBitmap, 2048, 2049, pixels));
}

// A packed bitmap's header, little-endian as stored, followed by `tail`.
std::vector<uint8_t> Dib(int32_t width, int32_t height, uint16_t bits, uint32_t compression, uint32_t colours,
                         size_t tail)
{
    std::vector<uint8_t> dib(kDibHeaderSize + tail, 0);
    const uint32_t fields[] = {uint32_t(kDibHeaderSize), uint32_t(width), uint32_t(height)};
    std::memcpy(dib.data(), fields, sizeof fields);
    const uint16_t planesAndBits[] = {1, bits};
    std::memcpy(dib.data() + 12, planesAndBits, sizeof planesAndBits);
    std::memcpy(dib.data() + 16, &compression, 4);
    std::memcpy(dib.data() + 32, &colours, 4);
    return dib;
}

TEST(ReadPackedDib, AcceptsWhatFitsItsDataAndPointsAtThePixels)
{
    // 3 x 2 at 24 bits: rows of 9 bytes padded to 12.
    std::vector<uint8_t> dib = Dib(3, -2, 24, kDibUncompressed, 0, 24);
    PackedDib read;
    ASSERT_TRUE(ReadPackedDib(dib.data(), dib.size(), read));
    EXPECT_EQ(read.rows, 2);
    EXPECT_EQ(read.rowBytes, 12u);
    EXPECT_EQ(read.colourEntries, 0);
    EXPECT_EQ(read.pixels, dib.data() + kDibHeaderSize);

    // 4 bits with a 2-entry table: the pixels follow the table.
    dib = Dib(8, 1, 4, kDibUncompressed, 2, 8 + 4);
    ASSERT_TRUE(ReadPackedDib(dib.data(), dib.size(), read));
    EXPECT_EQ(read.colourEntries, 2);
    EXPECT_EQ(read.pixels, dib.data() + kDibHeaderSize + 8);

    struct {
        const char* what;
        std::vector<uint8_t> dib;
    } const refused[] = {
        {"one byte short of its pixels", Dib(3, 2, 24, kDibUncompressed, 0, 23)},
        {"no width", Dib(0, 2, 24, kDibUncompressed, 0, 24)},
        {"wider than 32767", Dib(32768, 1, 1, kDibUncompressed, 0, 4096)},
        {"a bit count of 7", Dib(3, 2, 7, kDibUncompressed, 0, 64)},
        {"another compression", Dib(3, 2, 24, 3, 0, 64)},
        {"RLE8 of 4-bit pixels", Dib(3, 2, 4, kDibRle8, 0, 64)},
        {"a 4-bit table of 17 colours", Dib(3, 2, 4, kDibUncompressed, 17, 128)},
        {"shorter than a header", std::vector<uint8_t>(kDibHeaderSize - 1, 0)},
    };
    for (const auto& c : refused)
        EXPECT_FALSE(ReadPackedDib(c.dib.data(), c.dib.size(), read)) << c.what;
}

} // namespace
