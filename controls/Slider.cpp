// qz:Slider: a skinned linear control over an integer range, drawn as a groove with
// tick marks and a tinted thumb over the skin (or, in bitmap mode, one plain bitmap).
//
// Dragging is relative: the pointer is hidden and every pixel of motion along the
// axis changes the value by one unit (quadratically when accelerated), however short
// the drawn travel. Every change is reported with SL_POSCHANGED and the end of each
// gesture with SL_ENDCHANGE.
#include "Controls.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <algorithm>

namespace qz {

namespace {

constexpr COLORREF kGrooveColour = RGB(32, 32, 32);
constexpr COLORREF kDisabledGrooveColour = RGB(160, 160, 160);
constexpr COLORREF kLongTickColour = RGB(80, 80, 80);
constexpr COLORREF kShortTickColour = RGB(136, 136, 136);
constexpr int kDisabledFade = 192;
constexpr int kThumbBreadth = 16;
constexpr int kBitmapModeThumb = 11; // the travel of bitmap mode spares this much

struct SliderState {
    RelativeDrag drag;
    int accelerated;
    int vertical;
    int bitmapMode;
    HBITMAP skin;
    const uint8_t* thumb;
    int onThumb;          // the press hit the thumb
    int bitmapNumber;
    HBITMAP bitmap;       // bitmap mode's picture, loaded once per number
    COLORREF fillColour;  // bitmap mode's background and key
    int thumbPosition;    // left edge (horizontal) or bottom edge (vertical), from the last paint
    int value, min, max, span;
    int tickSpacing;
    int tickOffset;
    int lastWheelTime;
    int pageStep;
    int groove;
    int thumbLength;
    int firstPaint;
    uint32_t focusTint;
    uint32_t idleTint;
};

// The thumb's offset along the track for value v.
int TrackPosition(const SliderState& s, int travel, long long v)
{
    if (s.span == 0)
        return 0;
    return int((s.span / 2 + (v - s.min) * travel) / s.span);
}

int Travel(const SliderState& s, int width, int height)
{
    const int length = s.vertical ? height : width;
    return length - (s.bitmapMode ? kBitmapModeThumb : s.thumbLength);
}

void PaintTicks(HDC dc, const SliderState& s, int width, int height, int travel)
{
    auto tick = [&](long long v) {
        const bool isLong = v == s.min || v == 0 || v == s.max;
        const COLORREF colour = isLong ? kLongTickColour : kShortTickColour;
        const int at = TrackPosition(s, travel, v) + 12;
        if (s.vertical)
            DrawLine(dc, isLong ? width - 8 : width - 6, at, width - 2, at, colour);
        else
            DrawLine(dc, at, isLong ? height - 10 : height - 8, at, height - 4, colour);
    };
    long long v = s.min;
    tick(v);
    v += s.tickOffset + s.tickSpacing;
    for (; v <= s.max; v += s.tickSpacing)
        tick(v);
    tick(s.max);
}

// Covers the thumb's previous place with the skin again, so that a faded thumb does
// not show the groove through it.
void RepaintSkinUnderThumb(HWND window, HDC dc, const SliderState& s, int width, int height)
{
    RECT place;
    if (!s.skin || !WindowRectInParent(window, &place))
        return;
    RECT area = s.vertical ? RECT{0, s.thumbPosition - s.thumbLength, width, s.thumbPosition - 3}
                           : RECT{s.thumbPosition, 0, s.thumbPosition + s.thumbLength - 3, height};
    HDC skinDc = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(skinDc, s.skin);
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, skinDc, place.left + area.left,
           place.top + area.top, SRCCOPY);
    SelectObject(skinDc, previous);
    DeleteDC(skinDc);
}

void PaintSlider(HWND window, SliderState& s)
{
    OffscreenPaint paint(window, s.skin);
    if (!paint.ok())
        return;
    HDC dc = paint.dc();
    const int width = paint.width(), height = paint.height();
    const bool enabled = IsWindowEnabled(window);
    const int travel = Travel(s, width, height);

    if (s.bitmapMode) {
        HGDIOBJ previousBrush = SelectObject(dc, GetStockObject(DC_BRUSH));
        SetDCBrushColor(dc, s.fillColour);
        PatBlt(dc, 0, 0, width, height, PATCOPY);
        SelectObject(dc, previousBrush);
        if (s.bitmap) {
            BITMAP info;
            GetObjectA(s.bitmap, sizeof info, &info);
            TransparentBlit(dc, 0, 0, s.bitmap, 0, 0, info.bmWidth, info.bmHeight, s.fillColour);
        }
    } else if (s.groove) {
        const COLORREF colour = enabled ? kGrooveColour : kDisabledGrooveColour;
        if (s.vertical) {
            const int m = (width - 4) / 2;
            DrawLine(dc, m, 4, m, height - 4, colour);
            DrawLine(dc, m + 1, 4, m + 1, height - 4, colour);
        } else {
            const int m = (height - 4) / 2;
            DrawLine(dc, 4, m - 2, width - 4, m - 2, colour);
            DrawLine(dc, 4, m - 1, width - 4, m - 1, colour);
        }
        if (!enabled)
            RepaintSkinUnderThumb(window, dc, s, width, height);
        if (s.tickSpacing > 0)
            PaintTicks(dc, s, width, height, travel);
    }

    const int p = TrackPosition(s, travel, s.value);
    if (s.thumb) {
        const uint32_t tint = enabled && (s.drag.dragging || GetFocus() == window) ? s.focusTint : s.idleTint;
        const int fade = enabled ? kNoFade : kDisabledFade;
        if (s.vertical) {
            const int breadth = s.groove ? kThumbBreadth : kThumbBreadth + 2;
            CompositeImage(dc, s.groove ? 2 : 0, height - s.thumbLength - p, breadth, s.thumbLength, s.thumb, fade,
                           tint, 0);
        } else {
            CompositeImage(dc, p, 0, s.thumbLength, kThumbBreadth, s.thumb, fade, tint, 0);
        }
    }
    s.thumbPosition = s.vertical ? height - p : p;
}

void NotifyParent(HWND window, UINT message, WPARAM wParam)
{
    SendMessageA(GetParent(window), message, wParam, reinterpret_cast<LPARAM>(window));
}

// A change made by the user: clamped to the range, shown, and reported.
void ChangeValueBy(HWND window, SliderState& s, long long step)
{
    s.value = int(std::clamp<long long>(s.value + step, s.min, s.max));
    PaintSlider(window, s);
    NotifyParent(window, SL_POSCHANGED, WPARAM(s.value));
}

short AxisCoordinate(const SliderState& s, LPARAM lParam)
{
    return short(s.vertical ? HIWORD(lParam) : LOWORD(lParam));
}

// --- Message handlers ------------------------------------------------------------

LRESULT OnCreate(HWND window, LPARAM lParam)
{
    auto* s = CreateWindowState<SliderState>(window);
    if (!s)
        return -1;
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    s->skin = SkinFromCreateStruct(lParam);
    s->vertical = (create->style & SLS_VERTICAL) ? 1 : 0;
    s->bitmapMode = (create->style & SLS_BITMAPMODE) ? 1 : 0;
    s->tickSpacing = 20;
    s->groove = 1;
    s->thumbLength = 29;
    s->firstPaint = 1;
    s->focusTint = kCheckedTint;
    HDC screen = GetDC(nullptr);
    s->fillColour = GetDeviceCaps(screen, BITSPIXEL) > 8 ? RGB(152, 152, 152) : RGB(128, 128, 128);
    ReleaseDC(nullptr, screen);
    return 0;
}

void OnDestroy(HWND /*window*/, SliderState& s)
{
    if (s.drag.dragging)
        ClearDragFlags();
    if (s.bitmap)
        DeleteObject(s.bitmap);
}

void OnButtonDown(HWND window, SliderState& s, LPARAM lParam)
{
    const short c = AxisCoordinate(s, lParam);
    BeginRelativeDrag(window, s.drag, c);
    PaintSlider(window, s);
    SetFocus(window);
    const int p = s.thumbPosition;
    s.onThumb = s.vertical ? (p - 29 <= c && c < p - 5) : (p <= c && c < p + 26);
}

void OnMouseMove(HWND window, SliderState& s, LPARAM lParam)
{
    int d;
    if (!RelativeDragStep(s.drag, AxisCoordinate(s, lParam), &d))
        return;
    long long step = s.vertical ? -d : d;
    if (s.accelerated)
        step = step > 0 ? step * step / 2 + 1 : step < 0 ? -(step * step / 2) - 1 : 0;
    ChangeValueBy(window, s, step);
}

// Button up, or the capture taken away: the drag ends either way.
void EndDrag(HWND window, SliderState& s)
{
    if (!StopRelativeDrag(window, s.drag))
        return;
    PaintSlider(window, s);
    RECT frame;
    GetWindowRect(window, &frame);
    const int p = s.thumbPosition;
    POINT overThumb = s.vertical ? POINT{(frame.left + frame.right) / 2 - 2, frame.top + p - 16}
                                 : POINT{frame.left + p + 12, (frame.top + frame.bottom) / 2 - 2};
    RestorePointer(s.drag, s.onThumb ? overThumb : s.drag.pressPoint);
    if (s.drag.moved)
        NotifyParent(window, SL_ENDCHANGE, 0);
}

void OnMouseWheel(HWND window, SliderState& s, WPARAM wParam)
{
    if (InPlaceEditorOpen())
        return;
    const long long notches = WheelNotches(wParam);
    const int speed = WheelSpeed(s.lastWheelTime, int(GetMessageTime()));
    ChangeValueBy(window, s, speed * notches * (notches < 0 ? -notches : notches));
    NotifyParent(window, SL_ENDCHANGE, 0);
}

// True when the key was a step.
bool OnKeyDown(HWND window, SliderState& s, WPARAM key)
{
    long long step = 0;
    switch (key) {
    case VK_PRIOR: step = s.pageStep; break;
    case VK_NEXT: step = -s.pageStep; break;
    case VK_END: step = (long long)s.max - s.value; break;
    case VK_HOME: step = (long long)s.min - s.value; break;
    case VK_LEFT:
    case VK_DOWN: step = -1; break;
    case VK_UP:
    case VK_RIGHT: step = 1; break;
    }
    if (step == 0)
        return false;
    ChangeValueBy(window, s, step);
    NotifyParent(window, SL_ENDCHANGE, 0);
    return true;
}

void OnSetPos(HWND window, SliderState& s, WPARAM value, LPARAM paintNow)
{
    if (int(value) == s.value)
        return;
    s.value = int(value);
    InvalidateRect(window, nullptr, FALSE);
    if (paintNow)
        PaintSlider(window, s);
}

void OnSetRange(HWND window, SliderState& s, int min, int max)
{
    if (min == s.min && max == s.max)
        return;
    s.min = min;
    s.max = max;
    s.span = max - min;
    if (s.pageStep == 0) {
        RECT client;
        GetClientRect(window, &client);
        const int length = std::max(1, int(s.vertical ? client.bottom : client.right) - 4);
        s.pageStep = std::max(1, int((long long)s.span * 15 / length));
    }
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

void OnSetBitmap(SliderState& s, int number)
{
    if (s.bitmap)
        DeleteObject(s.bitmap);
    s.bitmapNumber = number;
    s.bitmap = LoadBitmapA(ToolkitModule(), MAKEINTRESOURCEA(number));
}

void OnPaint(HWND window, SliderState& s)
{
    PaintSlider(window, s);
    if (s.firstPaint) { // the first paint runs twice: the second sees its own thumb place
        s.firstPaint = 0;
        PaintSlider(window, s);
    }
}

} // namespace

namespace {

LRESULT HandleMessage(HWND window, SliderState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CAPTURECHANGED:
        EndDrag(window, s);
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        PaintSlider(window, s);
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN:
        OnButtonDown(window, s, lParam);
        return 0;
    case WM_LBUTTONDBLCLK:
        NotifyParent(window, SL_DBLCLK, WPARAM(GetDlgCtrlID(window)));
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(window, s, lParam);
        break;
    case WM_LBUTTONUP:
        EndDrag(window, s);
        break;
    case WM_MOUSEWHEEL:
        OnMouseWheel(window, s, wParam);
        return 0;
    case WM_KEYDOWN:
        if (OnKeyDown(window, s, wParam))
            return 0;
        break;
    case SL_GETPOS:
        return s.value;
    case SL_SETPOS:
        OnSetPos(window, s, wParam, lParam);
        break;
    case SL_SETRANGE:
        OnSetRange(window, s, int(wParam), int(lParam));
        break;
    case SL_SETACCEL:
        s.accelerated = wParam ? 1 : 0;
        break;
    case SL_SETTICKSPACING:
        s.tickSpacing = int(wParam);
        break;
    case SL_SETPAGESTEP:
        s.pageStep = int(wParam);
        break;
    case SL_SETTICKOFFSET:
        s.tickOffset = int(wParam);
        break;
    case SL_SETBITMAP:
        OnSetBitmap(s, int(wParam));
        break;
    case SL_SETTHUMB:
        s.thumb = reinterpret_cast<const uint8_t*>(wParam);
        break;
    case SL_SETGROOVE:
        s.groove = wParam ? 1 : 0;
        break;
    case SL_SETTHUMBLENGTH:
        s.thumbLength = int(wParam);
        break;
    case SL_SETFOCUSTINT:
        s.focusTint = uint32_t(wParam);
        break;
    case SL_SETIDLETINT:
        s.idleTint = uint32_t(wParam);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const ControlHandlers<SliderState> kSliderHandlers{OnCreate, OnPaint, HandleMessage, OnDestroy};

} // namespace

LRESULT CALLBACK SliderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchControlMessage(kSliderHandlers, window, message, wParam, lParam);
}

} // namespace qz
