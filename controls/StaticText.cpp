// qz:StaticText: centred black text on the skin, in the font the parent sets. A left
// click is posted to the parent as WM_COMMAND with code 0 (the page resets its peak
// read-out that way).
#include "Controls.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

namespace qz {

namespace {

struct StaticTextState {
    HBITMAP skin;
    HFONT font; // WM_SETFONT; null: DEFAULT_GUI_FONT
};

constexpr int kMaxText = 256;

void PaintStaticText(HWND window, StaticTextState& s)
{
    OffscreenPaint paint(window, s.skin);
    if (!paint.ok())
        return;
    HDC dc = paint.dc();
    char text[kMaxText];
    GetWindowTextA(window, text, kMaxText);
    HGDIOBJ previous = SelectObject(dc, s.font ? static_cast<HGDIOBJ>(s.font) : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    RECT r{0, 0, paint.width(), paint.height()};
    DrawTextA(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_END_ELLIPSIS);
    SelectObject(dc, previous);
}

LRESULT OnCreate(HWND window, LPARAM lParam)
{
    auto* s = CreateWindowState<StaticTextState>(window);
    if (!s)
        return -1;
    s->skin = SkinFromCreateStruct(lParam);
    return 0;
}

void OnClick(HWND window)
{
    PostMessageA(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), 0),
                 reinterpret_cast<LPARAM>(window));
}

} // namespace

namespace {

LRESULT HandleMessage(HWND window, StaticTextState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETTEXT:
        InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_SETFONT:
        s.font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam))
            InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(s.font);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnClick(window);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const ControlHandlers<StaticTextState> kStaticTextHandlers{OnCreate, PaintStaticText, HandleMessage, nullptr};

} // namespace

LRESULT CALLBACK StaticTextProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchControlMessage(kStaticTextHandlers, window, message, wParam, lParam);
}

} // namespace qz
