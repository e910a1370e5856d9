#include "ToolkitBase.h"

#include "Controls.h"
#include "SkinDrawing.h"

#include <algorithm>
#include <climits>

namespace qz {

namespace {

// The drag flags: the page's thread is the only one that reads or writes them.
int g_controlDragging = 0;
int g_graphDragging = 0;

struct ControlClass {
    const char* name;
    WNDPROC procedure;
};

// The classes RegisterControlClasses adds, in registration order.
const ControlClass kToolkitClasses[] = {
    {"qz:PushButton", PushButtonProc},
    {"qz:Slider", SliderProc},
    {"qz:Edit", FieldProc},
    {"qz:StaticText", StaticTextProc},
    {"qz:StaticImage", StaticImageProc},
    {"qz:StaticNoHitImage", StaticNoHitImageProc},
    {"qz:Meter", MeterProc},
    {"qz:CompGraph", CurveGraphProc},
};

// The classes with a registration of their own.
const ControlClass kMultiMeterClass = {"qz:MultiMeter", MultiMeterProc};
const ControlClass kXoverGraphClass = {"qz:XoverGraph", XoverGraphProc};
const ControlClass kCommonGridClass = {"qz:CommonGrid", CommonGridProc};

} // namespace

HINSTANCE ToolkitModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ToolkitModule), &module);
    return module;
}

void RegisterControlClass(const char* name, WNDPROC procedure)
{
    WNDCLASSA windowClass{};
    windowClass.style = CS_DBLCLKS | CS_PARENTDC;
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = 4;
    windowClass.hInstance = ToolkitModule();
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = name;
    RegisterClassA(&windowClass);
}

void UnregisterControlClass(const char* name) { UnregisterClassA(name, ToolkitModule()); }

void RegisterControlClasses()
{
    for (const ControlClass& c : kToolkitClasses)
        RegisterControlClass(c.name, c.procedure);
}

void UnregisterControlClasses()
{
    for (const ControlClass& c : kToolkitClasses)
        UnregisterControlClass(c.name);
}

void RegisterMultiMeterClass() { RegisterControlClass(kMultiMeterClass.name, kMultiMeterClass.procedure); }
void UnregisterMultiMeterClass() { UnregisterControlClass(kMultiMeterClass.name); }
void RegisterXoverGraphClass() { RegisterControlClass(kXoverGraphClass.name, kXoverGraphClass.procedure); }
void UnregisterXoverGraphClass() { UnregisterControlClass(kXoverGraphClass.name); }
void RegisterCommonGridClass() { RegisterControlClass(kCommonGridClass.name, kCommonGridClass.procedure); }
void UnregisterCommonGridClass() { UnregisterControlClass(kCommonGridClass.name); }

bool IsControlDragging() { return g_controlDragging != 0; }
bool IsGraphDragging() { return g_graphDragging != 0; }
void SetControlDragging(bool dragging) { g_controlDragging = dragging ? 1 : 0; }
void SetGraphDragging(bool dragging) { g_graphDragging = dragging ? 1 : 0; }

void ClearDragFlags()
{
    g_controlDragging = 0;
    g_graphDragging = 0;
}

int WheelNotches(WPARAM wParam)
{
    const int delta = short(HIWORD(wParam));
    const int notches = delta / WHEEL_DELTA;
    if (notches != 0)
        return notches;
    return delta > 0 ? 1 : delta < 0 ? -1 : 0;
}

int WheelSpeed(int& lastTime, int now)
{
    const int elapsed = std::max(1, now - lastTime);
    lastTime = now;
    return std::max(1, 500 / elapsed);
}

short SaturateToShort(long long step)
{
    return short(std::clamp<long long>(step, SHRT_MIN, SHRT_MAX));
}

void BeginRelativeDrag(HWND window, RelativeDrag& drag, short coordinate)
{
    drag.dragging = 1;
    drag.moved = 0;
    drag.recentring = 0;
    drag.last = coordinate;
    GetCursorPos(&drag.pressPoint);
    SetCapture(window);
    SetControlDragging(true);
    drag.savedCursor = SetCursor(nullptr);
}

bool RelativeDragStep(RelativeDrag& drag, short coordinate, int* delta)
{
    if (!drag.dragging)
        return false;
    POINT pointer;
    RECT desktop;
    GetCursorPos(&pointer);
    GetWindowRect(GetDesktopWindow(), &desktop);
    const bool awayFromEdge = desktop.left < pointer.x && pointer.x < desktop.right - 1 && desktop.top < pointer.y &&
                              pointer.y < desktop.bottom - 1;
    if (!awayFromEdge) {
        drag.recentring = 1;
        SetCursorPos((desktop.left + desktop.right) / 2, (desktop.top + desktop.bottom) / 2);
        return false;
    }
    *delta = coordinate - drag.last;
    drag.last = coordinate;
    drag.moved = 1;
    if (drag.recentring) {
        drag.recentring = 0;
        return false;
    }
    return true;
}

bool StopRelativeDrag(HWND window, RelativeDrag& drag)
{
    if (!drag.dragging)
        return false;
    // Cleared first: releasing the capture sends WM_CAPTURECHANGED, which ends drags.
    drag.dragging = 0;
    if (GetCapture() == window)
        ReleaseCapture();
    SetControlDragging(false);
    return true;
}

void RestorePointer(const RelativeDrag& drag, const POINT& returnTo)
{
    if (drag.moved)
        SetCursorPos(returnTo.x, returnTo.y);
    SetCursor(drag.savedCursor);
}

void ValidateUpdateRegion(HWND window)
{
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    EndPaint(window, &ps);
}

OffscreenPaint::OffscreenPaint(HWND window, HBITMAP skin) : window_(window)
{
    RECT client;
    GetClientRect(window, &client);
    width_ = client.right;
    height_ = client.bottom;
    if (width_ < 1 || height_ < 1)
        return;
    windowDc_ = GetDC(window);
    if (!windowDc_)
        return;
    memory_ = CreateCompatibleDC(windowDc_);
    image_ = memory_ ? CreateCompatibleBitmap(windowDc_, width_, height_) : nullptr;
    if (!image_)
        return;
    previous_ = SelectObject(memory_, image_);

    RECT place;
    HDC skinDc = skin ? CreateCompatibleDC(windowDc_) : nullptr;
    if (skinDc && WindowRectInParent(window, &place)) {
        HGDIOBJ previousSkin = SelectObject(skinDc, skin);
        BitBlt(memory_, 0, 0, width_, height_, skinDc, place.left, place.top, SRCCOPY);
        SelectObject(skinDc, previousSkin);
    } else {
        // No skin: the page's grey, so that nothing undefined shows.
        HGDIOBJ previousBrush = SelectObject(memory_, GetStockObject(DC_BRUSH));
        SetDCBrushColor(memory_, RGB(152, 152, 152));
        PatBlt(memory_, 0, 0, width_, height_, PATCOPY);
        SelectObject(memory_, previousBrush);
    }
    if (skinDc)
        DeleteDC(skinDc);
}

OffscreenPaint::~OffscreenPaint()
{
    if (image_) {
        BitBlt(windowDc_, 0, 0, width_, height_, memory_, 0, 0, SRCCOPY);
        SelectObject(memory_, previous_);
        DeleteObject(image_);
    }
    if (memory_)
        DeleteDC(memory_);
    if (windowDc_)
        ReleaseDC(window_, windowDc_);
}

} // namespace qz
