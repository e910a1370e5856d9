// qz:XoverGraph: the five bands as translucent trapezoids on a logarithmic frequency
// axis, split by the four crossovers. A band's flat top stands as high as its gain;
// bands silenced by another band's solo are faint; the selected band is white.
// Handles move crossovers (pushing their neighbours along), a band's top edge moves
// its gain, and a click selects a band. The control only reports the gestures.
#include "Controls.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qz {

namespace {

constexpr int kBands = 5, kCrossovers = 4;
constexpr double kLowestFrequency = 18.0, kHighestFrequency = 22050.0;
constexpr int kNoTarget = -1;
constexpr int kBandTopTarget = 4; // drag target 4 + b: the top edge of band b
constexpr int kGrabDistance = 3;
constexpr int kHandleWidth = 8, kHandleHeight = 14;
constexpr COLORREF kSelectedColour = RGB(255, 255, 255);
constexpr COLORREF kBandPen = RGB(209, 228, 237);
constexpr COLORREF kBandBrush = RGB(155, 208, 239);
constexpr COLORREF kBevelLight = RGB(182, 221, 242);
constexpr COLORREF kBevelDark = RGB(90, 132, 171);
constexpr COLORREF kBevelMid = RGB(121, 170, 204);

struct XoverState {
    int frequencies[kCrossovers];
    int gains[kBands];
    int crossoverX[kCrossovers]; // from the last paint
    int bandTopY[kBands];        // from the last paint
    int dragTarget;
    int dragReference;           // crossover: the press's offset from the line; band: the last y
    int lastX;                   // pointer x of the press or the last crossover move
    int selectedBand;
    int solo[kBands];
    HBITMAP handle;              // loaded once per XG_SETHANDLE
    int gainFullScale;
    HBITMAP skin;
};

const double kLogLow = std::log10(kLowestFrequency);
const double kLogSpan = std::log10(kHighestFrequency) - std::log10(kLowestFrequency);

// A 24-bit top-down section selected into a memory DC, for the pixel blending.
struct Layer {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    uint8_t* bits = nullptr;
    int stride = 0;

    Layer(HDC reference, int width, int height)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        void* pixels = nullptr;
        bitmap = CreateDIBSection(reference, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
        dc = bitmap ? CreateCompatibleDC(reference) : nullptr;
        if (dc) {
            previous = SelectObject(dc, bitmap);
            bits = static_cast<uint8_t*>(pixels);
            stride = (width * 3 + 3) & ~3;
        }
    }
    ~Layer()
    {
        if (dc) {
            SelectObject(dc, previous);
            DeleteDC(dc);
        }
        if (bitmap)
            DeleteObject(bitmap);
    }
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;
    bool ok() const { return bits != nullptr; }

