// qz:Edit: a numeric field. It shows its window text on a skinned background and
// holds no value of its own: drags, the wheel and keys become signed steps
// (ED_DELTA) that the parent adds to the bound parameter before it writes the new
// text back. A double-click or the space key opens an in-place standard edit box for
// typed entry; Enter commits the text, anything else that closes the box discards it.
#include "Controls.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <climits>
#include <cstring>

namespace qz {

namespace {

constexpr COLORREF kFocusFrameLight = RGB(225, 0, 0);
constexpr COLORREF kFocusFrameDark = RGB(200, 0, 0);
constexpr COLORREF kTextShadow = RGB(197, 199, 203);
constexpr COLORREF kTextColour = RGB(64, 65, 69);
constexpr COLORREF kDisabledTextColour = RGB(144, 144, 144);
constexpr int kDisabledFade = 160;

struct FieldState {
    int dragging;
    int moved;
    int accelerated;
    int reversed;
    short lastX, lastY;
    int lastWheelTime;
    int verticalAxis;  // the drag follows the vertical axis
    int pendingTexts;  // text changes not yet acknowledged; -1 until the first paint
    HBITMAP skin;
    const uint8_t* background;
    int rightAligned;
};

// The one in-place editor of the process and the font made for it.
HWND g_inPlaceEditor = nullptr;
HFONT g_inPlaceFont = nullptr;

void PostStep(HWND window, long long step)
{
    PostMessageA(GetParent(window), ED_DELTA,
                 MAKEWPARAM(GetDlgCtrlID(window), WORD(SaturateToShort(step))), reinterpret_cast<LPARAM>(window));
}

void PaintField(HWND window, FieldState& s)
{
    if (s.pendingTexts < 0)
        s.pendingTexts = 0;
    OffscreenPaint paint(window, s.skin);
    if (!paint.ok())
        return;
    HDC dc = paint.dc();
    const bool enabled = IsWindowEnabled(window);
    const int width = paint.width(), height = paint.height();
    if (s.background)
        CompositeImage(dc, 0, 0, width, height, s.background, enabled ? kNoFade : kDisabledFade, 0, 0);

    if (GetFocus() == window) {
        DrawLine(dc, 2, 2, width - 2, 2, kFocusFrameLight);
        DrawLine(dc, 2, 2, 2, height - 2, kFocusFrameLight);
        DrawLine(dc, 2, height - 3, width - 2, height - 3, kFocusFrameDark);
        DrawLine(dc, width - 3, 2, width - 3, height - 2, kFocusFrameDark);
    }

    RECT text{3, 3, width - 3 - 2, height - 3};
    if ((text.bottom - text.top) % 2)
        text.top += 1;
    char buffer[256];
    const int length = GetWindowTextA(window, buffer, sizeof buffer);
    const UINT format = DT_VCENTER | DT_END_ELLIPSIS | (s.rightAligned ? DT_RIGHT : DT_LEFT);
    ToolkitFont font(dc);
    SetBkMode(dc, TRANSPARENT);
    RECT shadow = text;
    OffsetRect(&shadow, 1, 1);
    SetTextColor(dc, kTextShadow);
    DrawTextA(dc, buffer, length, &shadow, format);
    SetTextColor(dc, enabled ? kTextColour : kDisabledTextColour);
    DrawTextA(dc, buffer, length, &text, format);
}

// --- The in-place editor -----------------------------------------------------------

void ReleaseInPlaceFont()
{
    if (g_inPlaceFont)
        DeleteObject(g_inPlaceFont);
    g_inPlaceFont = nullptr;
}

// Enter: the typed text becomes the field's text and the page is told to read it.
void CommitInPlaceEditor(HWND editor)
{
    HWND field = GetParent(editor);
    char text[257];
    GetWindowTextA(editor, text, sizeof text);
    CloseInPlaceEditor();
    SetWindowTextA(field, text);
    HWND page = GetParent(field);
    const int id = GetDlgCtrlID(field);
    PostMessageA(page, WM_COMMAND, MAKEWPARAM(id, kFieldTextCommitted), reinterpret_cast<LPARAM>(field));
    PostStep(field, 0);
}

// Subclass procedure of the in-place editor: Enter commits, Escape and the loss of
// the focus discard. Once the editor is being destroyed no message reaches it again.
LRESULT CALLBACK InPlaceEditorProc(HWND editor, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto editProcedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(editor, GWLP_USERDATA));
    switch (message) {
    case WM_GETDLGCODE:
        // Enter and Escape are the editor's, not the dialog's (its default button, Cancel).
        return CallWindowProcA(editProcedure, editor, message, wParam, lParam) | DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            CommitInPlaceEditor(editor);
            return 0;
        }
        if (wParam == VK_ESCAPE) {
            CloseInPlaceEditor();
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == '\r' || wParam == 27) // already handled as keys; the box would beep at them
            return 0;
        break;
    case WM_KILLFOCUS:
        if (g_inPlaceEditor == editor) {
            CallWindowProcA(editProcedure, editor, message, wParam, lParam);
            CloseInPlaceEditor();
            return 0;
        }
        break;
    case WM_NCDESTROY:
        // The editor can also go with its field: the record of it goes here in any case.
        if (g_inPlaceEditor == editor)
            g_inPlaceEditor = nullptr;
        ReleaseInPlaceFont();
        break;
    }
    return CallWindowProcA(editProcedure, editor, message, wParam, lParam);
}

