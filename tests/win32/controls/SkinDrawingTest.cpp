// The drawing operations on real GDI memory device contexts: exact pixel arithmetic
// of compositing, fading, tinting and rectangle tints, key-colour blits, lines and
// frames, and the bitmap loaders with well-formed and hostile images.
#include "ControlsTestSupport.h"

#include "ResourceIds.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qz;

namespace {

// One pixel of source colour S with transparency T composited over destination D.
struct BlendCase {
    const char* what;
    COLORREF destination;
    COLORREF source;
    int transparency;
    int fadeFloor;
    uint32_t tint;
    COLORREF expected;
};

const BlendCase kBlendCases[] = {
    {"transparency 255 keeps the destination", RGB(10, 200, 30), RGB(250, 0, 99), 255, 255, 0, RGB(10, 200, 30)},
    {"transparency 0 writes the source", RGB(10, 200, 30), RGB(250, 0, 99), 0, 255, 0, RGB(250, 0, 99)},
    // k = 129: 100 + (100 x 129) >> 8 = 150; 255 + (-255 x 129) >> 8 = 255 - 129 (floor)
    {"transparency 128 gives the destination 129/256", RGB(200, 0, 200), RGB(100, 255, 100), 128, 255, 0,
     RGB(150, 126, 150)},
    // floor 160: a = 160, k = 161: 200 x 161 >> 8 = 125
    {"fade floor 160 shows 161/256 of the background", RGB(200, 200, 200), RGB(0, 0, 0), 0, 160, 0,
     RGB(125, 125, 125)},
    {"fade floor 0 leaves an opaque image as stored", RGB(200, 200, 200), RGB(0, 0, 0), 0, 0, 0, RGB(0, 0, 0)},
    // floor 0: a = 255 x 128 / 255 = 128, the stored transparency
    {"fade floor 0 leaves transparency 128 as stored", RGB(200, 0, 200), RGB(100, 255, 100), 128, 0, 0,
     RGB(150, 126, 150)},
    // floor 160, T = 100: a = 160 + 95 x 100 / 255 = 197, k = 198: 0 + 200 x 198 >> 8 = 154
    {"fade floor 160 raises a partial transparency", RGB(200, 200, 200), RGB(0, 0, 0), 100, 160, 0,
     RGB(154, 154, 154)},
    {"the checked tint on grey 200", RGB(0, 0, 0), RGB(200, 200, 200), 0, 255, kCheckedTint, RGB(217, 211, 102)},
    {"a tinted channel is clamped to 255", RGB(0, 0, 0), RGB(250, 250, 250), 0, 255, kCheckedTint,
     RGB(255, 255, 127)},
    {"a tint without divisor tints nothing", RGB(0, 0, 0), RGB(200, 200, 200), 0, 255, 0x00FFFFFF,
     RGB(200, 200, 200)},
};

TEST(CompositeImage, BlendsEachPixelByItsTransparencyFadeAndTint)
{
    for (const BlendCase& c : kBlendCases) {
        Canvas canvas(3, 3, RGB(1, 2, 3));
        canvas.setPixel(1, 1, c.destination);
        const std::vector<uint8_t> image = SolidImage(1, 1, c.source, c.transparency);
        CompositeImage(canvas.dc(), 1, 1, 1, 1, image.data(), c.fadeFloor, c.tint, 0);
        EXPECT_EQ(ColourText(canvas.pixel(1, 1)), ColourText(c.expected)) << c.what;
        EXPECT_EQ(canvas.pixel(0, 0), RGB(1, 2, 3)) << c.what << ": outside the rectangle";
        EXPECT_EQ(canvas.pixel(2, 2), RGB(1, 2, 3)) << c.what << ": outside the rectangle";
    }
}

TEST(CompositeImage, InsetModesChooseWhichPixelsAreTinted)
{
    struct {
        int mode;
        int firstColumn, lastColumn, firstRow, lastRow; // tinted, inclusive
    } const cases[] = {
        {0, 0, 75, 0, 20}, // everything
        {1, 2, 74, 2, 19}, // columns 0, 1, 75 and rows 0, 1, 20 spared
        {2, 1, 73, 1, 18}, // column 0, row 0 and the last 2 columns and rows spared
    };
    const std::vector<uint8_t> face = SolidImage(76, 21, RGB(200, 200, 200), 0);
    for (const auto& c : cases) {
        Canvas canvas(76, 21, RGB(0, 0, 0));
        CompositeImage(canvas.dc(), 0, 0, 76, 21, face.data(), kNoFade, kCheckedTint, c.mode);
        int wrong = 0;
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 76; ++x) {
                const bool tinted = c.firstColumn <= x && x <= c.lastColumn && c.firstRow <= y && y <= c.lastRow;
                wrong += canvas.pixel(x, y) != (tinted ? RGB(217, 211, 102) : RGB(200, 200, 200));
            }
        EXPECT_EQ(wrong, 0) << "inset mode " << c.mode;
    }
}

