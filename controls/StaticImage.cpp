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
void PaintStaticImage(HWND window, const StaticImageState& s)
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

// The window procedure of both classes; `reportsClicks` tells them apart.
LRESULT HandleStaticImageMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool reportsClicks)
{
    if (message == WM_CREATE)
        return OnCreate(window, lParam);
    auto* s = WindowState<StaticImageState>(window);
    if (!s)
        return DefWindowProcA(window, message, wParam, lParam);

    switch (message) {
    case WM_DESTROY:
        DestroyWindowState<StaticImageState>(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        ValidateUpdateRegion(window);
        PaintStaticImage(window, *s);
        return 0;
    case WM_CAPTURECHANGED:
        ClearDragFlags();
        break;
    case SI_SETIMAGE:
        s->image = int(wParam);
        InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (reportsClicks)
            PostMessageA(GetParent(window), SI_CLICK, WPARAM(GetDlgCtrlID(window)), lParam);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

LRESULT CALLBACK StaticImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return HandleStaticImageMessage(window, message, wParam, lParam, true);
}

LRESULT CALLBACK StaticNoHitImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return HandleStaticImageMessage(window, message, wParam, lParam, false);
}

} // namespace qz
