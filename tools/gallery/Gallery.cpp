// qzgallery: shows the editor's controls on the real skin and writes pictures of them.
//
//   qzgallery.exe GALLERY.png [SKIN.png]
//
// Run under Wine on an X display (Xvfb). The window shows, on the left, the page's
// skin with the push buttons and static controls where the page puts them, and on
// the right every push-button variant in every state. SKIN.png is the bare skin,
// taken before any control exists. Both pictures are screen captures (xwd, then
// ImageMagick's convert), so they show what the X server shows; the paths are Unix
// paths without spaces, handed to the shell that runs those two programs.
#include "Controls.h"
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
constexpr int kWidth = kPageWidth + kMatrixWidth, kHeight = kPageHeight;
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

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Lets the X server show what was painted.
void Settle()
{
    for (int i = 0; i < 30; ++i) {
        Pump();
        Sleep(10);
    }
}

// Runs a shell command line (Unix) and waits for it; true when it exited with 0.
bool RunShell(const std::string& line)
{
    static int serial = 0;
    char marker[80];
    std::snprintf(marker, sizeof marker, "/tmp/qzgallery-%lu-%d", GetCurrentProcessId(), ++serial);
    std::string windowsMarker = std::string("Z:") + marker;
    for (char& c : windowsMarker)
        if (c == '/')
            c = '\\';
    // Wine splits the command line the Windows way: double quotes around the script,
    // none inside it (so the paths have no spaces).
    std::string command = "/bin/sh -c \"" + line + "; echo $? > " + marker + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 3000 && GetFileAttributesA(windowsMarker.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        Pump();
        Sleep(10);
    }
    Sleep(50);
    int code = -1;
    if (FILE* file = std::fopen(windowsMarker.c_str(), "r")) {
        if (std::fscanf(file, "%d", &code) != 1)
            code = -1;
        std::fclose(file);
    }
    DeleteFileA(windowsMarker.c_str());
    return code == 0;
}

// PNG files without time stamps, so that the same pictures give the same files.
const std::string kPngOptions = "-strip -define png:exclude-chunks=date,time ";

// A PNG of the screen rectangle (x, y, width, height).
bool Capture(int x, int y, int width, int height, const std::string& path)
{
    char crop[64];
    std::snprintf(crop, sizeof crop, "%dx%d+%d+%d", width, height, x, y);
    return RunShell("xwd -root -silent | convert xwd:- -crop " + std::string(crop) + " +repage " + kPngOptions + path);
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
    DeleteObject(plate);
    HGDIOBJ previousFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(20, 22, 25));
    const char title[] = "qz:PushButton, every variant in every state";
    TextOutA(dc, kMatrixLeft + 14, 14, title, int(sizeof title - 1));
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
    HWND peak = CreateControl(window, "qz:StaticText", 10022, 503, 32, 52, 11, 0, "-Inf -Inf");
    SendMessageA(peak, WM_SETFONT, WPARAM(pageFont), 0);
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
    if (!ok) {
        std::fprintf(stderr, "qzgallery: the screen capture failed (xwd and convert on an X display?)\n");
        return 1;
    }
    std::printf("qzgallery: wrote %s\n", galleryPath.c_str());
    return 0;
}
