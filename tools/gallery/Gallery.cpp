// qzgallery: shows the editor's controls on the real skin and writes pictures of them.
//
//   qzgallery.exe GALLERY.png [SKIN.png]
//
// Run under Wine on an X display (Xvfb). The window shows, on the left, the page's
// skin with every control where the page puts it in the band view, under it the
// all-bands grid, and on the right every push-button variant in every state. SKIN.png is the bare skin,
// taken before any control exists. Both pictures are screen captures (xwd, then
// ImageMagick's convert), so they show what the X server shows; the paths are Unix
// paths without spaces, handed to the shell that runs those two programs.
#include "Controls.h"
#include "ScreenCapture.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace qz;

namespace {

constexpr int kPageWidth = 570, kPageHeight = 436;
constexpr int kMatrixLeft = kPageWidth, kMatrixWidth = 560;
// Under the page: the grid of the all-bands view, which takes the place of the band
// view's fields and sliders on the page.
constexpr int kGridLeft = 14, kGridTop = kPageHeight + 26, kGridPanelHeight = 160;
constexpr int kWidth = kPageWidth + kMatrixWidth, kHeight = kPageHeight + kGridPanelHeight;
constexpr COLORREF kPlate = RGB(0x86, 0x8a, 0x8e);

// The states of the matrix's columns.
enum State { kNormal, kPressed, kChecked, kCheckedPressed, kDisabled, kFocused, kStateCount };
const char* const kStateNames[kStateCount] = {"normal", "pressed", "checked", "both", "disabled", "focus"};
constexpr int kColumnWidth = 80, kFirstColumn = kMatrixLeft + 78, kFirstRow = 64, kRowPitch = 40;

// One kind of push button as the page sets it up.
struct Variant {
    const char* label;
    int width, height;
    DWORD style;
    const char* text;
    int normalFace, pressedFace;
    int icon;
    uint32_t onTint;
    int focusAdjust[4];
    int insetMode;
};

const Variant kVariants[] = {
    {"76 x 21", 76, 21, 0, "Bypass", IDR_FACE76_NORMAL, IDR_FACE76_PRESSED, 0, kCheckedTint, {0, 0, 0, 0}, 0},
    {"arrow", 76, 21, PBS_ARROWMARK, "Presets", IDR_FACE76_NORMAL, IDR_FACE76_PRESSED, 0, kCheckedTint, {}, 0},
    {"menu mark", 76, 21, PBS_MENUMARK, "Normal", IDR_FACE76_NORMAL, IDR_FACE76_PRESSED, 0, kCheckedTint, {}, 0},
    {"61 x 21", 61, 21, 0, "Setup A", IDR_FACE61_NORMAL, IDR_FACE61_PRESSED, 0, kCheckedTint, {0, 0, 1, 0}, 0},
    {"15 x 21", 15, 21, PBS_ARROWMARK, "", IDR_FACE15_NORMAL, IDR_FACE15_PRESSED, 0, kCheckedTint, {-2, 0, 0, 0}, 0},
    {"36 x 21", 36, 21, 0, "TCR", IDR_FACE36_NORMAL, IDR_FACE36_PRESSED, 0, kCheckedTint, {0, 0, 0, 0}, 0},
    {"solo", 19, 14, 0, "", IDR_FACE19_NORMAL, IDR_FACE19_PRESSED, IDB_ICON_SOLO, kCheckedTint, {-2, -2, 1, 1}, 1},
    {"bypass", 19, 14, 0, "", IDR_FACE19_NORMAL, IDR_FACE19_PRESSED, IDB_ICON_BYPASS, 0xE080E080, {-2, -2, 1, 1}, 1},
};
constexpr int kVariantCount = int(sizeof kVariants / sizeof kVariants[0]);

HBITMAP g_background = nullptr; // the skin, and the matrix's plate beside it

LRESULT CALLBACK GalleryProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        return 1;
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ previous = SelectObject(source, g_background);
        BitBlt(dc, 0, 0, kWidth, kHeight, source, 0, 0, SRCCOPY);
        SelectObject(source, previous);
        DeleteDC(source);
        EndPaint(window, &ps);
        return 0;
    }
    if (message == WM_COMMAND || (message >= 2000 && message < 4000))
        return 0; // the controls' reports: nobody acts on them here
    return DefWindowProcA(window, message, wParam, lParam);
}

