// qz:PushButton: a skinned button with a normal and a pressed face, an optional
// icon, text, a down-arrow or menu mark, and a checked state shown as a tint.
//
// A press by the mouse or the space key is reported to the parent as it happens
// (WM_COMMAND codes in Controls.h): pressed, leave and re-enter while the mouse
// holds it, and clicked when it ends with the pointer inside.
#include "Controls.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include "ResourceIds.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace qz {

namespace {

enum PressSource { kIdle = 0, kMouse = 1, kSpaceKey = 2 };

constexpr COLORREF kTextColour = RGB(64, 64, 64);
constexpr COLORREF kDisabledTextColour = RGB(128, 128, 128);
constexpr COLORREF kArrowColour = RGB(64, 64, 64);
constexpr int kDisabledFade = 160;
constexpr int kMenuMarkWidth = 7, kMenuMarkHeight = 11;

struct ButtonState {
    int pressSource;    // PressSource
    int inside;         // the pointer is inside during a press: a release is a click
    int drawnPressed;   // the pressed face is shown
    int checked;        // set by the parent
    int dblClickNotify; // report double-clicks with PBN_DBLCLK
    int arrowMark;      // style PBS_ARROWMARK
    int menuMark;       // style PBS_MENUMARK
    int insetMode;      // 0: the checked tint spares 2 pixels top/left and 2 right/bottom; 1: 1 and 3
    COLORREF iconKey;
    COLORREF textColour;
    uint32_t onTint;
    int icon;           // bitmap resource number, 0 = none
    std::string text;   // the window text as last set
    HBITMAP skin;
    const uint8_t* normalFace;
    const uint8_t* pressedFace;
    int focusAdjust[4]; // added to the left, top, right and bottom of the focus frame
    COLORREF colours[9];
    // Loaded once per window (icon: again when it changes) and deleted on WM_DESTROY.
    HBITMAP iconBitmap;
    HBITMAP menuMarkBitmap;
};

void Notify(HWND window, WORD code)
{
    SendMessageA(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), code),
                 reinterpret_cast<LPARAM>(window));
}

// The icon in the content area: centred vertically when shorter than the area, else
// from its top and cut to the area; horizontally from the left when at least as wide
// as the area, else centred.
void PaintIcon(HDC dc, const ButtonState& s, const RECT& content)
{
    BITMAP info;
    if (!s.iconBitmap || !GetObjectA(s.iconBitmap, sizeof info, &info))
        return;
    const int areaWidth = content.right - content.left, areaHeight = content.bottom - content.top;
    int y = areaHeight > info.bmHeight ? (areaHeight - info.bmHeight) / 2 + 2 : 2;
    int x = info.bmWidth >= areaWidth ? 2 : (areaWidth - info.bmWidth) / 2 + 2;
    if (s.drawnPressed) {
        ++x;
        ++y;
    }
    TransparentBlit(dc, x, y, s.iconBitmap, 0, 0, std::min(areaWidth, int(info.bmWidth)),
                    std::min(areaHeight, int(info.bmHeight)), s.iconKey);
}

void PaintButton(HWND window, ButtonState& s)
{
    OffscreenPaint paint(window, s.skin);
    if (!paint.ok())
        return;
    HDC dc = paint.dc();
    const bool enabled = IsWindowEnabled(window);

    const uint8_t* face = s.drawnPressed && s.pressedFace ? s.pressedFace : s.normalFace;
    if (face)
        CompositeImage(dc, 0, 0, paint.width(), paint.height(), face, enabled ? kNoFade : kDisabledFade,
                       s.checked ? s.onTint : 0, s.insetMode == 0 ? 1 : 2);
    else
        Rectangle(dc, 0, 0, paint.width(), paint.height());

    RECT content{2, 2, paint.width() - 2, paint.height() - 2};
    if (s.drawnPressed)
        OffsetRect(&content, 1, 1);
    PaintIcon(dc, s, content);

    RECT textRect = content;
    textRect.top += 1 + ((content.bottom - content.top) % 2);
    const bool marked = s.arrowMark || s.menuMark;
    if (!s.text.empty()) {
        RECT r = textRect;
        if (marked)
            r.left += 3;
        ToolkitFont font(dc);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, enabled ? s.textColour : kDisabledTextColour);
        DrawTextA(dc, s.text.c_str(), -1, &r, DT_VCENTER | DT_END_ELLIPSIS | (marked ? DT_LEFT : DT_CENTER));
    }
    if (s.arrowMark) // a downward triangle 7 pixels wide
        for (int i = 0; i < 4; ++i)
            DrawLine(dc, content.right - 7 - i, textRect.top + 8 - i, content.right - 7 + i + 1, textRect.top + 8 - i,
                     kArrowColour);
    if (s.menuMark)
        TransparentBlit(dc, content.right - 10, textRect.top + 1, s.menuMarkBitmap, 0, 0, kMenuMarkWidth,
                        kMenuMarkHeight, kMagentaKey);

    if (GetFocus() == window) {
        RECT focus = content;
        InflateRect(&focus, -1, -1);
        focus.left += s.focusAdjust[0];
        focus.top += s.focusAdjust[1];
        focus.right += s.focusAdjust[2];
        focus.bottom += s.focusAdjust[3];
        DrawGreyFrame(dc, focus);
    }
}

