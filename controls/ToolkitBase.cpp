#include "ToolkitBase.h"

#include "Controls.h"
#include "SkinDrawing.h"

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
    {"qz:StaticText", StaticTextProc},
    {"qz:StaticImage", StaticImageProc},
    {"qz:StaticNoHitImage", StaticNoHitImageProc},
};

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

bool IsControlDragging() { return g_controlDragging != 0; }
bool IsGraphDragging() { return g_graphDragging != 0; }
void SetControlDragging(bool dragging) { g_controlDragging = dragging ? 1 : 0; }
void SetGraphDragging(bool dragging) { g_graphDragging = dragging ? 1 : 0; }

void ClearDragFlags()
{
    g_controlDragging = 0;
    g_graphDragging = 0;
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
