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

    HWND slider = parent.Create("qz:Slider", 10015, 401, 326, 142, 23);
    SendMessageA(slider, SL_SETTHUMB, WPARAM(LoadPixelImage(module, IDR_SLIDER_THUMB)), 0);
    SendMessageA(slider, SL_SETRANGE, 0, 4000);
    SendMessageA(slider, SL_SETPOS, 1000, 0);
    EnableWindow(slider, FALSE); // the disabled paint also covers the thumb's old place
    ExpectFlatOver1000Repaints("qz:Slider, disabled", slider, InvalidateAndUpdate);
    EnableWindow(slider, TRUE);
    SetFocus(slider);
    ExpectFlatOver1000Repaints("qz:Slider, focused", slider, InvalidateAndUpdate);

    HWND field = parent.Create("qz:Edit", 10100, 27, 211, 40, 21, 0x87, "-12.5");
    SendMessageA(field, ED_SETBACKGROUND, WPARAM(LoadPixelImage(module, IDR_FIELD40)), 0);
    SetFocus(field);
    ExpectFlatOver1000Repaints("qz:Edit, focused", field, InvalidateAndUpdate);

    HWND meter = parent.Create("qz:Meter", 10025, 508, 44, 12, 155, MTS_VERTICAL | MTS_BALLISTICS);
    SendMessageA(meter, MT_SETIMAGES, WPARAM(LoadPixelImage(module, IDR_METER_UNLIT)),
                 LPARAM(LoadPixelImage(module, IDR_METER_LIT)));
    SendMessageA(meter, MT_SETRANGE, WPARAM(-600), 0);
    ExpectFlatOver1000Repaints("qz:Meter", meter, [](HWND m) { SendMessageA(m, MT_SETLEVELS, WPARAM(-120), 0); });

    HWND bands = parent.Create("qz:MultiMeter", 20021, 17, 44, 313, 155);
    SendMessageA(bands, MM_SETMARKER, WPARAM(LoadPixelImage(module, IDR_MARKER)), 0);
    SendMessageA(bands, MM_SETMARKERSEL, WPARAM(LoadPixelImage(module, IDR_MARKER_SELECTED)), 0);
    SendMessageA(bands, MM_SETLEVELBITMAP, IDB_LEVEL_BAR, 0);
    SendMessageA(bands, MM_SETGAINBITMAP, IDB_GAIN_BAR, 0);
    SendMessageA(bands, MM_SELECTBAND, 2, 0);
    ExpectFlatOver1000Repaints("qz:MultiMeter with bars, markers and a highlight", bands, [](HWND m) {
        static const int values[kMultiMeterValues] = {-60, -80, -50, -200, -220, 0, -90, -100, 30,
                                                      -300, -310, -120, -400, -420, -10};
        SendMessageA(m, MM_SETVALUES, WPARAM(values), kMultiMeterValues);
    });

    HWND curves = parent.Create("qz:CompGraph", 10006, 333, 44, 155, 155, 1);
    SendMessageA(curves, CG_SETCOUNT, 5, 0);
    CurveParams params[kMaxCurves];
    for (int i = 0; i < kMaxCurves; ++i)
        params[i] = CurveParams{-100 * (i + 1), 20 + 20 * i, 10 * i, 3 * i, -600, 100, i % 2};
    SendMessageA(curves, CG_SETCURVES, WPARAM(params), 2);
    ExpectFlatOver1000Repaints("qz:CompGraph with five curves and the dot", curves, [](HWND g) {
        const int level = -150;
        SendMessageA(g, CG_SETLEVEL, WPARAM(&level), 0);
    });

    HWND xover = parent.Create("qz:XoverGraph", 20020, 17, 253, 313, 102);
    SendMessageA(xover, XG_SETHANDLE, IDB_XOVER_HANDLE, 0);
    SendMessageA(xover, XG_SETBANDGAIN, 120, 1);
    SendMessageA(xover, XG_SETSELECTED, 3, 0);
    SendMessageA(xover, XG_SETSOLO, 1, 1);
    ExpectFlatOver1000Repaints("qz:XoverGraph with handles, a solo and a selection", xover, InvalidateAndUpdate);

    static int32_t block[55] = {};
    for (int i = 25; i < 55; ++i)
        block[i] = i * 7;
    HWND grid = parent.Create("qz:CommonGrid", 10027, 335, 264, 210, 120);
    SendMessageA(grid, GR_SETBITMAP, IDB_GRID, 0);
    SendMessageA(grid, GR_SETDATA, WPARAM(block), 0);
    SendMessageA(grid, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 30));
    SendMessageA(grid, WM_LBUTTONUP, 0, 0);
    ExpectFlatOver1000Repaints("qz:CommonGrid with texts and a selected row", grid, InvalidateAndUpdate);

    // Destroying a control releases what it kept: the bar bitmaps, the handle, the
    // grid's background.
    for (HWND keeper : {bands, xover, grid}) {
        const size_t kept = g_ledger.live.size();
        DestroyWindow(keeper);
        EXPECT_LT(g_ledger.live.size(), kept);
    }

    // Destroying a button releases what it kept (icon and menu mark bitmaps).
    const size_t alive = g_ledger.live.size();
    DestroyWindow(type);
    EXPECT_EQ(g_ledger.live.size(), alive - 2) << "the icon and the menu mark go with the button";
}

} // namespace
