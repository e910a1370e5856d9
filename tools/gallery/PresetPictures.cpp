// qzpresetpictures: the editor's preset menu and the preset manager dialog, with a
// few presets in memory, captured to PNG for the README.
//
//   qzpresetpictures.exe MENU.png MANAGER.png
//
// Run under Wine on an X display (Xvfb) with ImageMagick. The menu shows the current
// preset's radio mark and update item; the manager shows every bank open and the
// current preset selected. Both are drawn by the windows themselves (WM_PRINT) into a
// bitmap: under Xvfb without a window manager the X server shows Wine's dialogs and
// menus without their contents. The paths are Unix paths without spaces.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "PresetManager.h"
#include "ScreenCapture.h"

namespace {

struct Preset {
    const char* name;
    const char* bank;
};
const Preset kPresets[] = {
    {"Kick Punch", "Drums"},   {"Snare Snap", "Drums"},   {"Overheads", "Drums"}, {"Warm Pad", "Keys"},
    {"Piano Glue", "Keys"},    {"Lead Vocal", "Vocals"},  {"Backing Vocals", "Vocals"},
    {"Master Bus", ""},        {"Broadcast Loud", ""},
};
const char kCurrentPreset[] = "Master Bus";

// The visible windows of this process of a class ("#32768": menus), topmost first.
std::vector<HWND> VisibleWindows(const char* className)
{
    std::vector<HWND> found;
    for (HWND window = GetTopWindow(nullptr); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char name[64] = "";
        GetClassNameA(window, name, sizeof name);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::string(name) == className)
            found.push_back(window);
    }
    return found;
}

// Draws `window`'s client area and then each of its children into `dc` at (0, 0).
// Each child paints into a bitmap of its own first: controls clip to their size in
// device coordinates.
void PrintWithChildren(HWND window, HDC dc)
{
    SendMessageA(window, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child))
            continue;
        RECT frame;
        GetWindowRect(child, &frame);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&frame), 2);
        const int width = frame.right - frame.left, height = frame.bottom - frame.top;
        HDC childDc = CreateCompatibleDC(dc);
        HBITMAP childPicture = CreateCompatibleBitmap(dc, width, height);
        HGDIOBJ previous = SelectObject(childDc, childPicture);
        SendMessageA(child, WM_PRINT, reinterpret_cast<WPARAM>(childDc),
                     PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
        BitBlt(dc, frame.left, frame.top, width, height, childDc, 0, 0, SRCCOPY);
        SelectObject(childDc, previous);
        DeleteObject(childPicture);
        DeleteDC(childDc);
    }
}

// A PNG of a window's client area as the window and its children paint themselves.
bool CaptureWindow(HWND window, const std::string& path)
{
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right, height = client.bottom;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = -height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP picture = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, picture);
    PrintWithChildren(window, dc);
    GdiFlush();
    SelectObject(dc, previous);
    DeleteDC(dc);

    // A BMP file for ImageMagick, beside the PNG.
    const std::string bmpPath = path + ".bmp";
    std::string windowsPath = "Z:" + bmpPath;
    for (char& c : windowsPath)
        if (c == '/')
            c = '\\';
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + width * height * 4;
    bool written = false;
    if (FILE* out = std::fopen(windowsPath.c_str(), "wb")) {
        written = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&header, sizeof header, 1, out) == 1 &&
                  std::fwrite(bits, 4, size_t(width) * height, out) == size_t(width) * height;
        std::fclose(out);
    }
    DeleteObject(picture);
    return written && RunShell("convert " + bmpPath + " -alpha off " + kPngOptions + path + " && rm -f " + bmpPath);
}

// Waits (up to about five seconds) until `count` windows of the class are shown.
std::vector<HWND> WaitForWindows(const char* className, size_t count)
{
    std::vector<HWND> windows;
    for (int i = 0; i < 500 && (windows = VisibleWindows(className)).size() < count; ++i)
        Sleep(10);
    return windows;
}

// The page's menu, the current preset at the root with its radio mark.
bool PictureOfTheMenu(qz::PresetManager& presets, HWND owner, const std::string& path)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, qz::PresetManager::kAddPresetCommand, "Add Preset...");
    AppendMenuA(menu, MF_STRING, qz::PresetManager::kManagerCommand, "Preset Manager...");
    presets.BuildPresetMenu(menu);
    bool taken = false;
    std::thread camera([&] {
        const std::vector<HWND> shown = WaitForWindows("#32768", 1);
        if (shown.empty())
            return;
        taken = CaptureWindow(shown[0], path);
        PostMessageA(shown[0], WM_KEYDOWN, VK_ESCAPE, 0);
    });
    TrackPopupMenu(menu, TPM_RETURNCMD, 60, 60, 0, owner, nullptr);
    camera.join();
    DestroyMenu(menu);
    return taken;
}

// The manager dialog with every bank open.
bool PictureOfTheManager(qz::PresetManager& presets, const std::string& path)
{
    bool taken = false;
    std::thread camera([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 500 && !IsWindowVisible(dialog = FindWindowA("#32770", presets.Title().c_str())); ++i)
            Sleep(10);
        const HWND tree = GetDlgItem(dialog, 1510);
        for (HTREEITEM bank = TreeView_GetChild(tree, TreeView_GetRoot(tree)); bank != nullptr;
             bank = TreeView_GetNextSibling(tree, bank))
            TreeView_Expand(tree, bank, TVE_EXPAND);
        taken = IsWindowVisible(dialog) && CaptureWindow(dialog, path);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    presets.RunManagerDialog();
    camera.join();
    return taken;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: qzpresetpictures MENU.png MANAGER.png   (Unix paths; under Wine on X)\n");
        return 2;
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = "qz:PresetPictures";
    RegisterClassA(&windowClass);
    const HWND owner = CreateWindowExA(0, windowClass.lpszClassName, "qz:Multiband", WS_POPUP | WS_VISIBLE, 0, 0,
                                       640, 480, nullptr, nullptr, windowClass.hInstance, nullptr);
    Settle();

    qz::PresetManager presets(windowClass.hInstance, owner, "qz:Multiband");
    for (const Preset& preset : kPresets)
        presets.AddPreset(preset.name, preset.bank, "1,0,0,100,0,0,60,121,180,240, 0");
    presets.SortPresets();
    for (const qz::PresetRecord& record : presets.Presets())
        if (record.name == kCurrentPreset)
            presets.LookupPresetData(record.id, nullptr);

    const bool ok = PictureOfTheMenu(presets, owner, argv[1]) && PictureOfTheManager(presets, argv[2]);
    DestroyWindow(owner);
    if (!ok)
        std::fprintf(stderr, "qzpresetpictures: a picture could not be taken\n");
    return ok ? 0 : 1;
}
