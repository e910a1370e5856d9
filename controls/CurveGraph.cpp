// qz:CompGraph: the static input/output curves of the band compressors over a 1:1
// reference line, the selected band's curve on top, and a dot where the selected
// band's level sits on its curve. Dragging while a band is selected reports the
// pointer's motion (CG_DRAG); the page turns it into parameter changes.
#include "Controls.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include "ResourceIds.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qz {

namespace {

constexpr COLORREF kSelectedColour = RGB(255, 255, 255);
constexpr COLORREF kUnselectedColour = RGB(157, 183, 202);
constexpr COLORREF kReferenceColour = RGB(127, 161, 186);
constexpr int kLevelDecay = 40; // tenths of dB the dot falls per update
constexpr int kColumnStep = 3;

struct CurveGraphState {
    int dragging;
    int range;
    short lastX, lastY;
    int count;
    int selected;
    CurveParams curves[kMaxCurves];
    int level;
    COLORREF selectedColours[4];
    COLORREF unselectedColours[4];
    COLORREF referenceColour;
    HBITMAP skin;
};

// The gain law in the log domain, in single precision as the band compressors
// compute it: 1 below the knee, a quadratic soft knee, then the ratio's slope; the
// Vintage type rises to a limited reduction and then runs 1:1 again.
struct GainLaw {
    float l0, lowKnee, highKnee, slope, kneeScale, topGain, lnTop, blend, makeUp;
    bool vintage;

    explicit GainLaw(const CurveParams& c)
    {
        const float ln10 = std::log(10.0f);
        const float threshold = std::pow(10.0f, c.threshold / 200.0f);
        makeUp = std::pow(10.0f, c.gain / 200.0f);
        const float rawRatio = std::max(c.ratio, 1) / 10.0f;
        const float ratio = c.ratio == 301 ? 10000.0f : rawRatio;
        const float k = std::pow(10.0f, -c.knee / 20.0f);
        slope = 1.0f / ratio - 1.0f;
        l0 = std::log(threshold);
        lowKnee = std::log(k * threshold);
        highKnee = std::log(threshold / k);
        // A hard knee has no knee region: the scale is never used then.
        kneeScale = highKnee > lowKnee ? 0.5f / (highKnee - lowKnee) : 0.0f;
        vintage = c.type != 0;
        topGain = lnTop = blend = 0.0f;
        if (vintage) {
            const float upper = l0 + 1.25f * std::pow(rawRatio, 0.25f);
            topGain = std::exp((upper - l0) * slope);
            highKnee = upper + c.knee * ln10 / 20.0f;
            slope = std::log(topGain) / (highKnee - l0);
            lnTop = (highKnee - l0) * slope;
            blend = std::min(l0 - lowKnee, 1.0f);
        }
    }

    float Gain(float amplitude) const
    {
        const float l = std::log(amplitude);
        if (l < lowKnee)
            return 1.0f;
        if (!vintage) {
            if (l < highKnee)
                return std::exp(slope * (l - lowKnee) * (l - lowKnee) * kneeScale);
            return std::exp((l - l0) * slope);
        }
        if (l < highKnee) {
            const float u = (l - lowKnee) / (highKnee - lowKnee);
            const float w = u * u * (3.0f - 2.0f * u);
            return std::exp(lnTop * (u + (w - u) * blend));
        }
        return topGain;
    }

