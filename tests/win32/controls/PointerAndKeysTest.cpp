// Push buttons pressed with the real pointer and keyboard: xdotool sends the input
// to the X server, Wine turns it into window messages, and the parent records what
// the button reports.
#include "ControlsTestSupport.h"

#include "Controls.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <gtest/gtest.h>

#include <string>

using namespace qz;

namespace {

struct InputCase {
    const char* what;
    std::vector<std::string> (*gesture)(HWND button); // xdotool arguments, one call per step
    bool doubleClickNotify;
    std::vector<int> codes;
};

using Steps = std::vector<std::string>;

const InputCase kInputCases[] = {
    {"a click", [](HWND b) { return Steps{"mousemove " + ScreenPoint(b, 30, 10) + " click 1"}; }, false, {1, 0}},
    {"pressed, left, re-entered and released", [](HWND b) {
         return Steps{"mousemove " + ScreenPoint(b, 30, 10) + " mousedown 1", "mousemove " + ScreenPoint(b, 200, 90),
                      "mousemove " + ScreenPoint(b, 31, 11), "mouseup 1"};
     },
     false, {1, 4, 3, 0}},
    {"pressed, left and released outside", [](HWND b) {
         return Steps{"mousemove " + ScreenPoint(b, 30, 10) + " mousedown 1", "mousemove " + ScreenPoint(b, 30, 60),
                      "mouseup 1"};
     },
     false, {1, 4}},
    {"a double-click with the notify flag", [](HWND b) {
         return Steps{"mousemove " + ScreenPoint(b, 30, 10) + " click --repeat 2 --delay 40 1"};
     },
     true, {1, 0, 2, 0}},
    {"a double-click without it", [](HWND b) {
         return Steps{"mousemove " + ScreenPoint(b, 30, 10) + " click --repeat 2 --delay 40 1"};
     },
     false, {1, 0, 1, 0}},
    {"the space key", [](HWND) { return Steps{"keydown space", "keyup space"}; }, false, {1, 0}},
    {"space held while another key is released", [](HWND) {
         return Steps{"keydown space", "keydown a", "keyup a", "keyup space"};
     },
     false, {1}},
};

TEST(PushButtonInput, RealPointerAndKeysGiveTheNotificationSequences)
{
    TestParent& parent = Parent();
    HMODULE module = ToolkitModule();
    for (const InputCase& c : kInputCases) {
        HWND button = parent.Create("qz:PushButton", 20011, 95, 16, 76, 21, 0, "Undo");
        SendMessageA(button, PB_SETFACES, WPARAM(LoadPixelImage(module, IDR_FACE76_NORMAL)),
                     LPARAM(LoadPixelImage(module, IDR_FACE76_PRESSED)));
        SendMessageA(button, PB_SETDBLCLKNOTIFY, c.doubleClickNotify, 0);
        SetForegroundWindow(parent.window());
        SetFocus(button);
        Pump();
        parent.reports.clear();
        for (const std::string& step : c.gesture(button)) {
            ASSERT_TRUE(Xdotool(step)) << c.what << ": xdotool " << step;
            Settle();
        }
        EXPECT_EQ(parent.Codes(), c.codes) << c.what;
        EXPECT_FALSE(IsControlDragging()) << c.what;
        DestroyWindow(button);
    }
}

TEST(PushButtonInput, TheRightButtonReachesTheParent)
{
    TestParent& parent = Parent();
    HWND button = parent.Create("qz:PushButton", 20015, 332, 16, 76, 21, PBS_ARROWMARK, "Presets");
    SetForegroundWindow(parent.window());
    Pump();
    parent.reports.clear();
    ASSERT_TRUE(Xdotool("mousemove " + ScreenPoint(button, 12, 7) + " click 3"));
    ASSERT_TRUE(PumpUntil([&] { return !parent.reports.empty(); }));
    EXPECT_EQ(parent.reports[0].message, UINT(PB_RBUTTON));
    EXPECT_EQ(parent.reports[0].wParam, WPARAM(20015));
    EXPECT_EQ(parent.reports[0].lParam, MAKELPARAM(12, 7));
}

} // namespace