// The skin on the left, the matrix's plate with its headings on the right.
HBITMAP MakeBackground(HBITMAP skin)
{
    HDC screen = GetDC(nullptr);
    HBITMAP background = CreateCompatibleBitmap(screen, kWidth, kHeight);
    HDC dc = CreateCompatibleDC(screen);
    HDC skinDc = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(dc, background);
    HGDIOBJ previousSkin = SelectObject(skinDc, skin);
    BitBlt(dc, 0, 0, kPageWidth, kPageHeight, skinDc, 0, 0, SRCCOPY);
    SelectObject(skinDc, previousSkin);
    DeleteDC(skinDc);

    HBRUSH plate = CreateSolidBrush(kPlate);
    RECT matrix{kMatrixLeft, 0, kWidth, kHeight};
    FillRect(dc, &matrix, plate);
    RECT under{0, kPageHeight, kPageWidth, kHeight};
    FillRect(dc, &under, plate);
    DeleteObject(plate);
    HGDIOBJ previousFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(20, 22, 25));
    const char title[] = "qz:PushButton, every variant in every state";
    TextOutA(dc, kMatrixLeft + 14, 14, title, int(sizeof title - 1));
    const char gridTitle[] = "qz:CommonGrid, all-bands view";
    TextOutA(dc, kGridLeft, kPageHeight + 8, gridTitle, int(sizeof gridTitle - 1));
    for (int s = 0; s < kStateCount; ++s) {
        RECT r{kFirstColumn + s * kColumnWidth, 38, kFirstColumn + s * kColumnWidth + kColumnWidth - 4, 56};
        DrawTextA(dc, kStateNames[s], -1, &r, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
    SetTextColor(dc, RGB(48, 52, 56));
    for (int v = 0; v < kVariantCount; ++v) {
        RECT r{kMatrixLeft + 14, kFirstRow + v * kRowPitch + 3, kFirstColumn - 4, kFirstRow + v * kRowPitch + 19};
        DrawTextA(dc, kVariants[v].label, -1, &r, DT_LEFT | DT_SINGLELINE);
    }
    SelectObject(dc, previousFont);
    SelectObject(dc, previous);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return background;
}

HWND CreateControl(HWND parent, const char* className, int id, int x, int y, int width, int height, DWORD style,
                   const char* text)
{
    return CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, width, height,
                           parent, reinterpret_cast<HMENU>(INT_PTR(id)), ToolkitModule(), g_background);
}

HWND CreateButton(HWND parent, int id, int x, int y, const Variant& v)
{
    HMODULE module = ToolkitModule();
    HWND button = CreateControl(parent, "qz:PushButton", id, x, y, v.width, v.height, v.style, v.text);
    SendMessageA(button, PB_SETFACES, WPARAM(LoadPixelImage(module, v.normalFace)),
                 LPARAM(LoadPixelImage(module, v.pressedFace)));
    if (v.icon)
        SendMessageA(button, PB_SETICON, WPARAM(v.icon), 0);
    SendMessageA(button, PB_SETONTINT, v.onTint, 0);
    SendMessageA(button, PB_SETFOCUSRECT, WPARAM(v.focusAdjust), v.insetMode);
    return button;
}

// The settings the pictures show, per band.
const int kThresholds[5] = {-240, -200, -260, -180, -300};
const int kRatios[5] = {30, 40, 25, 60, 20};
const int kGains[5] = {20, 30, 0, -15, 40};
const int kKnees[5] = {0, 6, 3, 0, 10};
const char* const kThresholdTexts[5] = {"-24.0", "-20.0", "-26.0", "-18.0", "-30.0"};
const char* const kFrequencyTexts[4] = {"80", "324", "1262", "5024"};
const int kFrequencies[4] = {80, 324, 1262, 5024};

HWND CreateField(HWND parent, int id, int x, int y, int width, DWORD style, const char* text, int background)
{
    HWND field = CreateControl(parent, "qz:Edit", id, x, y, width, 21, style, text);
    SendMessageA(field, WM_SETFONT, WPARAM(GetStockObject(DEFAULT_GUI_FONT)), 0);
    SendMessageA(field, ED_SETBACKGROUND, WPARAM(LoadPixelImage(ToolkitModule(), background)), 0);
    return field;
}

