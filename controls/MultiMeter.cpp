// qz:MultiMeter: the band display. For each of the five bands a left and a right
// level bar, a bipolar gain bar (reduction downward, boost upward) and a threshold
// marker. Markers are dragged (one band, or every selected band together) to change
// the thresholds; a press picks the band the rest of the page shows.
//
// The control only reports: MM_ADJUST carries each threshold change to the parent,
// which sets the parameter and feeds the new threshold back with MM_SETTHRESHOLD.
#include "Controls.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <algorithm>
#include <cstdlib>

namespace qz {

namespace {

constexpr int kBands = 5;
constexpr int kBarWidth = 8;
constexpr int kBarRows = 139;      // a full bar: 0 dB; none: -60 dB
constexpr int kBarBottom = 147;
constexpr int kGainRows = 70;      // the gain bar's reach either way from its zero row
constexpr int kGainZeroRow = 78;
constexpr int kMarkerWidth = 44, kMarkerHeight = 16;
constexpr int kLowestThreshold = -600;
constexpr int kHighlightWeight = 336;
constexpr COLORREF kHighlightColour = RGB(50, 50, 50);

struct MultiMeterState {
    int values[kMultiMeterValues]; // per band: left peak, right peak, gain
    int thresholds[kBands];
    int activeBand;
    POINT markerPoint;             // the active band's marker at the last paint
    int lastWheelTime;
    int highlightedBand;
    RelativeDrag drag;             // along y
    int onMarker;
    int selected[kBands];
    HBITMAP levelBar, gainBar;
    HBITMAP skin;
    const uint8_t* marker;
    const uint8_t* selectedMarker;
};

// The column origin of band b.
int ColumnX(int band) { return 61 + 60 * band; }

bool IsGain(int index) { return index % 3 == 2; }

// Levels rise at once and fall at most 2 dB an update; gain reduction deepens at
// once and recovers at most 2 dB an update.
int Ballistics(int index, int old, int next)
{
    if (IsGain(index) && next <= 0) {
        if (next < old)
            return next;
        const int risen = std::clamp(old + std::min(next - old, 20), -300, 0);
        return next < risen ? next : risen;
    }
    if (next >= old)
        return next;
    if (old < -9998)
        return old;
    const int fallen = old - std::min(old - next, 20);
    return next >= fallen ? next : fallen;
}

// The pixels of a level bar (or a marker's height) for tenths of dB: 139 at 0 dB,
// none at -60 dB; values above 0 dB stop at the full bar.
int LevelRows(int tenths) { return std::clamp(tenths * kBarRows / 600 + kBarRows, 0, kBarRows); }

// Copies the rows of `bitmap` from `sourceRow` into r; rows the bitmap does not have
// are left out.
void Blit(HDC dc, HDC source, HBITMAP bitmap, RECT r, int sourceRow)
{
    BITMAP info;
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info))
        return;
    if (sourceRow < 0) {
        r.top -= sourceRow;
        sourceRow = 0;
    }
    r.bottom = std::min<LONG>(r.bottom, r.top + (info.bmHeight - sourceRow));
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    HGDIOBJ previous = SelectObject(source, bitmap);
    BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, source, 0, sourceRow, SRCCOPY);
    SelectObject(source, previous);
}

void PaintMultiMeter(HWND window, MultiMeterState& s)
{
    OffscreenPaint paint(window, s.skin);
    if (!paint.ok())
        return;
    HDC dc = paint.dc();
    IntersectClipRect(dc, 2, 2, paint.width() - 2, paint.height() - 2);
    HDC bars = CreateCompatibleDC(dc);

    for (int b = 0; b < kBands; ++b) {
        const int x = ColumnX(b);
        for (int k = 0; k < 2; ++k) {
            const int left = x - 49 + 26 * k;
            const int h = LevelRows(s.values[3 * b + k]);
            Blit(dc, bars, s.levelBar, RECT{left, kBarBottom - h, left + kBarWidth, kBarBottom}, kBarRows - h);
        }
        const int gain = s.values[3 * b + 2];
        const int g = -(gain * kBarRows / 300);
        const RECT gainRect = gain <= 0 ? RECT{x - 8, kGainZeroRow, x, kGainZeroRow + std::clamp(g, 0, kGainRows)}
                                        : RECT{x - 8, kGainZeroRow - 1 + std::clamp(g, -kGainRows, 0), x, kGainZeroRow};
        Blit(dc, bars, s.gainBar, gainRect, gainRect.top - 8);

        const int m = LevelRows(s.thresholds[b]);
        if (b == s.activeBand)
            s.markerPoint = POINT{x - 33, kBarBottom - m};
        const uint8_t* marker = s.selected[b] ? s.selectedMarker : s.marker;
        if (marker)
            CompositeImage(dc, x - 53, 141 - m, kMarkerWidth, kMarkerHeight, marker, kNoFade, 0, 0);
        if (b == s.highlightedBand)
            TintRect(dc, x - 56, 2, x + 6, 153, kHighlightWeight, kHighlightColour);
    }
    DeleteDC(bars);
}