    float Output(float amplitude) const { return Gain(amplitude) * amplitude * makeUp; }
};

// The row of an output amplitude: 0 dB at the area's top, `range` tenths of dB over n rows.
int OutputRow(float output, int n, int range, int top)
{
    const double row = std::floor(std::log10(output) * -200.0 * n / range + 0.5);
    return int(std::clamp(row, -100000.0, 100000.0)) + top;
}

void PaintCurve(HDC dc, const GainLaw& law, int left, int top, int n, int range, COLORREF colour)
{
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ previous = SelectObject(dc, pen);
    for (int j = 0; j < n; j += kColumnStep) {
        const float amplitude = std::pow(10.0f, -3.0f * (n - j - 1) / n);
        const int y = OutputRow(law.Output(amplitude), n, range, top);
        if (j == 0)
            MoveToEx(dc, left + j, y, nullptr);
        else
            LineTo(dc, left + j, y);
    }
    SelectObject(dc, previous);
    DeleteObject(pen);
}

bool HasSelection(const CurveGraphState& s) { return s.selected >= 0 && s.selected < s.count; }

void PaintGraph(HWND window, CurveGraphState& s)
{
    OffscreenPaint paint(window, s.skin);
    if (!paint.ok())
        return;
    HDC dc = paint.dc();
    const int l = 2, t = 2, r = paint.width() - 2, b = paint.height() - 2;
    const int n = b - t;
    IntersectClipRect(dc, l, t, r, b);
    DrawLine(dc, l, b - 1, r, t - 1, s.referenceColour);

    int order[kMaxCurves];
    for (int i = 0; i < s.count; ++i)
        order[i] = i;
    if (HasSelection(s))
        std::swap(order[s.selected], order[s.count - 1]);
    for (int k = 0; k < s.count; ++k) {
        const int i = order[k];
        const bool selected = i == s.selected;
        const COLORREF colour = i < 4 ? (selected ? s.selectedColours[i] : s.unselectedColours[i])
                                      : (selected ? kSelectedColour : kUnselectedColour);
        PaintCurve(dc, GainLaw(s.curves[i]), l, t, n, s.range, colour);
    }

    if (HasSelection(s)) {
        const GainLaw law(s.curves[s.selected]);
        const int xd = r - int(std::floor(0.5 - double(s.level * n) / s.range));
        const int y = OutputRow(law.Output(std::pow(10.0f, s.level / 200.0f)), n, s.range, t);
        Ellipse(dc, xd - 4, y - 3, xd + 3, y + 4);
    }
}

void SetGraphCursor(int resource) { SetCursor(LoadCursorA(ToolkitModule(), MAKEINTRESOURCEA(resource))); }

// --- Message handlers ------------------------------------------------------------

LRESULT OnCreate(HWND window, LPARAM lParam)
{
    auto* s = CreateWindowState<CurveGraphState>(window);
    if (!s)
        return -1;
    s->skin = SkinFromCreateStruct(lParam);
    s->range = 600;
    s->count = 1;
    for (CurveParams& c : s->curves)
        c = CurveParams{0, 10, 0, 0, 0, 10, 0};
    s->level = -999;
    for (int i = 0; i < 4; ++i) {
        s->selectedColours[i] = kSelectedColour;
        s->unselectedColours[i] = kUnselectedColour;
    }
    s->referenceColour = kReferenceColour;
    return 0;
}

void OnButtonDown(HWND window, CurveGraphState& s, LPARAM lParam)
{
    if (!HasSelection(s))
        return;
    s.lastX = short(LOWORD(lParam));
    s.lastY = short(HIWORD(lParam));
    s.dragging = 1;
    SetGraphCursor(IDC_GRAPH_DRAG);
    SetCapture(window);
    SetGraphDragging(true);
    SetFocus(window);
}

void OnMouseMove(HWND window, CurveGraphState& s, LPARAM lParam)
{
    if (!s.dragging)
        return;
    const short x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
    const int dx = x - s.lastX, dy = y - s.lastY;
    s.lastX = x;
    s.lastY = y;
    SendMessageA(GetParent(window), CG_DRAG, WPARAM(dx), LPARAM(dy));
}

// Button up, or the capture taken away.
void EndDrag(HWND window, CurveGraphState& s)
{
    if (!s.dragging)
        return;
    s.dragging = 0; // first: releasing the capture comes back here
    SetGraphCursor(IDC_GRAPH_GRAB);
    if (GetCapture() == window)
        ReleaseCapture();
    ClearDragFlags();
}

void OnSetLevel(HWND window, CurveGraphState& s, const int* level)
{
    if (!level)
        return;
    s.level = std::max(s.level - kLevelDecay, *level);
    PaintGraph(window, s);
}

void OnSetCurves(HWND window, CurveGraphState& s, const CurveParams* curves, LPARAM selected)
{
    if (curves)
        std::memcpy(s.curves, curves, sizeof(CurveParams) * s.count);
    s.selected = int(selected);
    PaintGraph(window, s);
}

void OnSetColours(CurveGraphState& s, const COLORREF* colours)
{
    if (!colours)
        return;
    for (int i = 0; i < 4; ++i) {
        s.selectedColours[i] = colours[2 * i];
        s.unselectedColours[i] = colours[2 * i + 1];
    }
}

} // namespace

double CurveOutput(const CurveParams& curve, double amplitude)
{
    return GainLaw(curve).Output(float(amplitude));
}

namespace {

void OnDestroy(HWND /*window*/, CurveGraphState& s)
{
    if (s.dragging)
        ClearDragFlags();
}

LRESULT HandleMessage(HWND window, CurveGraphState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CAPTURECHANGED:
        EndDrag(window, s);
        break;
    case WM_SETCURSOR:
        if (HasSelection(s))
            SetGraphCursor(s.dragging ? IDC_GRAPH_DRAG : IDC_GRAPH_GRAB);
        else
            SetCursor(LoadCursor(nullptr, IDC_ARROW));
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnButtonDown(window, s, lParam);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(window, s, lParam);
        return 0;
    case WM_LBUTTONUP:
        EndDrag(window, s);
        break;
    case CG_SETRANGE:
        if (int(wParam) > 0) // the span divides every row
            s.range = int(wParam);
        break;
    case CG_SETLEVEL:
        OnSetLevel(window, s, reinterpret_cast<const int*>(wParam));
        break;
    case CG_SETCURVES:
        OnSetCurves(window, s, reinterpret_cast<const CurveParams*>(wParam), lParam);
        break;
    case CG_SETCOUNT:
        if (wParam >= 1 && wParam <= kMaxCurves)
            s.count = int(wParam);
        break;
    case CG_SETLINECOLOR:
        s.referenceColour = COLORREF(wParam);
        break;
    case CG_SETCOLORS:
        OnSetColours(s, reinterpret_cast<const COLORREF*>(wParam));
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const ControlHandlers<CurveGraphState> kCurveGraphHandlers{OnCreate, PaintGraph, HandleMessage, OnDestroy};

} // namespace

LRESULT CALLBACK CurveGraphProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchControlMessage(kCurveGraphHandlers, window, message, wParam, lParam);
}

} // namespace qz