HWND CreateSlider(HWND parent, int id, int y, int min, int max, int value, bool timeScale)
{
    HWND slider = CreateControl(parent, "qz:Slider", id, 401, y, 142, 23, 0, "");
    if (timeScale) {
        SendMessageA(slider, SL_SETTICKSPACING, 500, 0);
        SendMessageA(slider, SL_SETPAGESTEP, 1000, 0);
    }
    SendMessageA(slider, SL_SETRANGE, WPARAM(min), LPARAM(max));
    SendMessageA(slider, SL_SETTHUMB, WPARAM(LoadPixelImage(ToolkitModule(), IDR_SLIDER_THUMB)), 0);
    SendMessageA(slider, SL_SETPOS, WPARAM(value), 0);
    return slider;
}

// The band view's meters, graphs, fields and sliders, band 2 selected and soloed,
// with signal on every band.
void CreateBandView(HWND window)
{
    HMODULE module = ToolkitModule();
    HWND bands = CreateControl(window, "qz:MultiMeter", 20021, 17, 44, 313, 155, 0, "");
    SendMessageA(bands, MM_SETMARKER, WPARAM(LoadPixelImage(module, IDR_MARKER)), 0);
    SendMessageA(bands, MM_SETMARKERSEL, WPARAM(LoadPixelImage(module, IDR_MARKER_SELECTED)), 0);
    SendMessageA(bands, MM_SETLEVELBITMAP, IDB_LEVEL_BAR, 0);
    SendMessageA(bands, MM_SETGAINBITMAP, IDB_GAIN_BAR, 0);
    for (int b = 0; b < 5; ++b)
        SendMessageA(bands, MM_SETTHRESHOLD, WPARAM(&kThresholds[b]), b);
    SendMessageA(bands, MM_SELECTBAND, 1, 0);
    const int levels[kMultiMeterValues] = {-120, -135, -40, -90, -105, -65, -150, -140, -20,
                                           -210, -230, 0, -330, -310, -8};
    SendMessageA(bands, MM_SETVALUES, WPARAM(levels), kMultiMeterValues);

    HWND xover = CreateControl(window, "qz:XoverGraph", 20020, 17, 253, 313, 102, 0, "");
    SendMessageA(xover, XG_SETHANDLE, IDB_XOVER_HANDLE, 0);
    for (int k = 0; k < 4; ++k)
        SendMessageA(xover, XG_SETFREQ, WPARAM(kFrequencies[k]), k);
    for (int b = 0; b < 5; ++b)
        SendMessageA(xover, XG_SETBANDGAIN, WPARAM(kGains[b]), b);
    SendMessageA(xover, XG_SETSELECTED, 1, 0);
    SendMessageA(xover, XG_SETSOLO, 1, 1);

    for (int b = 0; b < 5; ++b) {
        HWND threshold = CreateField(window, 10100 + b, 27 + 60 * b, 211, 40, 0x87, kThresholdTexts[b], IDR_FIELD40);
        SendMessageA(threshold, ED_SETFLAGS, 1, 0);
    }
    for (int k = 0; k < 4; ++k)
        CreateField(window, 10120 + k, 45 + 70 * k, 367, 40, 0x87, kFrequencyTexts[k], IDR_FIELD40);

    HWND curves = CreateControl(window, "qz:CompGraph", 10006, 333, 44, 155, 155, 1, "");
    SendMessageA(curves, CG_SETCOUNT, 5, 0);
    CurveParams params[5];
    for (int b = 0; b < 5; ++b)
        params[b] = CurveParams{kThresholds[b], kRatios[b], kGains[b], kKnees[b], -600, 100, b == 3};
    SendMessageA(curves, CG_SETCURVES, WPARAM(params), 1);
    const int level = -40;
    SendMessageA(curves, CG_SETLEVEL, WPARAM(&level), 0);

    CreateField(window, 10012, 341, 250, 40, 0x87, "4.0", IDR_FIELD40);
    CreateField(window, 10013, 386, 250, 40, 0x87, "6", IDR_FIELD40);
    CreateField(window, 10008, 341, 286, 40, 0x87, "3.0", IDR_FIELD40);
    CreateSlider(window, 10009, 289, -180, 180, 30, false);
    CreateField(window, 10014, 341, 323, 40, 0x86, "15.5", IDR_FIELD40);
    CreateSlider(window, 10015, 326, 0, 4000, 155, true);
    CreateField(window, 10016, 341, 359, 40, 0x86, "200", IDR_FIELD40);
    CreateSlider(window, 10017, 362, 1, 4000, 200, true);

    // The output meters, a peak held above the falling level.
    for (int channel = 0; channel < 2; ++channel) {
        HWND meter = CreateControl(window, "qz:Meter", 10025 + channel, 508 + 30 * channel, 44, 12, 155, 0xD, "");
        SendMessageA(meter, MT_SETIMAGES, WPARAM(LoadPixelImage(module, IDR_METER_UNLIT)),
                     LPARAM(LoadPixelImage(module, IDR_METER_LIT)));
        SendMessageA(meter, MT_SETRANGE, WPARAM(-600), 0);
        SendMessageA(meter, MT_SETLEVELS, WPARAM(-105 - 20 * channel), 0);
        for (int update = 0; update < 5; ++update)
            SendMessageA(meter, MT_SETLEVELS, WPARAM(-160), 0);
    }
}

