// Painting leaks no GDI object: each class repainted 1000 times, counted through
// this program's import table (GdiLedger.h), and the count shown to catch a leak.
#include "ControlsTestSupport.h"
#include "GdiLedger.h"

#include "Controls.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <gtest/gtest.h>

using namespace qz;

namespace {

TEST(GdiObjectCount, TheCountSeesALeakAndADeleteWhileSelected)
{
    ASSERT_TRUE(InstallGdiCounters()) << "the program imports the GDI calls it counts";
    const size_t before = g_ledger.live.size();
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    EXPECT_EQ(g_ledger.live.size(), before + 1) << "a pen made and not deleted is counted";
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, pen);
    const long selectedBefore = g_ledger.deletedWhileSelected;
    DeleteObject(pen);
    EXPECT_EQ(g_ledger.deletedWhileSelected, selectedBefore + 1) << "deleting a selected pen is seen";
    SelectObject(dc, previous);
    DeleteObject(pen);
    DeleteDC(dc);
    EXPECT_EQ(g_ledger.live.size(), before);
}

void RefreshNow(HWND button) { SendMessageA(button, PB_REFRESH, 0, 1); }

void InvalidateAndUpdate(HWND window)
{
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

TEST(GdiObjectCount, StaysFlatAcross1000RepaintsOfEachClass)
{
    ASSERT_TRUE(InstallGdiCounters());
    TestParent& parent = Parent();
    HMODULE module = ToolkitModule();

    // A button with everything a paint can draw: faces, checked tint, icon, text,
    // menu mark and the focus frame; and one with the down arrow, pressed.
    HWND type = parent.Create("qz:PushButton", 10018, 431, 250, 76, 21, PBS_MENUMARK, "Normal");
    SendMessageA(type, PB_SETFACES, WPARAM(LoadPixelImage(module, IDR_FACE76_NORMAL)),
                 LPARAM(LoadPixelImage(module, IDR_FACE76_PRESSED)));
    SendMessageA(type, PB_SETICON, IDB_ICON_SOLO, 0);
    SendMessageA(type, PB_SETCHECK, 1, 0);
    SetFocus(type);
    ExpectFlatOver1000Repaints("qz:PushButton with menu mark, icon, check and focus", type, RefreshNow);

    HWND arrow = parent.Create("qz:PushButton", 20013, 235, 16, 15, 21, PBS_ARROWMARK, "");
    SendMessageA(arrow, PB_SETFACES, WPARAM(LoadPixelImage(module, IDR_FACE15_NORMAL)),
                 LPARAM(LoadPixelImage(module, IDR_FACE15_PRESSED)));
    SendMessageA(arrow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ExpectFlatOver1000Repaints("qz:PushButton pressed, with the arrow", arrow, RefreshNow);
    SendMessageA(arrow, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));

    HWND text = parent.Create("qz:StaticText", 10022, 503, 32, 52, 11, 0, "-Inf -Inf");
    ExpectFlatOver1000Repaints("qz:StaticText", text, InvalidateAndUpdate);

    HWND strip = parent.Create("qz:StaticImage", 10140, 333, 217, 200, 20);
    SendMessageA(strip, SI_SETIMAGE, IDB_STRIP_BAND1, 0);
    ExpectFlatOver1000Repaints("qz:StaticImage", strip, InvalidateAndUpdate);

    HWND caption = parent.Create("qz:StaticNoHitImage", 10028, 342, 239, 113, 10);
    SendMessageA(caption, SI_SETIMAGE, IDB_CAPTION_BAND, 0);
    ExpectFlatOver1000Repaints("qz:StaticNoHitImage", caption, InvalidateAndUpdate);

    // Destroying a button releases what it kept (icon and menu mark bitmaps).
    const size_t alive = g_ledger.live.size();
    DestroyWindow(type);
    EXPECT_EQ(g_ledger.live.size(), alive - 2) << "the icon and the menu mark go with the button";
}

} // namespace
