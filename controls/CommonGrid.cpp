// qz:CommonGrid: the table of the all-bands view, five bands by six rows (Ratio,
// Knee, Type, Gain, Attack, Release), read from the engine's parameter block at
// every paint. A cell, or a whole row through its label, is selected and changed by
// dragging, the wheel or the arrow keys; the grid reports each change as a step for
// a row and a column (GR_CELLDELTA) and the page applies it.
#include "Controls.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <cstdio>

namespace qz {

namespace {

constexpr int kRows = 6, kColumns = 5;
constexpr int kAllBands = -1;
constexpr int kWidth = 210, kHeight = 120;
constexpr COLORREF kFrameColour = RGB(255, 0, 0);
enum Row { kRatio, kKnee, kType, kGain, kAttack, kRelease };
// Where each row's parameter of band 0 sits in the parameter block.
constexpr int kBlockIndex[kRows] = {25, 30, 50, 35, 40, 45};

struct GridState {
    HBITMAP skin;
    HBITMAP background;
    int backgroundNumber;
    int selectedRow;
    int selectedColumn;
    int dragging;
    int lastY;
    int lastWheelTime;
    const int32_t* block;
};

void PaintGrid(HWND window, GridState& s)
{
    OffscreenPaint paint(window, s.skin);
    if (!paint.ok())
        return;
    HDC dc = paint.dc();
    if (s.background) {
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ previous = SelectObject(source, s.background);
        BitBlt(dc, 0, 0, kWidth, kHeight, source, 0, 0, SRCCOPY);
        SelectObject(source, previous);
        DeleteDC(source);
    }
    if (s.block) {
        ToolkitFont font(dc);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c) {
                char text[32];
                FormatGridCell(r, s.block[kBlockIndex[r] + c], text, sizeof text);
                RECT cell{22 + 33 * c, 12 + 18 * r, 54 + 33 * c, 29 + 18 * r};
                DrawTextA(dc, text, -1, &cell, DT_RIGHT | DT_VCENTER | DT_END_ELLIPSIS);
            }
    }
    if (s.selectedRow >= 0) {
        const int y1 = 18 * s.selectedRow + 9, y2 = y1 + 18;
        const int x1 = s.selectedColumn == kAllBands ? 25 : 33 * s.selectedColumn + 25;
        const int x2 = s.selectedColumn == kAllBands ? 190 : x1 + 33;
        const int bottomEnd = s.selectedColumn == kAllBands ? 191 : x1 + 34;
        DrawLine(dc, x1, y1, x2, y1, kFrameColour);
        DrawLine(dc, x1, y2, bottomEnd, y2, kFrameColour);
        DrawLine(dc, x1, y1, x1, y2, kFrameColour);
        DrawLine(dc, x2, y1, x2, y2, kFrameColour);
    }
}

void SendStep(HWND window, const GridState& s, long long step)
{
    SendMessageA(GetParent(window), GR_CELLDELTA, MAKEWPARAM(s.selectedRow, WORD(short(s.selectedColumn))),
                 LPARAM(WORD(SaturateToShort(step))));
}

// --- Message handlers ------------------------------------------------------------

LRESULT OnCreate(HWND window, LPARAM lParam)
{
    auto* s = CreateWindowState<GridState>(window);
    if (!s)
        return -1;
    s->skin = SkinFromCreateStruct(lParam);
    s->selectedRow = -1;
    return 0;
}

void OnDestroy(HWND /*window*/, GridState& s)
{
    if (s.dragging)
        ClearDragFlags();
    if (s.background)
        DeleteObject(s.background);
}

void OnButtonDown(HWND window, GridState& s, LPARAM lParam, bool doubleClick)
{
    const int x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
    const int column = (x + 7) / 33 - 1;
    const int q = (y + 9) / 18;
    s.selectedRow = -1;
    if (q >= 1 && q <= kRows && column < kColumns) {
        s.selectedColumn = column < 0 ? kAllBands : column;
        s.selectedRow = q - 1;
        s.dragging = 1;
        SetCapture(window);
        SetControlDragging(true);
        s.lastY = y;
        if (doubleClick)
            SendMessageA(GetParent(window), GR_CELLDBLCLK, WPARAM(s.selectedRow), LPARAM(s.selectedColumn));
    }
    SetFocus(window);
    PaintGrid(window, s);
}

void OnMouseMove(HWND window, GridState& s, LPARAM lParam)
{
    if (!s.dragging)
        return;
    const int y = short(HIWORD(lParam));
    int d = s.lastY - y; // upward is positive
    s.lastY = y;
    if (s.selectedRow == kRatio) // dragging up lowers the ratio
        d = -d;
    SendStep(window, s, d);
}

// Button up, or the capture taken away.
void EndDrag(HWND window, GridState& s)
{
    if (!s.dragging)
        return;
    s.dragging = 0; // first: releasing the capture comes back here
    if (GetCapture() == window)
        ReleaseCapture();
    SetControlDragging(false);
    PaintGrid(window, s);
}

void OnMouseWheel(HWND window, GridState& s, WPARAM wParam)
{
    if (s.selectedRow < 0)
        return;
    const long long notches = WheelNotches(wParam);
    const int speed = WheelSpeed(s.lastWheelTime, int(GetMessageTime()));
    SendStep(window, s, speed * notches * (notches < 0 ? -notches : notches));
}

void OnSetBitmap(GridState& s, WPARAM number)
{
    if (s.background)
        DeleteObject(s.background);
    s.backgroundNumber = WORD(number);
    s.background = LoadBitmapA(ToolkitModule(), MAKEINTRESOURCEA(s.backgroundNumber));
}

} // namespace

void FormatGridCell(int row, int value, char* text, size_t size)
{
    switch (row) {
    case kKnee:
        if (value == 0)
            std::snprintf(text, size, "Hard");
        else
            std::snprintf(text, size, "%d", value);
        break;
    case kType:
        std::snprintf(text, size, value ? "Vint" : "Norm");
        break;
    case kRelease:
        std::snprintf(text, size, "%d", value);
        break;
    default:
        std::snprintf(text, size, "%.1f", value / 10.0);
    }
}

namespace {

LRESULT HandleMessage(HWND window, GridState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CAPTURECHANGED:
        EndDrag(window, s);
        break;
    case WM_SETFOCUS:
        PaintGrid(window, s);
        break;
    case WM_KILLFOCUS:
        s.selectedRow = -1;
        PaintGrid(window, s);
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnButtonDown(window, s, lParam, message == WM_LBUTTONDBLCLK);
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
        if (s.selectedRow >= 0 && (wParam == VK_UP || wParam == VK_DOWN)) {
            SendStep(window, s, wParam == VK_UP ? 1 : -1);
            return 0;
        }
        break;
    case GR_SETBITMAP:
        OnSetBitmap(s, wParam);
        break;
    case GR_SETDATA:
        s.block = reinterpret_cast<const int32_t*>(wParam);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const ControlHandlers<GridState> kCommonGridHandlers{OnCreate, PaintGrid, HandleMessage, OnDestroy};

} // namespace

LRESULT CALLBACK CommonGridProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchControlMessage(kCommonGridHandlers, window, message, wParam, lParam);
}

} // namespace qz
