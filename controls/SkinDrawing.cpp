#include "SkinDrawing.h"

#include "PackedDib.h"

#include <algorithm>
#include <cstring>

namespace qz {

namespace {

// A rectangle of a device context as 32-bit pixels (blue, green, red, unused; rows
// top first) that can be changed in memory and stored back. Empty (ok() false) when
// a GDI object could not be made; everything it made is deleted with it.
class DcPixels {
public:
    DcPixels(HDC dc, int x, int y, int width, int height)
        : dc_(dc), x_(x), y_(y), width_(width), height_(height)
    {
        memory_ = CreateCompatibleDC(dc);
        if (!memory_)
            return;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        section_ = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!section_)
            return;
        previous_ = SelectObject(memory_, section_);
        BitBlt(memory_, 0, 0, width, height, dc, x, y, SRCCOPY);
        GdiFlush();
        pixels_ = static_cast<RGBQUAD*>(bits);
    }
    ~DcPixels()
    {
        if (previous_)
            SelectObject(memory_, previous_);
        if (section_)
            DeleteObject(section_);
        if (memory_)
            DeleteDC(memory_);
    }
    DcPixels(const DcPixels&) = delete;
    DcPixels& operator=(const DcPixels&) = delete;

    bool ok() const { return pixels_ != nullptr; }
    RGBQUAD* row(int r) { return pixels_ + size_t(r) * width_; }
    void store()
    {
        GdiFlush();
        BitBlt(dc_, x_, y_, width_, height_, memory_, 0, 0, SRCCOPY);
    }

private:
    HDC dc_;
    int x_, y_, width_, height_;
    HDC memory_ = nullptr;
    HBITMAP section_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    RGBQUAD* pixels_ = nullptr;
};

// The weight 0..256 that a pixel of transparency T gives the destination.
int DestinationWeight(int transparency, int fadeFloor)
{
    const int t = fadeFloor == kNoFade ? transparency : fadeFloor + (255 - fadeFloor) * transparency / 255;
    return t > 0 ? t + 1 : 0;
}

// D becomes S + ((D - S) x k) >> 8, rounding toward minus infinity.
BYTE Blend(int destination, int source, int weight)
{
    return BYTE(source + (((destination - source) * weight) >> 8));
}

int Tinted(int channel, int multiplier, int divisor) { return std::min(255, channel * multiplier / divisor); }

// Blends one pixel of a raw image (R, G, B, T) into a destination pixel.
void BlendPixel(RGBQUAD& d, const uint8_t* s, int fadeFloor, const uint32_t* tint)
{
    int r = s[0], g = s[1], b = s[2];
    if (tint) {
        const int divisor = int(*tint >> 24);
        r = Tinted(r, int(*tint & 0xFF), divisor);
        g = Tinted(g, int((*tint >> 8) & 0xFF), divisor);
        b = Tinted(b, int((*tint >> 16) & 0xFF), divisor);
    }
    const int k = DestinationWeight(s[3], fadeFloor);
    d.rgbRed = Blend(d.rgbRed, r, k);
    d.rgbGreen = Blend(d.rgbGreen, g, k);
    d.rgbBlue = Blend(d.rgbBlue, b, k);
}

HPALETTE PaletteFromTable(const RGBQUAD* table, int entries)
{
    std::vector<BYTE> storage(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * size_t(entries));
    auto* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = WORD(entries);
    for (int i = 0; i < entries; ++i)
        palette->palPalEntry[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    return CreatePalette(palette);
}

} // namespace

HBITMAP BitmapFromPackedDib(const void* data, size_t size, HPALETTE* palette)
{
    if (palette)
        *palette = nullptr;
    PackedDib dib;
    if (!ReadPackedDib(static_cast<const uint8_t*>(data), size, dib))
        return nullptr;
    const int bits = dib.header.bitCount;
    const int entries = dib.colourEntries;

    // The header and colour table that CreateDIBitmap reads, followed by nothing: the
    // pixels are passed separately (expanded for RLE8).
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD) * size_t(entries));
    auto* infoHeader = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
    infoHeader->biSize = sizeof(BITMAPINFOHEADER);
    infoHeader->biWidth = dib.header.width;
    infoHeader->biHeight = dib.header.height;
    infoHeader->biPlanes = 1;
    infoHeader->biBitCount = WORD(bits);
    infoHeader->biCompression = BI_RGB;
    infoHeader->biSizeImage = DWORD(dib.rowBytes * size_t(dib.rows));
    infoHeader->biClrUsed = DWORD(entries);
    std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), dib.colourTable, sizeof(RGBQUAD) * size_t(entries));

    HDC screen = GetDC(nullptr);
    if (!screen)
        return nullptr;
    HPALETTE created = nullptr;
    HPALETTE previousPalette = nullptr;
    if (bits <= 8 && entries > 0) {
        created = PaletteFromTable(reinterpret_cast<const RGBQUAD*>(info.data() + sizeof(BITMAPINFOHEADER)), entries);
        if (created) {
            previousPalette = SelectPalette(screen, created, FALSE);
            RealizePalette(screen);
        }
    }
    HBITMAP bitmap = CreateDIBitmap(screen, infoHeader, CBM_INIT, dib.pixels, reinterpret_cast<BITMAPINFO*>(info.data()),
                                    DIB_RGB_COLORS);
    if (previousPalette)
        SelectPalette(screen, previousPalette, FALSE);
    ReleaseDC(nullptr, screen);
    if (palette)
        *palette = created;
    else if (created)
        DeleteObject(created);
    return bitmap;
}

