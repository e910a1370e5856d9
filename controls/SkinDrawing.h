// The editor's images and the drawing operations every control uses.
//
// Three kinds of image make the look: the page-sized skin bitmap, raw pixel images
// with per-pixel transparency (button faces, fields, thumbs, meter faces, markers),
// and small ordinary bitmaps drawn with a key colour. A raw pixel image has no
// header: 4 bytes per pixel, red, green, blue and a transparency byte that counts
// the other way from alpha (0 opaque, 255 invisible), top row first; its size is the
// size of what it is drawn for.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qz {

// Tint word: red, green and blue multipliers in bytes 0-2 (COLORREF order) and their
// common divisor in byte 3; a tinted channel becomes min(255, c x multiplier / divisor).
// 0 means no tint. The warm highlight of checked buttons and focused thumbs:
constexpr uint32_t kCheckedTint = 0xEB78F8FF;

// Fade floor that leaves a pixel image as stored.
constexpr int kNoFade = 255;

// The colour that ordinary bitmaps use for "transparent".
constexpr COLORREF kMagentaKey = RGB(255, 0, 255);

// The skin bitmap (or any bitmap resource) as a device bitmap. For images of 8 bits
// per pixel or fewer, *palette receives a palette of the image's colour table (else
// null). Null when the resource is missing or malformed. The caller deletes both.
HBITMAP LoadSkinBitmap(HMODULE module, int resource, HPALETTE* palette);

// The same from a packed device-independent bitmap in memory (header, colour table,
// pixels) of `size` bytes: what LoadSkinBitmap does once it has found the resource.
// Uncompressed and RLE8 images; anything that does not fit in `size` gives null
// (ReadPackedDib in PackedDib.h says what is accepted).
HBITMAP BitmapFromPackedDib(const void* dib, size_t size, HPALETTE* palette);

// A raw pixel image (RT_RCDATA), in place in the module; null when missing.
const uint8_t* LoadPixelImage(HMODULE module, int resource);

// Blends `image` (width x height) over the rectangle at (x, y) of `dc`. Transparency
// T becomes floor + (255 - floor) x T / 255 unless the fade floor is 255. A non-zero
// tint applies to every pixel with inset mode 0, or else only inside the insets:
// mode 2 spares 1 pixel at the top and left and 3 at the right and bottom, the other
// modes 2 on every side.
void CompositeImage(HDC dc, int x, int y, int width, int height, const uint8_t* image, int fadeFloor,
                    uint32_t tint, int insetMode);

// Blends the width x height block at (sourceColumn, sourceRow) of a larger pixel image
// whose rows are rowLength pixels long (0: width) over (x, y) of `dc`, untinted.
void CompositeImageRect(HDC dc, int x, int y, int width, int height, int sourceColumn, int sourceRow,
                        const uint8_t* image, int fadeFloor, int rowLength);

// Copies a width x height block of `bitmap` from (sourceX, sourceY) to (x, y),
// leaving the destination where the source pixel is exactly `key`.
void TransparentBlit(HDC dc, int x, int y, HBITMAP bitmap, int sourceX, int sourceY, int width, int height,
                     COLORREF key);

// Every channel D of the rectangle becomes clamp(C + ((D - C) x weight) >> 8, 0, 255):
// weight 256 keeps the pixels, less pulls them toward `colour`, more pushes them away.
void TintRect(HDC dc, int left, int top, int right, int bottom, int weight, COLORREF colour);

// A one-pixel line from (x1, y1) to (x2, y2), the end point excluded.
void DrawLine(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour);

// Outlines: top row, left column, bottom row (bottom - 1), right column (right - 1).
void DrawGreyFrame(HDC dc, const RECT& rect);
void DrawRedFrame(HDC dc, const RECT& rect);

// The window's rectangle in its parent's client coordinates.
BOOL WindowRectInParent(HWND window, RECT* rect);

// Moves a dialog so that it sits in the middle of its parent, without resizing it.
void CenterOnParent(HWND window);

// The toolkit's text font, selected into `dc` for as long as this object lives:
// Arial, cell height 14, normal weight, created for the paint when the display is
// not at 96 dots per inch, else the stock DEFAULT_GUI_FONT.
class ToolkitFont {
public:
    explicit ToolkitFont(HDC dc);
    ~ToolkitFont();
    ToolkitFont(const ToolkitFont&) = delete;
    ToolkitFont& operator=(const ToolkitFont&) = delete;

    // The font the rule picks for a display of `dotsPerInch`; null means the stock font.
    static HFONT CreateFor(int dotsPerInch);

private:
    HDC dc_;
    HFONT created_;
    HGDIOBJ previous_;
};

} // namespace qz