void Invalidate(HWND window, ButtonState& s, bool paintNow)
{
    InvalidateRect(window, nullptr, FALSE);
    if (paintNow)
        PaintButton(window, s);
}

// --- Message handlers ------------------------------------------------------------

LRESULT OnCreate(HWND window, LPARAM lParam)
{
    auto* s = CreateWindowState<ButtonState>(window);
    if (!s)
        return -1;
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    s->skin = SkinFromCreateStruct(lParam);
    s->arrowMark = (create->style & PBS_ARROWMARK) ? 1 : 0;
    s->menuMark = (create->style & PBS_MENUMARK) ? 1 : 0;
    s->iconKey = kMagentaKey;
    s->textColour = kTextColour;
    s->onTint = kCheckedTint;
    if (create->lpszName && !IS_INTRESOURCE(create->lpszName))
        s->text = create->lpszName;
    if (s->menuMark)
        s->menuMarkBitmap = LoadBitmapA(ToolkitModule(), MAKEINTRESOURCEA(IDB_MENU_MARK));
    return 0;
}

void OnDestroy(HWND /*window*/, ButtonState& s)
{
    if (s.pressSource != kIdle)
        ClearDragFlags();
    if (s.iconBitmap)
        DeleteObject(s.iconBitmap);
    if (s.menuMarkBitmap)
        DeleteObject(s.menuMarkBitmap);
}

LRESULT OnButtonDown(HWND window, ButtonState& s, bool doubleClick)
{
    s.drawnPressed = 1;
    PaintButton(window, s);
    if (s.pressSource == kIdle)
        s.pressSource = kMouse;
    s.inside = 1;
    SetCapture(window);
    SetControlDragging(true);
    SetFocus(window);
    Notify(window, doubleClick && s.dblClickNotify ? PBN_DBLCLK : PBN_PRESSED);
    return 0;
}

void OnButtonUp(HWND window, ButtonState& s)
{
    if (s.pressSource == kIdle)
        return;
    s.pressSource = kIdle;
    ReleaseCapture();
    SetControlDragging(false);
    s.drawnPressed = 0;
    PaintButton(window, s);
    if (s.inside)
        Notify(window, PBN_CLICKED);
}

void OnMouseMove(HWND window, ButtonState& s, LPARAM lParam)
{
    if (s.pressSource != kMouse)
        return;
    RECT client;
    GetClientRect(window, &client);
    // Read as unsigned 16-bit numbers, positions left of or above the button are
    // outside too.
    const bool outside = LOWORD(lParam) >= client.right || HIWORD(lParam) >= client.bottom;
    if (outside && s.inside) {
        s.inside = 0;
        s.drawnPressed = 0;
        PaintButton(window, s);
        Notify(window, PBN_LEAVE);
    } else if (!outside && !s.inside) {
        s.inside = 1;
        s.drawnPressed = 1;
        PaintButton(window, s);
        Notify(window, PBN_REENTER);
    }
}

void OnKeyDown(HWND window, ButtonState& s, WPARAM key)
{
    if (key != VK_SPACE)
        return;
    s.pressSource = kSpaceKey;
    OnButtonDown(window, s, false);
}

void OnKeyUp(HWND window, ButtonState& s, WPARAM key)
{
    if (key != VK_SPACE)
        s.inside = 0; // another key ends the press without a click
    OnButtonUp(window, s);
}