// The all-bands grid beside the matrix, reading a parameter block as the page's.
void CreateGrid(HWND window)
{
    static int32_t block[55];
    for (int b = 0; b < 5; ++b) {
        block[25 + b] = kRatios[b];
        block[30 + b] = kKnees[b];
        block[35 + b] = kGains[b];
        block[40 + b] = 50 + 105 * b;
        block[45 + b] = 100 + 50 * b;
        block[50 + b] = b == 3;
    }
    HWND grid = CreateControl(window, "qz:CommonGrid", 10027, kGridLeft, kGridTop, 210, 120, 0, "");
    SendMessageA(grid, GR_SETBITMAP, IDB_GRID, 0);
    SendMessageA(grid, GR_SETDATA, WPARAM(block), 0);
}

// The page's buttons and static controls where the page puts them, in the band view
// with band 2 soloed and band 4 bypassed.
void CreatePage(HWND window, HFONT pageFont)
{
    const Variant& wide = kVariants[0];
    const struct {
        int id, x;
        const Variant& variant;
        const char* text;
    } row[] = {{20010, 16, wide, "Bypass"}, {20011, 95, wide, "Undo"},   {20012, 174, kVariants[3], "Setup A"},
               {20013, 235, kVariants[4], ""}, {20014, 253, wide, "Reset"}, {20015, 332, kVariants[1], "Presets"},
               {20016, 411, wide, "Help"}};
    for (const auto& b : row) {
        HWND button = CreateButton(window, b.id, b.x, 16, b.variant);
        SetWindowTextA(button, b.text);
    }
    for (int band = 0; band < 5; ++band) {
        HWND solo = CreateButton(window, 10160 + band, 27 + 60 * band, 234, kVariants[6]);
        HWND bypass = CreateButton(window, 10180 + band, 48 + 60 * band, 234, kVariants[7]);
        SendMessageA(solo, PB_SETCHECK, band == 1, 0);
        // Bypassed: the green tint; silenced by another band's solo: the red one.
        SendMessageA(bypass, PB_SETONTINT, band == 3 ? 0xE080E080 : 0x873232FF, 0);
        SendMessageA(bypass, PB_SETCHECK, band != 1, 0);
    }
    CreateButton(window, 10018, 431, 250, kVariants[2]);
    HWND strip = CreateControl(window, "qz:StaticImage", 10140, 333, 217, 200, 20, 0, "");
    SendMessageA(strip, SI_SETIMAGE, IDB_STRIP_BAND2, 0);
    HWND caption = CreateControl(window, "qz:StaticNoHitImage", 10028, 342, 239, 113, 10, 0, "");
    SendMessageA(caption, SI_SETIMAGE, IDB_CAPTION_BAND, 0);
    HWND lamp = CreateControl(window, "qz:StaticNoHitImage", 1020, 522, 22, 12, 9, 0, "");
    SendMessageA(lamp, SI_SETIMAGE, IDB_LAMP_LATCHED, 0);
    // The peaks the output meters hold, both with two digits: as wide as the text gets.
    HWND peak = CreateControl(window, "qz:StaticText", 10022, 503, 32, 53, 11, 0, "-10.5 -12.5");
    SendMessageA(peak, WM_SETFONT, WPARAM(pageFont), 0);
    CreateBandView(window);
}

