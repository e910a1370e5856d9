// The interactive controls under the real pointer and keyboard: xdotool sends the
// input to the X server, Wine turns it into window messages, and the parent
// records what the controls report.
#include "ControlsTestSupport.h"

#include "Controls.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <gtest/gtest.h>

using namespace qz;

namespace {

void Gesture(const std::vector<std::string>& steps) { ASSERT_TRUE(XdotoolSteps(steps)); }

void Activate(HWND control)
{
    SetForegroundWindow(Page().window());
    SetFocus(control);
    Pump();
    Page().reports.clear();
}

TEST(SliderInput, ADragCountsPixelsWithTheHiddenRecentredPointer)
{
    Parent();
    HWND slider = Page().Create("qz:Slider", 10015, 401, 326, 142, 23);
    SendMessageA(slider, SL_SETTHUMB, WPARAM(LoadPixelImage(ToolkitModule(), IDR_SLIDER_THUMB)), 0);
    SendMessageA(slider, SL_SETRANGE, 0, 4000);
    SendMessageA(slider, SL_SETPOS, 100, 1);
    // The pointer is re-centred on the screen, beyond the parent: a window behind the
    // parent covers the screen, so that the pointer stays over windows Wine shows,
    // as on a desktop.
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    HWND backdrop = CreateWindowExA(WS_EX_NOACTIVATE, "STATIC", "", WS_POPUP, 0, 0, desktop.right, desktop.bottom,
                                    nullptr, nullptr, nullptr, nullptr);
    ShowWindow(backdrop, SW_SHOWNOACTIVATE);
    SetWindowPos(Page().window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Activate(slider);
    RECT frame;
    GetWindowRect(slider, &frame);
    const int thumbX = 4; // the thumb stands at x 3 for 100 of 4000 over 113 pixels
    Gesture({"mousemove " + ScreenPoint(slider, thumbX, 10) + " mousedown 1", "mousemove_relative -- 5 0",
             "mousemove_relative -- 15 0"});
    EXPECT_EQ(SendMessageA(slider, SL_GETPOS, 0, 0), 120) << "one unit per pixel";
    EXPECT_TRUE(IsControlDragging());

    // At the screen's edge the pointer is put back in the middle; the jump is no step.
    Gesture({"mousemove " + std::to_string(desktop.right - 1) + " " + std::to_string(frame.top + 10)});
    POINT pointer;
    GetCursorPos(&pointer);
    EXPECT_EQ(pointer.x, (desktop.left + desktop.right) / 2) << "re-centred";
    const int afterEdge = int(SendMessageA(slider, SL_GETPOS, 0, 0));
    EXPECT_EQ(afterEdge, 120) << "neither the move into the edge nor the jump back counts";
    Gesture({"mousemove_relative -- 7 0", "mousemove_relative -- 3 0", "mouseup 1"});
    EXPECT_GE(SendMessageA(slider, SL_GETPOS, 0, 0), 123) << "moves after the jump count again";
    EXPECT_LE(SendMessageA(slider, SL_GETPOS, 0, 0), 130);
    EXPECT_FALSE(IsControlDragging());

    const auto changes = ReportsOf(SL_POSCHANGED);
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(int(changes.back().wParam), int(SendMessageA(slider, SL_GETPOS, 0, 0)));
    EXPECT_EQ(ReportsOf(SL_ENDCHANGE).size(), 1u);
    // The pointer comes back over the thumb.
    GetCursorPos(&pointer);
    EXPECT_GT(pointer.x, frame.left);
    EXPECT_LT(pointer.x, frame.right);
    EXPECT_EQ(pointer.y, (frame.top + frame.bottom) / 2 - 2);
    DestroyWindow(backdrop);
    SetWindowPos(Page().window(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

TEST(MultiMeterInput, AThresholdDragPostsTheMotion)
{
    Parent();
    HWND meter = Page().Create("qz:MultiMeter", 20021, 17, 44, 313, 155);
    SendMessageA(meter, MM_SETMARKER, WPARAM(LoadPixelImage(ToolkitModule(), IDR_MARKER)), 0);
    int threshold = -300;
    SendMessageA(meter, MM_SETTHRESHOLD, WPARAM(&threshold), 1);
    UpdateWindow(meter);
    Activate(meter);
    // Band 1's marker for -30 dB: x 61 + 60 - 33 = 88, y 147 - 70 = 77.
    Gesture({"mousemove " + ScreenPoint(meter, 88, 77) + " mousedown 1", "mousemove_relative -- 0 -12",
             "mousemove_relative -- 0 -13", "mouseup 1"});
    int total = 0;
    std::vector<LPARAM> bands;
    for (const Report& r : ReportsOf(MM_ADJUST)) {
        total += int(r.wParam);
        bands.push_back(r.lParam);
    }
    EXPECT_EQ(total, 25) << "25 pixels up";
    ASSERT_GE(bands.size(), 2u);
    EXPECT_EQ(bands.back(), -1) << "the end of the drag";
    EXPECT_EQ(bands.front(), 1);
    const auto focus = ReportsOf(MM_BANDFOCUS);
    ASSERT_EQ(focus.size(), 1u);
    EXPECT_EQ(focus[0].wParam, WPARAM(1));
    POINT pointer;
    GetCursorPos(&pointer);
    POINT marker{88, 77};
    ClientToScreen(meter, &marker);
    EXPECT_EQ(pointer.x, marker.x) << "the pointer comes back to the marker";
}

TEST(XoverInput, AHandleDragCarriesItsNeighbours)
{
    Parent();
    HWND graph = Page().Create("qz:XoverGraph", 20020, 17, 253, 313, 102);
    SendMessageA(graph, XG_SETHANDLE, IDB_XOVER_HANDLE, 0);
    UpdateWindow(graph);
    Activate(graph);
    Gesture({"mousemove " + ScreenPoint(graph, 186, 90) + " mousedown 1", "mousemove " + ScreenPoint(graph, 120, 90),
             "mousemove " + ScreenPoint(graph, 60, 90), "mouseup 1"});
    int last[4] = {80, 320, 1260, 5000};
    for (const Report& r : ReportsOf(XG_FREQCHANGED)) {
        ASSERT_LT(r.wParam, 4u);
        last[r.wParam] = int(r.lParam);
    }
    EXPECT_EQ(XoverAxisX(last[2], 313), 60) << "the handle follows the pointer";
    EXPECT_EQ(last[1], last[2]) << "320 Hz was pushed along";
    EXPECT_EQ(last[0], last[2]) << "80 Hz was pushed along";
    EXPECT_EQ(last[3], 5000);
    EXPECT_EQ(ReportsOf(XG_DRAGSTART).size(), 1u);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST(FieldInput, ADragPostsSteps)
{
    Parent();
    HWND field = Page().Create("qz:Edit", 10016, 341, 359, 40, 21, 0x86, "200");
    SendMessageA(field, ED_SETACCEL, 0, 0);
    Activate(field);
    Gesture({"mousemove " + ScreenPoint(field, 10, 10) + " mousedown 1", "mousemove_relative -- 6 0",
             "mousemove_relative -- 4 1", "mouseup 1"});
    int total = 0;
    for (const Report& r : ReportsOf(ED_DELTA))
        total += short(HIWORD(r.wParam));
    EXPECT_EQ(total, 10) << "10 pixels to the right";
    EXPECT_FALSE(IsControlDragging());
}

TEST(FieldInput, TypedEntryCommitsWithEnterAndIsDiscardedWithEscape)
{
    struct Case {
        const char* what;
        const char* finalKey;
        const char* text;
        bool commits;
    } const cases[] = {{"Enter", "Return", "-7.5", true}, {"Escape", "Escape", "0.0", false}};
    for (const Case& c : cases) {
        Parent();
        HWND field = Page().Create("qz:Edit", 10032, 493, 239, 36, 21, 0x87, "0.0");
        Activate(field);
        Gesture({"mousemove " + ScreenPoint(field, 10, 10) + " click --repeat 2 --delay 40 1"});
        ASSERT_TRUE(InPlaceEditorOpen()) << c.what;
        Gesture({"type -- -7.5", std::string("key ") + c.finalKey});
        EXPECT_FALSE(InPlaceEditorOpen()) << c.what;
        char text[32];
        GetWindowTextA(field, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.what;
        const auto commands = ReportsOf(WM_COMMAND);
        EXPECT_EQ(commands.size(), c.commits ? 1u : 0u) << c.what;
    }
}

} // namespace
