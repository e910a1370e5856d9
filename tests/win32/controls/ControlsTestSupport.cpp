#include "ControlsTestSupport.h"

#include "Controls.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <cstdio>

Canvas::Canvas(int width, int height, COLORREF colour) : width_(width), height_(height)
{
    dc_ = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    previous_ = SelectObject(dc_, bitmap_);
    fill(colour);
}

Canvas::~Canvas()
{
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

COLORREF Canvas::pixel(int x, int y) const
{
    GdiFlush();
    const uint32_t p = bits_[y * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

void Canvas::setPixel(int x, int y, COLORREF c)
{
    GdiFlush();
    bits_[y * width_ + x] = (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

void Canvas::fill(COLORREF colour)
{
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            setPixel(x, y, colour);
}

std::string ColourText(COLORREF c)
{
    char text[32];
    std::snprintf(text, sizeof text, "(%d, %d, %d)", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

std::vector<uint8_t> SolidImage(int width, int height, COLORREF colour, int transparency)
{
    std::vector<uint8_t> image;
    for (int i = 0; i < width * height; ++i) {
        image.push_back(GetRValue(colour));
        image.push_back(GetGValue(colour));
        image.push_back(GetBValue(colour));
        image.push_back(uint8_t(transparency));
    }
    return image;
}

namespace {
const char kParentClass[] = "qzTestParent";
}

TestParent::TestParent()
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = qz::ToolkitModule();
    windowClass.lpszClassName = kParentClass;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&windowClass); // fails harmlessly when already registered
    qz::RegisterControlClasses();
    qz::RegisterMultiMeterClass();
    qz::RegisterXoverGraphClass();
    qz::RegisterCommonGridClass();
    skin_ = qz::LoadSkinBitmap(qz::ToolkitModule(), IDB_SKIN, nullptr);
    RECT frame{0, 0, 570, 436};
    AdjustWindowRect(&frame, WS_POPUP, FALSE);
    window_ = CreateWindowA(kParentClass, "controls under test", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            qz::ToolkitModule(), this);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetForegroundWindow(window_);
    Pump();
}

TestParent& Parent()
{
    static TestParent* parent = new TestParent;
    // The controls of the previous test go.
    while (HWND child = GetWindow(parent->window(), GW_CHILD))
        DestroyWindow(child);
    Pump();
    parent->reports.clear();
    return *parent;
}

TestParent& Page()
{
    static TestParent& parent = Parent();
    return parent;
}

std::vector<Report> ReportsOf(UINT message)
{
    Pump();
    std::vector<Report> found;
    for (const Report& r : Page().reports)
        if (r.message == message)
            found.push_back(r);
    return found;
}

HWND TestParent::Create(const char* className, int id, int x, int y, int width, int height, DWORD style,
                        const char* text)
{
    HWND control = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, width,
                                   height, window_, reinterpret_cast<HMENU>(INT_PTR(id)), qz::ToolkitModule(), skin_);
    Pump();
    return control;
}

std::vector<int> TestParent::Codes() const
{
    std::vector<int> codes;
    for (const Report& r : reports)
        if (r.message == WM_COMMAND)
            codes.push_back(HIWORD(r.wParam));
    return codes;
}

LRESULT CALLBACK TestParent::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* parent = reinterpret_cast<TestParent*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (parent && (message == WM_COMMAND || (message >= 2000 && message < 4000))) {
        parent->reports.push_back({message, wParam, lParam});
        return 0;
    }
    if (message == WM_ERASEBKGND && parent) { // the page paints its skin
        HDC skinDc = CreateCompatibleDC(reinterpret_cast<HDC>(wParam));
        HGDIOBJ previous = SelectObject(skinDc, parent->skin_);
        BitBlt(reinterpret_cast<HDC>(wParam), 0, 0, 570, 436, skinDc, 0, 0, SRCCOPY);
        SelectObject(skinDc, previous);
        DeleteDC(skinDc);
        return 1;
    }
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

COLORREF ScreenPixel(HWND window, int x, int y)
{
    HDC dc = GetDC(window);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

// Runs `xdotool ARGS` on the X server Wine uses and waits until it has finished,
// pumping this thread's messages meanwhile. Wine starts Unix programs itself; the
// shell writes xdotool's exit code to a file that the test reads through drive Z:.
bool Xdotool(const std::string& args)
{
    static int serial = 0;
    char marker[64];
    std::snprintf(marker, sizeof marker, "/tmp/qz-xdotool-%lu-%d", GetCurrentProcessId(), ++serial);
    std::string windowsMarker = std::string("Z:") + marker;
    for (char& c : windowsMarker)
        if (c == '/')
            c = '\\';
    char display[64] = ":0";
    GetEnvironmentVariableA("DISPLAY", display, sizeof display);
    // The shell and xdotool keep off this program's standard output and error: their
    // own output goes to a file of theirs.
    std::string command = std::string("/bin/sh -c \"exec > ") + marker + ".out 2>&1; DISPLAY=" + display +
                          " xdotool " + args + "; echo $? > " + marker + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    // Wine starts a Unix program without a Windows process: it answers no process
    // handle, and what it leaves in the thread handle is not a handle of ours (it
    // once closed this program's standard output).
    if (process.hProcess != nullptr) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    const bool finished =
        PumpUntil([&] { return GetFileAttributesA(windowsMarker.c_str()) != INVALID_FILE_ATTRIBUTES; });
    Sleep(50); // the shell may still be writing the code
    FILE* file = std::fopen(windowsMarker.c_str(), "r");
    int code = -1;
    if (file) {
        if (std::fscanf(file, "%d", &code) != 1)
            code = -1;
        std::fclose(file);
    }
    DeleteFileA(windowsMarker.c_str());
    DeleteFileA((windowsMarker + ".out").c_str());
    return finished && code == 0;
}

// Screen coordinates of a point of a window's client area, as "X Y".
std::string ScreenPoint(HWND window, int x, int y)
{
    POINT p{x, y};
    ClientToScreen(window, &p);
    return std::to_string(p.x) + " " + std::to_string(p.y);
}

// Lets the input of one xdotool call arrive: Wine, like Windows, reports only the
// latest pointer position, so a gesture that leaves and comes back is sent in steps.
void Settle()
{
    for (int i = 0; i < 15; ++i) {
        Pump();
        Sleep(10);
    }
}

bool XdotoolSteps(const std::vector<std::string>& steps)
{
    for (const std::string& step : steps) {
        if (!Xdotool(step))
            return false;
        Settle();
    }
    return true;
}