    void FillRows(int top, int bottom, int width, COLORREF colour)
    {
        RECT r{0, top, width, bottom};
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
};

bool IsSoloedOut(const XoverState& s, int band)
{
    const bool anySolo = std::any_of(std::begin(s.solo), std::end(s.solo), [](int f) { return f != 0; });
    return anySolo && !s.solo[band];
}

void DrawTrapezoid(HDC dc, const POINT (&p)[4], COLORREF penColour, COLORREF brushColour)
{
    HPEN pen = CreatePen(PS_SOLID, 1, penColour);
    HBRUSH brush = CreateSolidBrush(brushColour);
    HGDIOBJ previousPen = SelectObject(dc, pen);
    HGDIOBJ previousBrush = SelectObject(dc, brush);
    Polygon(dc, p, 4);
    SelectObject(dc, previousPen);
    SelectObject(dc, previousBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

// Blends the layer's drawn pixels (all but the key colour) into the main image:
// each channel becomes (main x mainWeight + layer x layerWeight) / 16.
void BlendLayer(Layer& main, const Layer& layer, int width, int height, int layerWeight)
{
    const int mainWeight = 16 - layerWeight;
    for (int y = 0; y < height - 2; ++y) {
        uint8_t* d = main.bits + y * main.stride;
        const uint8_t* l = layer.bits + y * layer.stride;
        for (int x = 2; x < width - 2; ++x) {
            const uint8_t* sp = l + 3 * x; // blue, green, red
            if (sp[0] == 255 && sp[1] == 0 && sp[2] == 255)
                continue;
            for (int c = 0; c < 3; ++c)
                d[3 * x + c] = uint8_t((d[3 * x + c] * mainWeight + sp[c] * layerWeight) >> 4);
        }
    }
}

void PaintBand(XoverState& s, Layer& main, Layer& layer, int band, int width, int height)
{
    const int centre = (height - 4) / 2 + 2;
    const bool selected = band == s.selectedBand;
    const int xL = XoverAxisX(band == 0 ? 1.0 : s.frequencies[band - 1], width);
    const int xH = XoverAxisX(band == kBands - 1 ? 200000.0 : s.frequencies[band], width);
    layer.FillRows(0, height, width, kMagentaKey);

    const int h = int((long long)s.gains[band] * (centre - 2) / s.gainFullScale);
    const int h2 = h / 2;
    const POINT p[4] = {{xL + 10, centre - h}, {xH - 10, centre - h}, {xH + h2 + 18, height - 2},
                        {xL - h2 - 18, height - 2}};
    DrawTrapezoid(layer.dc, p, selected ? kSelectedColour : kBandPen, selected ? kSelectedColour : kBandBrush);
    if (!selected) {
        DrawLine(layer.dc, p[0].x, p[0].y + 1, p[1].x, p[1].y + 1, kBevelLight);
        DrawLine(layer.dc, p[0].x, p[0].y + 2, p[3].x, p[3].y + 2, kBevelLight);
        DrawLine(layer.dc, p[1].x, p[1].y, p[2].x, p[2].y, kBevelDark);
        DrawLine(layer.dc, p[1].x, p[1].y + 2, p[2].x, p[2].y + 2, kBevelMid);
    }
    // A band narrower than its top needs is cut down to a point. Crossovers out of
    // order make a band of no width; the cut stays within the layer.
    const int bandWidth = std::max(xH - xL, 0);
    if (bandWidth < h + 22)
        layer.FillRows(0, std::clamp(centre - h + 22 - bandWidth, 0, height), width, kMagentaKey);
    if (band > 0) {
        DrawLine(layer.dc, xL, 2, xL, height - 2, kSelectedColour);
        s.crossoverX[band - 1] = xL;
    }
    s.bandTopY[band] = centre - h;
    BlendLayer(main, layer, width, height, IsSoloedOut(s, band) ? 2 : 8);
}

void PaintXoverGraph(HWND window, XoverState& s)
{
    RECT client, place;
    GetClientRect(window, &client);
    const int width = client.right, height = client.bottom;
    if (width < 5 || height < 5)
        return;
    HDC windowDc = GetDC(window);
    {
        Layer main(windowDc, width, height), layer(windowDc, width, height);
        if (main.ok() && layer.ok()) {
            if (s.skin && WindowRectInParent(window, &place)) {
                HDC skinDc = CreateCompatibleDC(windowDc);
                HGDIOBJ previous = SelectObject(skinDc, s.skin);
                BitBlt(main.dc, 0, 0, width, height, skinDc, place.left, place.top, SRCCOPY);
                SelectObject(skinDc, previous);
                DeleteDC(skinDc);
            }
            GdiFlush();
            for (int b = 0; b < kBands; ++b) {
                PaintBand(s, main, layer, b, width, height);
                GdiFlush();
            }
            IntersectClipRect(main.dc, 2, 2, width - 2, height - 2);
            for (int k = 0; k < kCrossovers && s.handle; ++k)
                TransparentBlit(main.dc, XoverAxisX(s.frequencies[k], width) - 3, height - 2 - kHandleHeight, s.handle,
                                0, 0, kHandleWidth, kHandleHeight, kMagentaKey);
            BitBlt(windowDc, 0, 0, width, height, main.dc, 0, 0, SRCCOPY);
        }
    }
    ReleaseDC(window, windowDc);
}

// Band b spans [X(b-1), X(b)], with the outer bands reaching the control's ends.
bool InBand(const XoverState& s, int band, int x)
{
    const int low = band == 0 ? 0 : s.crossoverX[band - 1];
    const int high = band == kBands - 1 ? 1000 : s.crossoverX[band];
    return low <= x && x <= high;
}

int CrossoverAt(const XoverState& s, int x)
{
    for (int k = 0; k < kCrossovers; ++k)
        if (std::abs(x - s.crossoverX[k]) <= kGrabDistance)
            return k;
    return -1;
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PostMessageA(GetParent(window), message, wParam, lParam);
}

// --- Message handlers ------------------------------------------------------------

LRESULT OnCreate(HWND window, LPARAM lParam)
{
    auto* s = CreateWindowState<XoverState>(window);
    if (!s)
        return -1;
    s->skin = SkinFromCreateStruct(lParam);
    const int defaults[kCrossovers] = {80, 320, 1260, 5000};
    std::memcpy(s->frequencies, defaults, sizeof defaults);
    s->dragTarget = kNoTarget;
    s->selectedBand = -1;
    s->gainFullScale = 225;
    return 0;
}

void OnButtonDown(HWND window, XoverState& s, LPARAM lParam, bool doubleClick)
{
    const int x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
    s.dragTarget = kNoTarget;
    const int crossover = CrossoverAt(s, x);
    if (crossover >= 0) {
        s.dragTarget = crossover;
        s.dragReference = x - s.crossoverX[crossover];
        s.lastX = x;
        SetCapture(window);
        SendMessageA(GetParent(window), XG_DRAGSTART, 0, 0);
    } else {
        for (int b = 0; b < kBands; ++b) {
            if (!InBand(s, b, x))
                continue;
            s.selectedBand = b;
            Post(window, XG_BANDCLICK, WPARAM(b), 0);
            if (std::abs(y - s.bandTopY[b]) <= kGrabDistance) {
                s.dragTarget = kBandTopTarget + b;
                s.dragReference = y;
                SetCapture(window);
                SendMessageA(GetParent(window), XG_DRAGSTART, 0, 0);
                if (doubleClick)
                    Post(window, XG_GAINDELTA, WPARAM(b), LPARAM(-s.gains[b]));
                break;
            }
        }
    }
    SetFocus(window);
}

// A crossover follows the pointer; the ones it passes are pushed along with it.
void MoveCrossover(HWND window, XoverState& s, int k, int x)
{
    if (x == s.lastX)
        return;
    s.lastX = x;
    RECT client;
    GetClientRect(window, &client);
    const int f = XoverAxisFrequency(x - s.dragReference, client.right);
    s.frequencies[k] = f;
    for (int j = 0; j < kCrossovers; ++j)
        if ((j < k && s.frequencies[j] > f) || (j > k && s.frequencies[j] < f)) {
            s.frequencies[j] = f;
            Post(window, XG_FREQCHANGED, WPARAM(j), LPARAM(f));
        }
    Post(window, XG_FREQCHANGED, WPARAM(k), LPARAM(f));
}

void OnMouseMove(HWND window, XoverState& s, LPARAM lParam)
{
    if (s.dragTarget >= kBandTopTarget) {
        const int y = short(HIWORD(lParam));
        const int dy = s.dragReference - y;
        s.dragReference = y;
        if (dy != 0)
            Post(window, XG_GAINDELTA, WPARAM(s.dragTarget - kBandTopTarget), LPARAM(dy));
    } else if (s.dragTarget != kNoTarget) {
        MoveCrossover(window, s, s.dragTarget, short(LOWORD(lParam)));
    }
}

// Button up, or the capture taken away.
void EndDrag(HWND window, XoverState& s)
{
    if (s.dragTarget == kNoTarget)
        return;
    s.dragTarget = kNoTarget; // first: releasing the capture comes back here
    if (GetCapture() == window)
        ReleaseCapture();
}

void OnSetCursor(HWND window, const XoverState& s)
{
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(window, &p);
    LPCSTR shape = IDC_ARROW;
    if (CrossoverAt(s, p.x) >= 0)
        shape = IDC_SIZEWE;
    else
        for (int b = 0; b < kBands; ++b)
            if (InBand(s, b, p.x) && std::abs(p.y - s.bandTopY[b]) <= kGrabDistance)
                shape = IDC_SIZENS;
    SetCursor(LoadCursorA(nullptr, shape));
}

void OnSetSolo(HWND window, XoverState& s, WPARAM band, LPARAM flag)
{
    if (band >= kBands)
        return;
    if ((s.solo[band] != 0) != (flag != 0))
        InvalidateRect(window, nullptr, FALSE);
    s.solo[band] = flag != 0;
}

void OnSetHandle(XoverState& s, WPARAM number)
{
    if (s.handle)
        DeleteObject(s.handle);
    s.handle = LoadBitmapA(ToolkitModule(), MAKEINTRESOURCEA(WORD(number)));
}

} // namespace

int XoverAxisX(double frequency, int width)
{
    const double x = (std::log10(std::max(frequency, 1.0)) - kLogLow) * (width - 4) / kLogSpan + 2;
    return int(x);
}

int XoverAxisFrequency(int x, int width)
{
    const int innerWidth = std::max(width - 4, 1);
    const double f = std::pow(10.0, (x - 2 + 0.5) * kLogSpan / innerWidth + kLogLow);
    return int(std::floor(std::clamp(f, kLowestFrequency, kHighestFrequency) + 0.5));
}

namespace {

void OnDestroy(HWND /*window*/, XoverState& s)
{
    if (s.handle)
        DeleteObject(s.handle);
}

LRESULT HandleMessage(HWND window, XoverState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CAPTURECHANGED:
        EndDrag(window, s);
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        PaintXoverGraph(window, s);
        break;
    case WM_SETCURSOR:
        OnSetCursor(window, s);
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnButtonDown(window, s, lParam, message == WM_LBUTTONDBLCLK);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(window, s, lParam);
        break;
    case WM_LBUTTONUP:
        EndDrag(window, s);
        return 0;
    case XG_SETFREQ:
        if (lParam >= 0 && lParam < kCrossovers)
            s.frequencies[lParam] = int(wParam);
        break;
    case XG_SETBANDGAIN:
        if (lParam >= 0 && lParam < kBands)
            s.gains[lParam] = int(wParam);
        break;
    case XG_SETSELECTED:
        s.selectedBand = int(wParam);
        break;
    case XG_SETSOLO:
        OnSetSolo(window, s, wParam, lParam);
        break;
    case XG_SETHANDLE:
        OnSetHandle(s, wParam);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const ControlHandlers<XoverState> kXoverGraphHandlers{OnCreate, PaintXoverGraph, HandleMessage, OnDestroy};

} // namespace

LRESULT CALLBACK XoverGraphProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchControlMessage(kXoverGraphHandlers, window, message, wParam, lParam);
}

} // namespace qz
