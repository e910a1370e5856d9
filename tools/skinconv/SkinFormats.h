#pragma once
// The image formats of the editor's resources, made from rendered pictures: 24-bit
// and 4-bit bitmaps with a key colour, raw pixel images, icons and cursors. Used by
// skinconv at build time, and by the fuzzer that reads every format back.

#include <cstdint>
#include <string>
#include <vector>

namespace qz::skin {

struct Rgba {
    uint8_t r, g, b, a;
};

// A rendered picture: width x height pixels, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;

    const Rgba& at(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

using Bytes = std::vector<uint8_t>;

// The largest picture side skinconv takes; icon and cursor directories store sides
// up to 256 only.
constexpr int kMaxSide = 4096;
constexpr int kMaxIconSide = 256;

// A picture from raw 8-bit RGBA bytes of exactly width x height x 4; otherwise an
// empty string is not returned but a one-line description of what is wrong.
std::string PictureFromRgba(const Bytes& rgba, int width, int height, Picture& picture);

// A pixel counts as transparent when its alpha is below 128 (key colours and masks
// have no partial transparency; the raw images keep the full alpha).
bool Transparent(const Rgba& p);

// The colour transparent pixels take in the key-coloured bitmaps.
constexpr Rgba kKey{255, 0, 255, 255};

// A .bmp file of 24-bit rows; transparent pixels become the key colour.
Bytes Bmp24(const Picture& picture);

// Headerless R, G, B, T pixels, top row first, T = 255 - alpha.
Bytes Raw(const Picture& picture);

// The 16 colours of the standard VGA palette; magenta (index 13) is the key, which
// transparent pixels take too.
extern const std::vector<Rgba> kStandard16;
constexpr int kKeyIndex = 13;

// The index of the standard colour nearest to `p` (squared distance; the first of equals).
int NearestStandard(const Rgba& p);

// A .bmp file of 4-bit rows in the 16 standard colours, magenta as the key.
Bytes Bmp4(const Picture& picture);

// An .ico file (24-bit images with an AND mask) of `pictures`, or a .cur file of
// monochrome images with the hot spot (hotX, hotY).
Bytes IconFile(const std::vector<Picture>& pictures, bool cursor, int hotX, int hotY);

} // namespace qz::skin