TEST(CompositeImage, ZeroOrNegativeSizesDrawNothing)
{
    Canvas canvas(4, 4, RGB(9, 9, 9));
    const std::vector<uint8_t> image = SolidImage(4, 4, RGB(200, 0, 0), 0);
    CompositeImage(canvas.dc(), 0, 0, 0, 4, image.data(), kNoFade, 0, 0);
    CompositeImage(canvas.dc(), 0, 0, 4, -1, image.data(), kNoFade, 0, 0);
    CompositeImageRect(canvas.dc(), 0, 0, -2, 4, 0, 0, image.data(), kNoFade, 0);
    EXPECT_EQ(canvas.pixel(0, 0), RGB(9, 9, 9));
}

TEST(CompositeImageRect, TakesTheBlockFromItsRowAndColumnOfTheLargerImage)
{
    // A 4 x 4 image whose pixel (c, r) has red 10c and green 10r, opaque.
    std::vector<uint8_t> image;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            image.insert(image.end(), {uint8_t(10 * c), uint8_t(10 * r), 0, 0});
    Canvas canvas(5, 5, RGB(1, 1, 1));
    CompositeImageRect(canvas.dc(), 2, 1, 2, 2, 1, 2, image.data(), kNoFade, 4);
    EXPECT_EQ(canvas.pixel(2, 1), RGB(10, 20, 0));
    EXPECT_EQ(canvas.pixel(3, 1), RGB(20, 20, 0));
    EXPECT_EQ(canvas.pixel(2, 2), RGB(10, 30, 0));
    EXPECT_EQ(canvas.pixel(3, 2), RGB(20, 30, 0));
    EXPECT_EQ(canvas.pixel(4, 1), RGB(1, 1, 1));
    EXPECT_EQ(canvas.pixel(2, 3), RGB(1, 1, 1));
}

TEST(TintRect, PullsOrPushesEveryChannelAroundTheColour)
{
    struct {
        int weight;
        int before, after;
    } const cases[] = {
        {336, 100, 115}, {336, 200, 246}, {336, 20, 10}, {336, 255, 255} /* clamped */,
        {336, 0, 0} /* clamped */, {256, 77, 77}, {128, 250, 150},
    };
    for (const auto& c : cases) {
        Canvas canvas(4, 3, RGB(c.before, c.before, c.before));
        TintRect(canvas.dc(), 1, 1, 3, 2, c.weight, RGB(50, 50, 50));
        EXPECT_EQ(canvas.pixel(1, 1), RGB(c.after, c.after, c.after)) << "weight " << c.weight << ", " << c.before;
        EXPECT_EQ(canvas.pixel(2, 1), RGB(c.after, c.after, c.after)) << "weight " << c.weight << ", " << c.before;
        EXPECT_EQ(canvas.pixel(3, 1), RGB(c.before, c.before, c.before)) << "the right edge is exclusive";
        EXPECT_EQ(canvas.pixel(1, 2), RGB(c.before, c.before, c.before)) << "the bottom edge is exclusive";
    }
}