HBITMAP LoadSkinBitmap(HMODULE module, int resource, HPALETTE* palette)
{
    if (palette)
        *palette = nullptr;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(resource), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    if (!found)
        return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return nullptr;
    return BitmapFromPackedDib(data, SizeofResource(module, found), palette);
}

const uint8_t* LoadPixelImage(HMODULE module, int resource)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(resource), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!found)
        return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    return loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
}

void CompositeImage(HDC dc, int x, int y, int width, int height, const uint8_t* image, int fadeFloor, uint32_t tint,
                    int insetMode)
{
    if (width < 1 || height < 1 || !image)
        return;
    DcPixels target(dc, x, y, width, height);
    if (!target.ok())
        return;
    // A tint word without a divisor would divide by zero: it tints nothing.
    const bool tinting = tint != 0 && (tint >> 24) != 0;
    const int left = insetMode == 2 ? 1 : 2, top = left;
    const int right = insetMode == 2 ? 3 : 2, bottom = right;
    const uint8_t* source = image;
    for (int r = 0; r < height; ++r) {
        RGBQUAD* row = target.row(r);
        for (int c = 0; c < width; ++c, source += 4) {
            const bool inside = insetMode == 0 || (left <= c && c <= width - right && top <= r && r <= height - bottom);
            BlendPixel(row[c], source, fadeFloor, tinting && inside ? &tint : nullptr);
        }
    }
    target.store();
}

void CompositeImageRect(HDC dc, int x, int y, int width, int height, int sourceColumn, int sourceRow,
                        const uint8_t* image, int fadeFloor, int rowLength)
{
    if (width < 1 || height < 1 || !image)
        return;
    DcPixels target(dc, x, y, width, height);
    if (!target.ok())
        return;
    const size_t stride = size_t(rowLength ? rowLength : width);
    for (int r = 0; r < height; ++r) {
        RGBQUAD* row = target.row(r);
        const uint8_t* source = image + 4 * ((size_t(sourceRow) + size_t(r)) * stride + size_t(sourceColumn));
        for (int c = 0; c < width; ++c, source += 4)
            BlendPixel(row[c], source, fadeFloor, nullptr);
    }
    target.store();
}

