// qz:StaticImage and qz:StaticNoHitImage: a bitmap resource of the module, shown at
// the top left without scaling (the band selector strip and the view captions).
// qz:StaticImage posts SI_CLICK to the parent on a left click; qz:StaticNoHitImage
// reports nothing. Where no bitmap covers the control (none set, or a smaller one)
// the skin shows.
#include "Controls.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <algorithm>

namespace qz {

namespace {

struct StaticImageState {
    HBITMAP skin;
    int image; // bitmap resource number, -1 none
};

// The bitmap is loaded for the paint and deleted after it.
void PaintStaticImage(HWND window, StaticImageState& s)
{
    OffscreenPaint paint(window, s.skin);
    if (!paint.ok() || s.image < 0)
        return;
    HBITMAP bitmap = LoadBitmapA(ToolkitModule(), MAKEINTRESOURCEA(s.image));
    if (!bitmap)
        return;
    BITMAP info;
    GetObjectA(bitmap, sizeof info, &info);
    HDC source = CreateCompatibleDC(paint.dc());
    if (source) {
        HGDIOBJ previous = SelectObject(source, bitmap);
        BitBlt(paint.dc(), 0, 0, std::min(paint.width(), int(info.bmWidth)),
               std::min(paint.height(), int(info.bmHeight)), source, 0, 0, SRCCOPY);
        SelectObject(source, previous);
        DeleteDC(source);
    }
    DeleteObject(bitmap);
}

LRESULT OnCreate(HWND window, LPARAM lParam)
{
    auto* s = CreateWindowState<StaticImageState>(window);
    if (!s)
        return -1;
    s->skin = SkinFromCreateStruct(lParam);
    s->image = -1;
    return 0;
}

// Both classes take a new image; only qz:StaticImage tells its parent of clicks.
LRESULT HandleNoHitMessage(HWND window, StaticImageState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == SI_SETIMAGE) {
        s.image = int(wParam);
        InvalidateRect(window, nullptr, FALSE);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT HandleMessage(HWND window, StaticImageState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK)
        PostMessageA(GetParent(window), SI_CLICK, WPARAM(GetDlgCtrlID(window)), lParam);
    return HandleNoHitMessage(window, s, message, wParam, lParam);
}

const ControlHandlers<StaticImageState> kStaticImageHandlers{OnCreate, PaintStaticImage, HandleMessage, nullptr};
const ControlHandlers<StaticImageState> kNoHitImageHandlers{OnCreate, PaintStaticImage, HandleNoHitMessage, nullptr};

} // namespace

LRESULT CALLBACK StaticImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchControlMessage(kStaticImageHandlers, window, message, wParam, lParam);
}

LRESULT CALLBACK StaticNoHitImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchControlMessage(kNoHitImageHandlers, window, message, wParam, lParam);
}

} // namespace qz