// Every variant in every state; answers the buttons of the focus column.
std::vector<HWND> CreateMatrix(HWND window)
{
    std::vector<HWND> focusColumn;
    int id = 30000;
    for (int v = 0; v < kVariantCount; ++v)
        for (int s = 0; s < kStateCount; ++s) {
            HWND button = CreateButton(window, id++, kFirstColumn + s * kColumnWidth, kFirstRow + v * kRowPitch,
                                       kVariants[v]);
            if (s == kChecked || s == kCheckedPressed)
                SendMessageA(button, PB_SETCHECK, 1, 0);
            if (s == kPressed || s == kCheckedPressed)
                SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2)); // held: never released
            if (s == kDisabled)
                EnableWindow(button, FALSE);
            if (s == kFocused)
                focusColumn.push_back(button);
        }
    ReleaseCapture();
    return focusColumn;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: qzgallery GALLERY.png [SKIN.png]   (Unix paths; under Wine on X)\n");
        return 2;
    }
    const std::string galleryPath = argv[1];

    RegisterControlClasses();
    RegisterMultiMeterClass();
    RegisterXoverGraphClass();
    RegisterCommonGridClass();
    HBITMAP skin = LoadSkinBitmap(ToolkitModule(), IDB_SKIN, nullptr);
    if (!skin) {
        std::fprintf(stderr, "qzgallery: the skin bitmap is missing\n");
        return 1;
    }
    g_background = MakeBackground(skin);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = GalleryProc;
    windowClass.hInstance = ToolkitModule();
    windowClass.lpszClassName = "qzGallery";
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("qzGallery", "qz:Multiband controls", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                kWidth, kHeight, nullptr, nullptr, ToolkitModule(), nullptr);
    SetForegroundWindow(window);
    UpdateWindow(window);
    Settle();
    RECT place;
    GetWindowRect(window, &place);

    bool ok = true;
    if (argc == 3)
        ok = Capture(place.left, place.top, kPageWidth, kPageHeight, argv[2]);

    HFONT pageFont = CreateFontA(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    CreatePage(window, pageFont);
    CreateGrid(window);
    const std::vector<HWND> focusColumn = CreateMatrix(window);
    SetFocus(window);
    Settle();

    // One button has the focus at a time: each focused cell is captured on its own
    // and laid over the whole picture afterwards.
    std::string overlays;
    for (size_t i = 0; ok && i < focusColumn.size(); ++i) {
        SetFocus(focusColumn[i]);
        Settle();
        RECT r;
        GetWindowRect(focusColumn[i], &r);
        const std::string cell = galleryPath + ".focus" + std::to_string(i) + ".png";
        ok = Capture(r.left, r.top, r.right - r.left, r.bottom - r.top, cell);
        overlays += " " + cell + " -geometry +" + std::to_string(r.left - place.left) + "+" +
                    std::to_string(r.top - place.top) + " -composite";
    }
    SetFocus(window);
    Settle();
    ok = ok && Capture(place.left, place.top, kWidth, kHeight, galleryPath);
    ok = ok && RunShell("convert " + galleryPath + overlays + " " + kPngOptions + galleryPath + " && rm -f " +
                        galleryPath + ".focus*.png");

    DestroyWindow(window);
    DeleteObject(pageFont);
    DeleteObject(g_background);
    DeleteObject(skin);
    UnregisterControlClasses();
    UnregisterMultiMeterClass();
    UnregisterXoverGraphClass();
    UnregisterCommonGridClass();
    if (!ok) {
        std::fprintf(stderr, "qzgallery: the screen capture failed (xwd and convert on an X display?)\n");
        return 1;
    }
    std::printf("qzgallery: wrote %s\n", galleryPath.c_str());
    return 0;
}