TEST(TransparentBlit, KeepsTheDestinationUnderExactlyTheKeyColour)
{
    Canvas source(4, 1, RGB(0, 0, 0));
    const COLORREF pattern[] = {RGB(255, 0, 255), RGB(254, 0, 255), RGB(0, 0, 0), RGB(255, 255, 255)};
    for (int x = 0; x < 4; ++x)
        source.setPixel(x, 0, pattern[x]);
    // The source bitmap must not be selected anywhere while it is blitted from.
    HBITMAP bitmap = static_cast<HBITMAP>(GetCurrentObject(source.dc(), OBJ_BITMAP));
    SelectObject(source.dc(), CreateBitmap(1, 1, 1, 1, nullptr));
    Canvas target(6, 3, RGB(10, 20, 30));
    TransparentBlit(target.dc(), 1, 1, bitmap, 0, 0, 4, 1, kMagentaKey);
    EXPECT_EQ(ColourText(target.pixel(1, 1)), ColourText(RGB(10, 20, 30))) << "magenta is the key";
    EXPECT_EQ(ColourText(target.pixel(2, 1)), ColourText(RGB(254, 0, 255))) << "almost magenta is drawn";
    EXPECT_EQ(ColourText(target.pixel(3, 1)), ColourText(RGB(0, 0, 0)));
    EXPECT_EQ(ColourText(target.pixel(4, 1)), ColourText(RGB(255, 255, 255)));
    EXPECT_EQ(target.pixel(5, 1), RGB(10, 20, 30));
    EXPECT_EQ(target.pixel(1, 0), RGB(10, 20, 30));
    DeleteObject(SelectObject(source.dc(), bitmap));

    TransparentBlit(target.dc(), 0, 0, nullptr, 0, 0, 6, 3, kMagentaKey);
    EXPECT_EQ(target.pixel(0, 0), RGB(10, 20, 30)) << "a null bitmap draws nothing";
}

TEST(DrawLine, ExcludesTheEndPointAndFramesOutlineTheRectangle)
{
    Canvas canvas(8, 8, RGB(0, 0, 0));
    DrawLine(canvas.dc(), 1, 1, 5, 1, RGB(1, 2, 3));
    EXPECT_EQ(canvas.pixel(1, 1), RGB(1, 2, 3));
    EXPECT_EQ(canvas.pixel(4, 1), RGB(1, 2, 3));
    EXPECT_EQ(canvas.pixel(5, 1), RGB(0, 0, 0)) << "LineTo leaves out the end point";
    DrawLine(canvas.dc(), 6, 2, 6, 4, RGB(4, 5, 6));
    EXPECT_EQ(canvas.pixel(6, 3), RGB(4, 5, 6));
    EXPECT_EQ(canvas.pixel(6, 4), RGB(0, 0, 0));

    struct {
        void (*draw)(HDC, const RECT&);
        COLORREF topLeft, bottomRight;
    } const frames[] = {{DrawGreyFrame, RGB(144, 144, 144), RGB(144, 144, 144)},
                        {DrawRedFrame, RGB(225, 0, 0), RGB(200, 0, 0)}};
    for (const auto& f : frames) {
        Canvas frame(8, 8, RGB(0, 0, 0));
        f.draw(frame.dc(), RECT{1, 1, 6, 5});
        EXPECT_EQ(frame.pixel(2, 1), f.topLeft) << "top row";
        EXPECT_EQ(frame.pixel(1, 3), f.topLeft) << "left column";
        EXPECT_EQ(frame.pixel(3, 4), f.bottomRight) << "row bottom - 1";
        EXPECT_EQ(frame.pixel(5, 2), f.bottomRight) << "column right - 1";
        EXPECT_EQ(frame.pixel(3, 2), RGB(0, 0, 0)) << "inside";
        EXPECT_EQ(frame.pixel(6, 2), RGB(0, 0, 0)) << "right of the rectangle";
        EXPECT_EQ(frame.pixel(3, 5), RGB(0, 0, 0)) << "below the rectangle";
    }
}

// --- Bitmaps ------------------------------------------------------------------------

// A packed 8-bit DIB: header, `colours` table entries, pixel data.
std::vector<uint8_t> PackedDib(int width, int height, DWORD compression, DWORD clrUsed,
                               const std::vector<RGBQUAD>& table, const std::vector<uint8_t>& pixels)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 8;
    header.biCompression = compression;
    header.biSizeImage = DWORD(pixels.size());
    header.biClrUsed = clrUsed;
    std::vector<uint8_t> dib(sizeof header);
    std::memcpy(dib.data(), &header, sizeof header);
    for (const RGBQUAD& q : table)
        dib.insert(dib.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, 0});
    dib.insert(dib.end(), pixels.begin(), pixels.end());
    return dib;
}