// A threshold change d for every selected band, limited so that none leaves -60..0 dB
// and the bands keep their distances; one MM_ADJUST per band, the later ones of the
// same step marked, so that the page takes one undo checkpoint per step.
void AdjustSelection(HWND window, const MultiMeterState& s, long long d)
{
    int highest = kNoLevel, lowest = 0, count = 0;
    for (int b = 0; b < kBands; ++b)
        if (s.selected[b]) {
            highest = count ? std::max(highest, s.thresholds[b]) : s.thresholds[b];
            lowest = std::min(lowest, s.thresholds[b]);
            ++count;
        }
    if (d + highest > 0)
        d = -(long long)highest;
    if (d + lowest < kLowestThreshold)
        d = kLowestThreshold - (long long)lowest;
    int posted = 0;
    for (int b = 0; b < kBands; ++b)
        if (s.selected[b])
            PostMessageA(GetParent(window), MM_ADJUST, WPARAM(int(d)), b + (posted++ ? kSameStepBand : 0));
}

void SetHighlightedBand(HWND window, MultiMeterState& s, int band)
{
    s.highlightedBand = band;
    PostMessageA(GetParent(window), MM_BANDFOCUS, WPARAM(band), 0);
}

// --- Message handlers ------------------------------------------------------------

LRESULT OnCreate(HWND window, LPARAM lParam)
{
    auto* s = CreateWindowState<MultiMeterState>(window);
    if (!s)
        return -1;
    s->skin = SkinFromCreateStruct(lParam);
    for (int b = 0; b < kBands; ++b) {
        s->values[3 * b] = s->values[3 * b + 1] = kNoLevel;
        s->values[3 * b + 2] = 0;
    }
    s->activeBand = -1;
    s->highlightedBand = -1;
    return 0;
}

void OnDestroy(HWND /*window*/, MultiMeterState& s)
{
    if (s.drag.dragging)
        ClearDragFlags();
    if (s.levelBar)
        DeleteObject(s.levelBar);
    if (s.gainBar)
        DeleteObject(s.gainBar);
}

void OnButtonDown(HWND window, MultiMeterState& s, WPARAM keys, LPARAM lParam, bool doubleClick)
{
    if (doubleClick && !(keys & MK_CONTROL))
        SendMessageA(GetParent(window), MM_DBLCLK, WPARAM(s.activeBand), 0);
    const int x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
    s.activeBand = -1;
    s.onMarker = 0;
    for (int b = 0; b < kBands; ++b)
        if (9 + 60 * b <= x && x <= 48 + 60 * b) {
            s.activeBand = b;
            s.markerPoint = POINT{ColumnX(b) - 33, kBarBottom - LevelRows(s.thresholds[b])};
            BeginRelativeDrag(window, s.drag, short(y));
            s.onMarker = s.markerPoint.y - 6 <= y && y < s.markerPoint.y + 7;
            break;
        }
    if (s.highlightedBand != s.activeBand)
        SetHighlightedBand(window, s, s.activeBand);

    if (s.activeBand < 0)
        std::fill(std::begin(s.selected), std::end(s.selected), 0);
    else if (keys & MK_CONTROL)
        s.selected[s.activeBand] = !s.selected[s.activeBand];
    else if (!s.selected[s.activeBand]) {
        std::fill(std::begin(s.selected), std::end(s.selected), 0);
        s.selected[s.activeBand] = 1;
    }
    SetFocus(window);
    PaintMultiMeter(window, s);
}

void OnMouseMove(HWND window, MultiMeterState& s, LPARAM lParam)
{
    int d;
    if (RelativeDragStep(s.drag, short(HIWORD(lParam)), &d))
        AdjustSelection(window, s, -d); // upward is positive
}