// Ends a press as a button-up would, then drops one mouse-button message already
// queued for the button (the click that closed a menu the press opened, say).
void OnRelease(HWND window, ButtonState& s)
{
    OnButtonUp(window, s);
    MSG pending;
    PeekMessageA(&pending, window, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, PM_REMOVE);
}

// Returns true when the text changed (and the window was repainted).
bool OnSetText(HWND window, ButtonState& s, const char* text)
{
    const char* newText = text ? text : "";
    if (s.text == newText)
        return false;
    s.text = newText;
    Invalidate(window, s, true);
    return true;
}

void OnSetCheck(HWND window, ButtonState& s, WPARAM checked, LPARAM paintNow)
{
    if (int(checked) == s.checked && !paintNow)
        return;
    s.checked = int(checked);
    Invalidate(window, s, paintNow != 0);
}

void OnSetIcon(HWND window, ButtonState& s, WPARAM icon, LPARAM paintNow)
{
    if (int(icon) == s.icon)
        return;
    if (s.iconBitmap)
        DeleteObject(s.iconBitmap);
    s.icon = int(icon);
    s.iconBitmap = s.icon ? LoadBitmapA(ToolkitModule(), MAKEINTRESOURCEA(s.icon)) : nullptr;
    Invalidate(window, s, paintNow != 0);
}

void OnSetFocusRect(ButtonState& s, const int* adjustments, LPARAM insetMode)
{
    if (adjustments)
        std::memcpy(s.focusAdjust, adjustments, sizeof s.focusAdjust);
    s.insetMode = int(insetMode);
}

void OnSetColours(HWND window, ButtonState& s, const COLORREF* colours, LPARAM paintNow)
{
    if (colours)
        std::memcpy(s.colours, colours, sizeof s.colours);
    Invalidate(window, s, paintNow != 0);
}

} // namespace

namespace {

LRESULT HandleMessage(HWND window, ButtonState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        PaintButton(window, s);
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_UNDEFPUSHBUTTON;
    case WM_LBUTTONDOWN:
        return OnButtonDown(window, s, false);
    case WM_LBUTTONDBLCLK:
        return OnButtonDown(window, s, true);
    case WM_LBUTTONUP:
        OnButtonUp(window, s);
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(window, s, lParam);
        break;
    case WM_KEYDOWN:
        OnKeyDown(window, s, wParam);
        break;
    case WM_KEYUP:
        OnKeyUp(window, s, wParam);
        break;
    case WM_RBUTTONDOWN:
        SendMessageA(GetParent(window), PB_RBUTTON, WPARAM(GetDlgCtrlID(window)), lParam);
        break;
    case WM_SETTEXT:
        if (!OnSetText(window, s, reinterpret_cast<const char*>(lParam)))
            return 0;
        break;
    case PB_SETCHECK:
        OnSetCheck(window, s, wParam, lParam);
        break;
    case PB_GETCHECK:
        return s.checked;
    case PB_REFRESH:
        Invalidate(window, s, lParam != 0);
        break;
    case PB_SETDBLCLKNOTIFY:
        s.dblClickNotify = wParam ? 1 : 0;
        break;
    case PB_SETICON:
        OnSetIcon(window, s, wParam, lParam);
        break;
    case PB_SETICONKEY:
        s.iconKey = COLORREF(wParam);
        break;
    case PB_RELEASE:
        OnRelease(window, s);
        break;
    case PB_SETFACES:
        s.normalFace = reinterpret_cast<const uint8_t*>(wParam);
        s.pressedFace = reinterpret_cast<const uint8_t*>(lParam);
        InvalidateRect(window, nullptr, FALSE);
        break;
    case PB_SETFOCUSRECT:
        OnSetFocusRect(s, reinterpret_cast<const int*>(wParam), lParam);
        break;
    case PB_SETCOLORS:
        OnSetColours(window, s, reinterpret_cast<const COLORREF*>(wParam), lParam);
        break;
    case PB_SETONTINT:
        s.onTint = uint32_t(wParam);
        break;
    case PB_SETTEXTCOLOR:
        s.textColour = COLORREF(wParam);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const ControlHandlers<ButtonState> kPushButtonHandlers{OnCreate, PaintButton, HandleMessage, OnDestroy};

} // namespace

LRESULT CALLBACK PushButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchControlMessage(kPushButtonHandlers, window, message, wParam, lParam);
}

} // namespace qz