COLORREF BitmapPixel(HBITMAP bitmap, int x, int y)
{
    Canvas canvas(8, 8, RGB(0, 0, 0));
    HDC source = CreateCompatibleDC(canvas.dc());
    HGDIOBJ previous = SelectObject(source, bitmap);
    BitBlt(canvas.dc(), 0, 0, 8, 8, source, 0, 0, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
    return canvas.pixel(x, y);
}

const std::vector<RGBQUAD> kThreeColours = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}}; // red, green, blue

TEST(BitmapFromPackedDib, ReadsAShortColourTableAndExpandsRle8)
{
    // Rows bottom first: bottom row red, green, blue, blue; top row green x 4.
    const std::vector<uint8_t> rle = {1, 0, 1, 1, 2, 2, 0, 0, 4, 1, 0, 1};
    const std::vector<uint8_t> dib = PackedDib(4, 2, BI_RLE8, 3, kThreeColours, rle);
    HPALETTE palette = nullptr;
    HBITMAP bitmap = BitmapFromPackedDib(dib.data(), dib.size(), &palette);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(ColourText(BitmapPixel(bitmap, 0, 1)), ColourText(RGB(255, 0, 0)));
    EXPECT_EQ(ColourText(BitmapPixel(bitmap, 1, 1)), ColourText(RGB(0, 255, 0)));
    EXPECT_EQ(ColourText(BitmapPixel(bitmap, 3, 1)), ColourText(RGB(0, 0, 255)));
    EXPECT_EQ(ColourText(BitmapPixel(bitmap, 2, 0)), ColourText(RGB(0, 255, 0)));
    ASSERT_NE(palette, nullptr);
    WORD entries = 0;
    GetObjectA(palette, sizeof entries, &entries);
    EXPECT_EQ(entries, 3) << "the palette has biClrUsed entries";
    DeleteObject(bitmap);
    DeleteObject(palette);

    // The same picture uncompressed: the pixels follow the 3-entry table.
    const std::vector<uint8_t> plain = PackedDib(4, 2, BI_RGB, 3, kThreeColours, {0, 1, 2, 2, 1, 1, 1, 1});
    bitmap = BitmapFromPackedDib(plain.data(), plain.size(), nullptr);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(ColourText(BitmapPixel(bitmap, 3, 1)), ColourText(RGB(0, 0, 255)));
    DeleteObject(bitmap);
}

TEST(BitmapFromPackedDib, RefusesImagesThatDoNotFitTheirData)
{
    const std::vector<uint8_t> pixels = {0, 1, 2, 2, 1, 1, 1, 1};
    struct {
        const char* what;
        std::vector<uint8_t> dib;
    } const cases[] = {
        {"RLE8 that runs past its rows", PackedDib(4, 2, BI_RLE8, 3, kThreeColours, {9, 1, 0, 1})},
        {"RLE8 stored top row first", PackedDib(4, -2, BI_RLE8, 3, kThreeColours, {4, 1, 0, 1})},
        {"more pixels promised than stored", PackedDib(4, 3, BI_RGB, 3, kThreeColours, pixels)},
        {"a colour table past the data", PackedDib(4, 2, BI_RGB, 0, kThreeColours, pixels)},
        {"more colours than 8 bits index", PackedDib(4, 2, BI_RGB, 300, kThreeColours, pixels)},
        {"a header shorter than its own size", std::vector<uint8_t>(20, 0)},
    };
    for (const auto& c : cases) {
        HPALETTE palette = reinterpret_cast<HPALETTE>(1);
        EXPECT_EQ(BitmapFromPackedDib(c.dib.data(), c.dib.size(), &palette), nullptr) << c.what;
        EXPECT_EQ(palette, nullptr) << c.what;
    }
}

// --- The module's resources --------------------------------------------------------