void OpenInPlaceEditor(HWND field)
{
    CloseInPlaceEditor();
    RECT client;
    GetClientRect(field, &client);
    // A single-line box: it scrolls a text wider than itself. A multi-line one that
    // aligns right wraps instead, and refuses what does not fit on its one line.
    HWND editor = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_RIGHT | ES_AUTOHSCROLL,
                                  2, 2, client.right - 4, client.bottom - 4, field,
                                  reinterpret_cast<HMENU>(kInPlaceEditorId), ToolkitModule(), nullptr);
    if (!editor)
        return;
    HDC screen = GetDC(nullptr);
    g_inPlaceFont = ToolkitFont::CreateFor(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    SendMessageA(editor, WM_SETFONT,
                 reinterpret_cast<WPARAM>(g_inPlaceFont ? g_inPlaceFont : GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    char text[257];
    GetWindowTextA(field, text, sizeof text);
    SetWindowTextA(editor, text);
    SetWindowLongPtrA(editor, GWLP_USERDATA, GetWindowLongPtrA(editor, GWLP_WNDPROC));
    SetWindowLongPtrA(editor, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(InPlaceEditorProc));
    g_inPlaceEditor = editor;
    SetFocus(editor);
    SendMessageA(editor, EM_SETSEL, 0, -1);
}

// --- Message handlers ------------------------------------------------------------

LRESULT OnCreate(HWND window, LPARAM lParam)
{
    auto* s = CreateWindowState<FieldState>(window);
    if (!s)
        return -1;
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    s->skin = SkinFromCreateStruct(lParam);
    s->accelerated = (create->style & EDS_NOACCEL) ? 0 : 1;
    s->rightAligned = (create->style & EDS_RIGHTALIGN) ? 1 : 0;
    s->pendingTexts = -1;
    return 0;
}

void OnDestroy(HWND /*window*/, FieldState& s)
{
    if (s.dragging)
        ClearDragFlags();
}

void OnButtonDown(HWND window, FieldState& s, LPARAM lParam)
{
    s.lastX = short(LOWORD(lParam));
    s.lastY = short(HIWORD(lParam));
    s.dragging = 1;
    s.moved = 0;
    SetCapture(window);
    SetControlDragging(true);
    SetFocus(window);
    PaintField(window, s);
}

// The drag follows one axis at a time, and changes axis only when the other one
// dominates by more than a factor of two.
void OnMouseMove(HWND window, FieldState& s, LPARAM lParam)
{
    if (!s.dragging)
        return;
    s.moved = 1;
    const short x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
    const long long dx = short(x - s.lastX), dy = short(s.lastY - y);
    const long long adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    if (s.verticalAxis && 2 * ady < adx)
        s.verticalAxis = 0;
    else if (!s.verticalAxis && ady > 2 * adx)
        s.verticalAxis = 1;
    long long d = s.verticalAxis ? dy : dx;
    if (s.reversed)
        d = -d;
    s.lastX = x;
    s.lastY = y;
    PostStep(window, s.accelerated ? (d < 0 ? -d : d) * d : d);
}

// Button up, or the capture taken away.
void EndDrag(HWND window, FieldState& s)
{
    if (!s.dragging)
        return;
    s.dragging = 0; // first: releasing the capture comes back here
    s.moved = 0;
    if (GetCapture() == window)
        ReleaseCapture();
    SetControlDragging(false);
    PaintField(window, s);
}

void OnMouseWheel(HWND window, FieldState& s, WPARAM wParam)
{
    if (InPlaceEditorOpen())
        return;
    const long long notches = s.reversed ? -WheelNotches(wParam) : WheelNotches(wParam);
    const int speed = WheelSpeed(s.lastWheelTime, int(GetMessageTime()));
    PostStep(window, speed * notches * (notches < 0 ? -notches : notches));
}

bool OnKeyDown(HWND window, WPARAM key)
{
    long long step;
    switch (key) {
    case VK_PRIOR: step = 10; break;
    case VK_NEXT: step = -10; break;
    case VK_END: step = SHRT_MIN; break;
    case VK_HOME: step = SHRT_MAX; break;
    case VK_LEFT:
    case VK_DOWN: step = -1; break;
    case VK_UP:
    case VK_RIGHT: step = 1; break;
    case VK_SPACE:
        OpenInPlaceEditor(window);
        return true;
    default:
        return false;
    }
    PostStep(window, step);
    return true;
}

void OnKillFocus(HWND window, FieldState& s)
{
    PostStep(window, 0);
    if (s.dragging)
        EndDrag(window, s);
    else
        PaintField(window, s);
}

// Returns true when the text changed.
bool OnSetText(HWND window, FieldState& s, const char* text)
{
    char current[129];
    GetWindowTextA(window, current, sizeof current);
    if (std::strcmp(current, text ? text : "") == 0)
        return false;
    ++s.pendingTexts;
    InvalidateRect(window, nullptr, FALSE);
    return true;
}

void OnTextAck(HWND window, FieldState* s)
{
    if (s && s->pendingTexts > 0)
        --s->pendingTexts;
    else
        PostMessageA(GetParent(window), ED_SETTLED, WPARAM(GetDlgCtrlID(window)), reinterpret_cast<LPARAM>(window));
}

} // namespace

bool InPlaceEditorOpen() { return g_inPlaceEditor != nullptr; }

void CloseInPlaceEditor()
{
    HWND editor = g_inPlaceEditor;
    if (!editor)
        return;
    // Cleared before the destruction: the loss of focus it causes finds nothing to close.
    g_inPlaceEditor = nullptr;
    DestroyWindow(editor);
}

namespace {

LRESULT HandleMessage(HWND window, FieldState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CAPTURECHANGED:
        EndDrag(window, s);
        break;
    case WM_SETFOCUS:
    case WM_ENABLE:
        PaintField(window, s);
        break;
    case WM_KILLFOCUS:
        OnKillFocus(window, s);
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN:
        OnButtonDown(window, s, lParam);
        return 0;
    case WM_LBUTTONDBLCLK:
        OpenInPlaceEditor(window);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(window, s, lParam);
        return 0;
    case WM_LBUTTONUP:
        EndDrag(window, s);
        break;
    case WM_RBUTTONDOWN:
        if (s.dragging)
            return 0;
        break;
    case WM_MOUSEWHEEL:
        OnMouseWheel(window, s, wParam);
        return 0;
    case WM_KEYDOWN:
        if (OnKeyDown(window, wParam))
            return 0;
        break;
    case WM_SETTEXT:
        if (!OnSetText(window, s, reinterpret_cast<const char*>(lParam)))
            return 0;
        break;
    case ED_SETACCEL:
        s.accelerated = wParam ? 1 : 0;
        break;
    case ED_SETFLAGS:
        s.reversed = (wParam & ED_REVERSED) ? 1 : 0;
        break;
    case ED_SETBACKGROUND:
        s.background = reinterpret_cast<const uint8_t*>(wParam);
        InvalidateRect(window, nullptr, FALSE);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const ControlHandlers<FieldState> kFieldHandlers{OnCreate, PaintField, HandleMessage, OnDestroy};

} // namespace

LRESULT CALLBACK FieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == ED_TEXTACK) {
        OnTextAck(window, WindowState<FieldState>(window));
        return 0;
    }
    return DispatchControlMessage(kFieldHandlers, window, message, wParam, lParam);
}

} // namespace qz