void TransparentBlit(HDC dc, int x, int y, HBITMAP bitmap, int sourceX, int sourceY, int width, int height,
                     COLORREF key)
{
    if (!bitmap || width < 1 || height < 1)
        return;
    HDC source = CreateCompatibleDC(dc);
    HDC maskDc = CreateCompatibleDC(dc);
    HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
    if (source && maskDc && mask) {
        HGDIOBJ previousSource = SelectObject(source, bitmap);
        HGDIOBJ previousMask = SelectObject(maskDc, mask);
        // The mask is white where the source shows the key colour, black elsewhere.
        const COLORREF sourceBack = SetBkColor(source, key);
        BitBlt(maskDc, 0, 0, width, height, source, sourceX, sourceY, SRCCOPY);
        SetBkColor(source, sourceBack);
        // D ^= S; D &= mask; D ^= S. Under the key (mask white) D comes back as it
        // was; elsewhere (mask black) the AND leaves 0 and the second XOR leaves S.
        // Monochrome pixels blitted to colour take the text (0) and background (1)
        // colours of the destination.
        const COLORREF back = SetBkColor(dc, RGB(255, 255, 255));
        const COLORREF text = SetTextColor(dc, RGB(0, 0, 0));
        BitBlt(dc, x, y, width, height, source, sourceX, sourceY, SRCINVERT);
        BitBlt(dc, x, y, width, height, maskDc, 0, 0, SRCAND);
        BitBlt(dc, x, y, width, height, source, sourceX, sourceY, SRCINVERT);
        SetBkColor(dc, back);
        SetTextColor(dc, text);
        SelectObject(maskDc, previousMask);
        SelectObject(source, previousSource);
    }
    if (mask)
        DeleteObject(mask);
    if (maskDc)
        DeleteDC(maskDc);
    if (source)
        DeleteDC(source);
}

void TintRect(HDC dc, int left, int top, int right, int bottom, int weight, COLORREF colour)
{
    const int width = right - left, height = bottom - top;
    if (width < 1 || height < 1)
        return;
    DcPixels target(dc, left, top, width, height);
    if (!target.ok())
        return;
    auto pull = [weight](int d, int c) { return BYTE(std::clamp(c + (((d - c) * weight) >> 8), 0, 255)); };
    for (int r = 0; r < height; ++r) {
        RGBQUAD* row = target.row(r);
        for (int c = 0; c < width; ++c) {
            row[c].rgbRed = pull(row[c].rgbRed, GetRValue(colour));
            row[c].rgbGreen = pull(row[c].rgbGreen, GetGValue(colour));
            row[c].rgbBlue = pull(row[c].rgbBlue, GetBValue(colour));
        }
    }
    target.store();
}

void DrawLine(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour)
{
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    if (!pen)
        return;
    HGDIOBJ previous = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, previous);
    DeleteObject(pen);
}

namespace {

void DrawFrame(HDC dc, const RECT& r, COLORREF topLeft, COLORREF bottomRight)
{
    DrawLine(dc, r.left, r.top, r.right, r.top, topLeft);
    DrawLine(dc, r.left, r.top, r.left, r.bottom, topLeft);
    DrawLine(dc, r.left, r.bottom - 1, r.right, r.bottom - 1, bottomRight);
    DrawLine(dc, r.right - 1, r.top, r.right - 1, r.bottom, bottomRight);
}

} // namespace

void DrawGreyFrame(HDC dc, const RECT& rect) { DrawFrame(dc, rect, RGB(144, 144, 144), RGB(144, 144, 144)); }

void DrawRedFrame(HDC dc, const RECT& rect) { DrawFrame(dc, rect, RGB(225, 0, 0), RGB(200, 0, 0)); }

BOOL WindowRectInParent(HWND window, RECT* rect)
{
    if (!GetWindowRect(window, rect))
        return FALSE;
    POINT corner{rect->left, rect->top};
    if (HWND parent = GetParent(window))
        ScreenToClient(parent, &corner);
    OffsetRect(rect, corner.x - rect->left, corner.y - rect->top);
    return TRUE;
}

void CenterOnParent(HWND window)
{
    HWND parent = GetParent(window);
    RECT outer, own;
    if (!parent || !GetWindowRect(parent, &outer) || !GetWindowRect(window, &own))
        return;
    const int width = own.right - own.left, height = own.bottom - own.top;
    SetWindowPos(window, nullptr, outer.left + (outer.right - outer.left - width) / 2,
                 outer.top + (outer.bottom - outer.top - height) / 2, 0, 0, SWP_NOSIZE);
}

HFONT ToolkitFont::CreateFor(int dotsPerInch)
{
    if (dotsPerInch == 96)
        return nullptr;
    return CreateFontA(14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Arial");
}

ToolkitFont::ToolkitFont(HDC dc) : dc_(dc), created_(CreateFor(GetDeviceCaps(dc, LOGPIXELSY)))
{
    previous_ = SelectObject(dc, created_ ? static_cast<HGDIOBJ>(created_) : GetStockObject(DEFAULT_GUI_FONT));
}

ToolkitFont::~ToolkitFont()
{
    SelectObject(dc_, previous_);
    if (created_)
        DeleteObject(created_);
}

} // namespace qz
