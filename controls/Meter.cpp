// qz:Meter: one level bar drawn from an unlit and a lit face, with its own fall-back
// and peak-hold ballistics. Two channels are kept, held and reported; the left one is
// drawn.
#include "Controls.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <algorithm>
#include <cmath>

namespace qz {

namespace {

constexpr int kHoldUpdates = 30; // updates a peak stays before it falls
constexpr int kHoldFall = 30;    // fall of a released peak per update
constexpr int kZeroRow = 77;     // the zero row of a centre-zero bar 154-155 pixels high

struct Channel {
    int level;
    int hold;
    int highest;
    int holdCount;
};

struct MeterState {
    Channel channels[2]; // L, R
    int min, max;
    int vertical, inverted, ballistics, centreZero, needle;
    int fallStep;
    HBITMAP skin;
    const uint8_t* unlitFace;
    const uint8_t* litFace;
};

// The ballistics of one channel for a new value n: the level falls by the fall step
// and the hold value, once its count has run out, by kHoldFall; a higher n lifts
// both at once, and a new peak is held again for kHoldUpdates updates.
// Neither falls below the level of silence, so that a meter left silent never
// counts down past the integers' end.
void UpdateChannel(Channel& c, int n, int fallStep)
{
    c.level = std::max(c.level - fallStep, kNoLevel);
    if (c.holdCount == 0)
        c.hold = std::max(c.hold - kHoldFall, kNoLevel);
    else
        --c.holdCount;
    c.level = std::max(c.level, n);
    c.highest = std::max(c.highest, n);
    if (c.level > c.hold) {
        c.hold = c.level;
        c.holdCount = kHoldUpdates;
    }
}

// Pixels from the range's bottom for `value` over `length` pixels.
int Scale(const MeterState& s, int value, int length)
{
    if (s.max == s.min)
        return 0;
    return int(std::floor(double(value - s.min) * length / (s.max - s.min) + 0.5));
}

// The row (from the top of the travel) a vertical meter shows `value` at.
int VerticalPosition(const MeterState& s, int value, int travel)
{
    int p = Scale(s, value, travel);
    if (!s.inverted)
        p = travel - p;
    return std::max(p, 0);
}

void PaintLit(HDC dc, const MeterState& s, int x, int y, int width, int height, int faceWidth)
{
    if (width > 0 && height > 0)
        CompositeImageRect(dc, x, y, width, height, x, y, s.litFace, kNoFade, faceWidth);
}

void PaintMeter(HWND window, MeterState& s)
{
    if (!s.unlitFace || !s.litFace)
        return;
    OffscreenPaint paint(window, s.skin);
    if (!paint.ok())
        return;
    HDC dc = paint.dc();
    const int w = paint.width(), h = paint.height();
    const int level = s.channels[0].level;
    CompositeImage(dc, 0, 0, w, h, s.unlitFace, kNoFade, 0, 0);

    if (s.vertical) {
        const int travel = h - 4;
        const int p = VerticalPosition(s, level, travel);
        if (s.centreZero) {
            if (level >= 0)
                PaintLit(dc, s, 0, p + 2, w, travel - p - (kZeroRow - 2), w);
            else
                PaintLit(dc, s, 0, kZeroRow, w, p - (kZeroRow - 2), w);
        } else if (p < travel) {
            PaintLit(dc, s, 0, p + 2, w, (h - 3) - (p + 2) + 1, w);
        }
    } else if (s.needle) {
        const int p = Scale(s, level, w - 7);
        if (p < w - 4)
            PaintLit(dc, s, p + 2, 0, 3, h, w);
    } else {
        const int p = std::max(Scale(s, level, w - 4), 0);
        if (p < w - 4)
            PaintLit(dc, s, 0, 0, std::min(p + 2, w), h, w);
    }

    // The hold line maps as a vertical bar does, for horizontal meters too.
    if (s.ballistics && !s.centreZero) {
        const int ph = VerticalPosition(s, s.channels[0].hold, h - 4);
        if (ph < h - 4)
            PaintLit(dc, s, 0, ph + 2, w, 2, w);
    }
}

// --- Message handlers ------------------------------------------------------------

LRESULT OnCreate(HWND window, LPARAM lParam)
{
    auto* s = CreateWindowState<MeterState>(window);
    if (!s)
        return -1;
    const DWORD style = reinterpret_cast<const CREATESTRUCTA*>(lParam)->style;
    for (Channel& c : s->channels)
        c = Channel{kNoLevel, kNoLevel, kNoLevel, 0};
    s->max = 100;
    s->vertical = (style & MTS_VERTICAL) ? 1 : 0;
    s->inverted = (style & MTS_INVERTED) ? 1 : 0;
    s->ballistics = (style & MTS_BALLISTICS) ? 1 : 0;
    s->centreZero = (style & MTS_CENTREZERO) ? 1 : 0;
    s->needle = (style & MTS_NEEDLE) ? 1 : 0;
    s->fallStep = 20;
    s->skin = SkinFromCreateStruct(lParam);
    return 0;
}

void OnSetLevels(HWND window, MeterState& s, int left, int right)
{
    const int values[2] = {left, right};
    for (int i = 0; i < 2; ++i) {
        if (s.ballistics)
            UpdateChannel(s.channels[i], values[i], s.fallStep);
        else
            s.channels[i].level = values[i];
    }
    PaintMeter(window, s);
}

void WritePair(WPARAM left, LPARAM right, int leftValue, int rightValue)
{
    if (int* l = reinterpret_cast<int*>(left))
        *l = leftValue;
    if (int* r = reinterpret_cast<int*>(right))
        *r = rightValue;
}

} // namespace

namespace {

LRESULT HandleMessage(HWND window, MeterState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case MT_SETRANGE:
        s.min = int(wParam);
        s.max = int(lParam);
        break;
    case MT_SETLEVELS:
        OnSetLevels(window, s, int(wParam), int(lParam));
        break;
    case MT_GETHOLD:
        WritePair(wParam, lParam, s.channels[0].hold, s.channels[1].hold);
        return 0;
    case MT_RESETMAX:
        s.channels[0].highest = s.channels[1].highest = kNoLevel;
        break;
    case MT_GETMAX:
        WritePair(wParam, lParam, s.channels[0].highest, s.channels[1].highest);
        return 0;
    case MT_SETIMAGES:
        s.unlitFace = reinterpret_cast<const uint8_t*>(wParam);
        s.litFace = reinterpret_cast<const uint8_t*>(lParam);
        break;
    case MT_SETFALL:
        s.fallStep = int(wParam);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const ControlHandlers<MeterState> kMeterHandlers{OnCreate, PaintMeter, HandleMessage, nullptr};

} // namespace

LRESULT CALLBACK MeterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchControlMessage(kMeterHandlers, window, message, wParam, lParam);
}

} // namespace qz