// Button up, or the capture taken away: the drag ends either way.
void EndDrag(HWND window, MultiMeterState& s)
{
    if (!StopRelativeDrag(window, s.drag))
        return;
    RECT frame;
    GetWindowRect(window, &frame);
    const POINT overMarker{frame.left + s.markerPoint.x, frame.top + s.markerPoint.y};
    RestorePointer(s.drag, s.onMarker ? overMarker : s.drag.pressPoint);
    if (s.drag.moved)
        PostMessageA(GetParent(window), MM_ADJUST, 0, -1);
}

void OnMouseWheel(HWND window, MultiMeterState& s, WPARAM wParam)
{
    if (s.activeBand < 0)
        return;
    const long long notches = WheelNotches(wParam);
    const int speed = WheelSpeed(s.lastWheelTime, int(GetMessageTime()));
    AdjustSelection(window, s, speed * notches * std::llabs(notches));
}

bool OnKeyDown(HWND window, MultiMeterState& s, WPARAM key)
{
    if (s.activeBand < 0)
        return false;
    switch (key) {
    case VK_PRIOR: AdjustSelection(window, s, 10); return true;
    case VK_NEXT: AdjustSelection(window, s, -10); return true;
    case VK_END: AdjustSelection(window, s, -10000); return true;
    case VK_HOME: AdjustSelection(window, s, 10000); return true;
    case VK_UP: AdjustSelection(window, s, 1); return true;
    case VK_DOWN: AdjustSelection(window, s, -1); return true;
    case VK_LEFT:
    case VK_RIGHT: {
        const int band = s.activeBand + (key == VK_LEFT ? -1 : 1);
        if (band < 0 || band >= kBands)
            return true;
        s.activeBand = band;
        SetHighlightedBand(window, s, band);
        PaintMultiMeter(window, s);
        return true;
    }
    }
    return false;
}

void OnSetValues(HWND window, MultiMeterState& s, const int* values, LPARAM count)
{
    if (!values || count < 0 || count > kMultiMeterValues)
        return;
    for (int i = 0; i < int(count); ++i)
        s.values[i] = Ballistics(i, s.values[i], values[i]);
    PaintMultiMeter(window, s);
}

void OnSetThreshold(MultiMeterState& s, const int* threshold, LPARAM band)
{
    if (threshold && band >= 0 && band < kBands)
        s.thresholds[band] = *threshold;
}

void OnSelectBand(MultiMeterState& s, WPARAM wParam)
{
    const int band = int(wParam);
    std::fill(std::begin(s.selected), std::end(s.selected), 0);
    if (band >= 0 && band < kBands) {
        s.highlightedBand = band;
        s.selected[band] = 1;
    } else {
        s.highlightedBand = -1;
    }
}

void LoadBar(HBITMAP& bar, WPARAM number)
{
    if (bar)
        DeleteObject(bar);
    bar = LoadBitmapA(ToolkitModule(), MAKEINTRESOURCEA(WORD(number)));
}

} // namespace

namespace {

LRESULT HandleMessage(HWND window, MultiMeterState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CAPTURECHANGED:
        EndDrag(window, s);
        break;
    case WM_SETFOCUS:
        PaintMultiMeter(window, s);
        break;
    case WM_KILLFOCUS:
        s.activeBand = -1;
        PaintMultiMeter(window, s);
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnButtonDown(window, s, wParam, lParam, message == WM_LBUTTONDBLCLK);
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
    case MM_SETVALUES:
        OnSetValues(window, s, reinterpret_cast<const int*>(wParam), lParam);
        break;
    case MM_SETMARKER:
        s.marker = reinterpret_cast<const uint8_t*>(wParam);
        break;
    case MM_SETMARKERSEL:
        s.selectedMarker = reinterpret_cast<const uint8_t*>(wParam);
        break;
    case MM_SETTHRESHOLD:
        OnSetThreshold(s, reinterpret_cast<const int*>(wParam), lParam);
        break;
    case MM_SELECTBAND:
        OnSelectBand(s, wParam);
        break;
    case MM_SETLEVELBITMAP:
        LoadBar(s.levelBar, wParam);
        break;
    case MM_SETGAINBITMAP:
        LoadBar(s.gainBar, wParam);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const ControlHandlers<MultiMeterState> kMultiMeterHandlers{OnCreate, PaintMultiMeter, HandleMessage, OnDestroy};

} // namespace

LRESULT CALLBACK MultiMeterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchControlMessage(kMultiMeterHandlers, window, message, wParam, lParam);
}

} // namespace qz