TEST(Resources, TheSkinAndEveryPixelImageHaveTheirSizes)
{
    HMODULE module = ToolkitModule();
    HPALETTE palette = reinterpret_cast<HPALETTE>(1);
    HBITMAP skin = LoadSkinBitmap(module, IDB_SKIN, &palette);
    ASSERT_NE(skin, nullptr);
    BITMAP info;
    GetObjectA(skin, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 570);
    EXPECT_EQ(info.bmHeight, 436);
    EXPECT_EQ(palette, nullptr) << "a 24-bit skin has no palette";
    DeleteObject(skin);
    EXPECT_EQ(LoadSkinBitmap(module, 9999, &palette), nullptr);
    EXPECT_EQ(LoadPixelImage(module, 9999), nullptr);

    const struct {
        int id, width, height;
    } images[] = {{129, 76, 21}, {133, 76, 21}, {131, 61, 21}, {132, 61, 21}, {134, 15, 21}, {130, 15, 21},
                  {136, 36, 21}, {137, 36, 21}, {144, 19, 14}, {156, 19, 14}, {135, 40, 21}, {166, 36, 21},
                  {141, 29, 16}, {138, 12, 155}, {139, 12, 155}, {140, 44, 16}, {143, 44, 16}};
    for (const auto& image : images) {
        EXPECT_NE(LoadPixelImage(module, image.id), nullptr) << "pixel image " << image.id;
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(image.id), MAKEINTRESOURCEA(10));
        EXPECT_EQ(found ? SizeofResource(module, found) : 0u, DWORD(image.width * image.height * 4))
            << "pixel image " << image.id;
    }
}

TEST(Resources, BitmapsCursorsAndIconsHaveTheirFormats)
{
    HMODULE module = ToolkitModule();
    const struct {
        int id, width, height, bits;
    } bitmaps[] = {{111, 12, 9, 24},   {112, 12, 9, 24},   {113, 12, 9, 24},   {142, 8, 14, 24},
                   {145, 200, 20, 24}, {146, 200, 20, 24}, {147, 200, 20, 24}, {148, 200, 20, 24},
                   {149, 200, 20, 24}, {150, 200, 20, 24}, {151, 16, 11, 24},  {152, 16, 11, 24},
                   {159, 8, 140, 24},  {160, 8, 139, 24},  {161, 210, 120, 24}, {162, 113, 10, 24},
                   {163, 20, 10, 24},  {164, 12, 10, 24},  {165, 16, 10, 24},  {7500, 7, 11, 4}};
    for (const auto& b : bitmaps) {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(b.id), MAKEINTRESOURCEA(2));
        ASSERT_NE(found, nullptr) << "bitmap " << b.id;
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
        EXPECT_EQ(header->biWidth, b.width) << "bitmap " << b.id;
        EXPECT_EQ(header->biHeight, b.height) << "bitmap " << b.id;
        EXPECT_EQ(header->biBitCount, b.bits) << "bitmap " << b.id;
    }
    // The menu mark's key colour is in its table, and its corner pixel uses it.
    HBITMAP mark = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_MENU_MARK));
    EXPECT_EQ(ColourText(BitmapPixel(mark, 0, 0)), ColourText(kMagentaKey));
    DeleteObject(mark);

    for (int id : {509, 510, 511}) {
        HCURSOR cursor = LoadCursorA(module, MAKEINTRESOURCEA(id));
        ASSERT_NE(cursor, nullptr) << "cursor " << id;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(cursor, &info)) << "cursor " << id;
        BITMAP mask;
        GetObjectA(info.hbmMask, sizeof mask, &mask);
        EXPECT_EQ(info.hbmColor, nullptr) << "cursor " << id << " is monochrome";
        EXPECT_EQ(mask.bmWidth, 32) << "cursor " << id;
        EXPECT_EQ(mask.bmHeight, 64) << "cursor " << id << ": AND and XOR planes of 32 rows";
        EXPECT_FALSE(info.fIcon) << "cursor " << id;
        DeleteObject(info.hbmMask);
    }
    for (int id : {506, 231, 235, 236})
        for (int size : {16, 32}) {
            HICON icon = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
            ASSERT_NE(icon, nullptr) << "icon " << id << " at " << size;
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(icon, &info));
            EXPECT_NE(info.hbmMask, nullptr) << "icon " << id << " has a mask";
            BITMAP colour;
            GetObjectA(info.hbmColor, sizeof colour, &colour);
            EXPECT_EQ(colour.bmWidth, size) << "icon " << id;
            DeleteObject(info.hbmMask);
            DeleteObject(info.hbmColor);
            DestroyIcon(icon);
        }
}

INT_PTR CALLBACK IgnoreDialogMessages(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(Resources, DialogsMenuAndTitleCarryTheirIds)
{
    HMODULE module = ToolkitModule();
    char title[32] = {};
    EXPECT_EQ(LoadStringA(module, IDS_PAGE_TITLE, title, sizeof title), 12);
    EXPECT_STREQ(title, "qz:multiband");

    const struct {
        int dialog;
        std::vector<int> controls;
    } dialogs[] = {
        {IDD_PAGE, {IDC_OVER_LAMP}},
        {IDD_PRESET_MANAGER, {1510, 1501, 1503, 1502, 1504, 1500, 1512, IDOK, 1514}},
        {IDD_PRESET_ADD, {1511, 1513, IDOK, IDCANCEL}},
        {IDD_PRESET_RENAME, {1511, IDOK, IDCANCEL}},
        {IDD_PRESET_NEW_BANK, {1513, IDOK, IDCANCEL}},
    };
    HWND owner = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (const auto& d : dialogs) {
        HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(d.dialog), owner, IgnoreDialogMessages, 0);
        ASSERT_NE(dialog, nullptr) << "dialog " << d.dialog;
        for (int id : d.controls)
            EXPECT_NE(GetDlgItem(dialog, id), nullptr) << "dialog " << d.dialog << ", control " << id;
        DestroyWindow(dialog);
    }
    DestroyWindow(owner);

    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(IDM_PRESET_MANAGER));
    ASSERT_NE(menu, nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    const int ids[] = {1501, 1503, 1502, 1504};
    ASSERT_EQ(GetMenuItemCount(popup), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(int(GetMenuItemID(popup, i)), ids[i]);
    DestroyMenu(menu);
}

TEST(ToolkitFont, IsArial14AwayFrom96DotsPerInchAndTheStockFontAt96)
{
    EXPECT_EQ(ToolkitFont::CreateFor(96), nullptr);
    HFONT font = ToolkitFont::CreateFor(120);
    ASSERT_NE(font, nullptr);
    LOGFONTA info;
    GetObjectA(font, sizeof info, &info);
    EXPECT_EQ(info.lfHeight, 14);
    EXPECT_EQ(info.lfWeight, FW_NORMAL);
    EXPECT_STREQ(info.lfFaceName, "Arial");
    DeleteObject(font);

    Canvas canvas(2, 2, 0);
    HGDIOBJ before = GetCurrentObject(canvas.dc(), OBJ_FONT);
    {
        ToolkitFont selected(canvas.dc());
        if (GetDeviceCaps(canvas.dc(), LOGPIXELSY) == 96) {
            EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_FONT), GetStockObject(DEFAULT_GUI_FONT));
        }
    }
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_FONT), before) << "the previous font comes back";
}

TEST(WindowPlacement, RectInParentAndCentringOnTheParent)
{
    HWND parent = CreateWindowA("STATIC", "", WS_POPUP, 100, 50, 400, 300, nullptr, nullptr, nullptr,
                                nullptr);
    HWND child = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 17, 44, 313, 155, parent, nullptr, nullptr,
                               nullptr);
    RECT r{};
    ASSERT_TRUE(WindowRectInParent(child, &r));
    EXPECT_EQ(r.left, 17);
    EXPECT_EQ(r.top, 44);
    EXPECT_EQ(r.right, 330);
    EXPECT_EQ(r.bottom, 199);

    HWND dialog = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 101, 60, parent, nullptr, nullptr,
                                nullptr);
    CenterOnParent(dialog);
    GetWindowRect(dialog, &r);
    EXPECT_EQ(r.left, 100 + (400 - 101) / 2);
    EXPECT_EQ(r.top, 50 + (300 - 60) / 2);
    EXPECT_EQ(r.right - r.left, 101) << "the size is kept";
    DestroyWindow(dialog);
    DestroyWindow(parent);
}

} // namespace
