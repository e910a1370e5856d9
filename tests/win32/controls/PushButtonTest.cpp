// The push button and the static controls driven with window messages, as the page
// and the system deliver them: the notification sequences, the checked state, the
// text rule, the drag flag and what each class reports to its parent.
#include "ControlsTestSupport.h"

#include "Controls.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <gtest/gtest.h>

using namespace qz;

namespace {

constexpr int kId = 20010;

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

// One step of a gesture: a message sent to the button.
struct Step {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct GestureCase {
    const char* what;
    bool doubleClickNotify;
    std::vector<Step> steps;
    std::vector<int> codes; // WM_COMMAND codes the parent receives, in order
};

const GestureCase kGestures[] = {
    {"a click", false, {{WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5)}, {WM_LBUTTONUP, 0, At(5, 5)}}, {1, 0}},
    {"pressed, left and released outside", false,
     {{WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5)}, {WM_MOUSEMOVE, MK_LBUTTON, At(80, 5)}, {WM_LBUTTONUP, 0, At(80, 5)}},
     {1, 4}},
    {"left above the button (negative y)", false,
     {{WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5)}, {WM_MOUSEMOVE, MK_LBUTTON, At(5, -3)}, {WM_LBUTTONUP, 0, At(5, -3)}},
     {1, 4}},
    {"left and re-entered before the release", false,
     {{WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5)},
      {WM_MOUSEMOVE, MK_LBUTTON, At(-1, 5)},
      {WM_MOUSEMOVE, MK_LBUTTON, At(-5, 5)},
      {WM_MOUSEMOVE, MK_LBUTTON, At(10, 10)},
      {WM_MOUSEMOVE, MK_LBUTTON, At(11, 10)},
      {WM_LBUTTONUP, 0, At(11, 10)}},
     {1, 4, 3, 0}},
    {"moves without a press report nothing", false, {{WM_MOUSEMOVE, 0, At(5, 5)}, {WM_MOUSEMOVE, 0, At(90, 5)}}, {}},
    {"space with its auto-repeat", false,
     {{WM_KEYDOWN, VK_SPACE, 1}, {WM_KEYDOWN, VK_SPACE, 0x40000001}, {WM_KEYUP, VK_SPACE, LPARAM(0xC0000001)}},
     {1, 1, 0}},
    {"space held and another key released", false,
     {{WM_KEYDOWN, VK_SPACE, 1}, {WM_KEYUP, 'A', LPARAM(0xC0000001)}, {WM_KEYUP, VK_SPACE, LPARAM(0xC0000001)}}, {1}},
    {"other keys do not press", false, {{WM_KEYDOWN, VK_RETURN, 1}, {WM_KEYUP, VK_RETURN, LPARAM(0xC0000001)}}, {}},
    {"a double-click without the notify flag is a press", false,
     {{WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5)}, {WM_LBUTTONUP, 0, At(5, 5)}, {WM_LBUTTONDBLCLK, MK_LBUTTON, At(5, 5)},
      {WM_LBUTTONUP, 0, At(5, 5)}},
     {1, 0, 1, 0}},
    {"a double-click with the notify flag", true,
     {{WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5)}, {WM_LBUTTONUP, 0, At(5, 5)}, {WM_LBUTTONDBLCLK, MK_LBUTTON, At(5, 5)},
      {WM_LBUTTONUP, 0, At(5, 5)}},
     {1, 0, 2, 0}},
};

TEST(PushButton, ReportsEachGestureAsItsNotificationSequence)
{
    TestParent& parent = Parent();
    for (const GestureCase& c : kGestures) {
        HWND button = parent.Create("qz:PushButton", kId, 16, 16, 76, 21, 0, "Bypass");
        SendMessageA(button, PB_SETDBLCLKNOTIFY, c.doubleClickNotify, 0);
        parent.reports.clear();
        for (const Step& s : c.steps)
            SendMessageA(button, s.message, s.wParam, s.lParam);
        EXPECT_EQ(parent.Codes(), c.codes) << c.what;
        for (const Report& r : parent.reports) {
            EXPECT_EQ(LOWORD(r.wParam), kId) << c.what;
            EXPECT_EQ(HWND(r.lParam), button) << c.what;
        }
        EXPECT_FALSE(IsControlDragging()) << c.what << ": the drag flag is down after the gesture";
        DestroyWindow(button);
    }
}

TEST(PushButton, HoldsTheControlDragFlagWhileTheMouseHoldsIt)
{
    TestParent& parent = Parent();
    HWND button = parent.Create("qz:PushButton", kId, 16, 16, 76, 21);
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, At(3, 3));
    EXPECT_TRUE(IsControlDragging());
    EXPECT_EQ(GetCapture(), button);
    EXPECT_EQ(GetFocus(), button) << "a press takes the focus";
    SendMessageA(button, WM_LBUTTONUP, 0, At(3, 3));
    EXPECT_FALSE(IsControlDragging());
    EXPECT_NE(GetCapture(), button);

    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, At(3, 3));
    SetCapture(parent.window()); // someone else takes the mouse
    EXPECT_FALSE(IsControlDragging()) << "losing the capture clears the flag";
    ReleaseCapture();
    DestroyWindow(button);
}

TEST(PushButton, ReleaseEndsThePressAndDropsAPendingClick)
{
    TestParent& parent = Parent();
    HWND button = parent.Create("qz:PushButton", kId, 332, 16, 76, 21, PBS_ARROWMARK, "Presets");
    parent.reports.clear();
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    // The click that closes a menu opened by the press arrives while it is open.
    PostMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    PostMessageA(button, WM_LBUTTONUP, 0, At(5, 5));
    SendMessageA(button, PB_RELEASE, 0, 0);
    Pump();
    EXPECT_EQ(parent.Codes(), (std::vector<int>{1, 0})) << "no second press from the pending click";
    EXPECT_FALSE(IsControlDragging());
}

TEST(PushButton, RightButtonGoesToTheParentWithIdAndPosition)
{
    TestParent& parent = Parent();
    HWND button = parent.Create("qz:PushButton", kId, 16, 16, 76, 21);
    parent.reports.clear();
    SendMessageA(button, WM_RBUTTONDOWN, MK_RBUTTON, At(7, 9));
    ASSERT_EQ(parent.reports.size(), 1u);
    EXPECT_EQ(parent.reports[0].message, UINT(PB_RBUTTON));
    EXPECT_EQ(parent.reports[0].wParam, WPARAM(kId));
    EXPECT_EQ(parent.reports[0].lParam, At(7, 9));
}

bool HasUpdate(HWND window) { return GetUpdateRect(window, nullptr, FALSE) != FALSE; }

TEST(PushButton, SameTextNeitherRepaintsNorReachesTheWindow)
{
    TestParent& parent = Parent();
    HWND button = parent.Create("qz:PushButton", kId, 174, 16, 61, 21, 0, "Setup A");
    Pump();
    ValidateRect(button, nullptr);
    EXPECT_EQ(SendMessageA(button, WM_SETTEXT, 0, LPARAM("Setup A")), 0);
    EXPECT_FALSE(HasUpdate(button)) << "the text it already shows";
    EXPECT_EQ(SendMessageA(button, WM_SETTEXT, 0, LPARAM("Setup B")), TRUE);
    EXPECT_TRUE(HasUpdate(button));
    char text[16];
    GetWindowTextA(button, text, sizeof text);
    EXPECT_STREQ(text, "Setup B");
    ValidateRect(button, nullptr);
    EXPECT_EQ(SendMessageA(button, WM_SETTEXT, 0, 0), TRUE) << "a null text clears it";
    EXPECT_EQ(SendMessageA(button, WM_SETTEXT, 0, LPARAM("")), 0) << "and the empty text is then the same";
}

TEST(PushButton, CheckedStateIconAndRefresh)
{
    TestParent& parent = Parent();
    HWND button = parent.Create("qz:PushButton", kId, 27, 234, 19, 14);
    Pump();
    EXPECT_EQ(SendMessageA(button, PB_GETCHECK, 0, 0), 0);
    ValidateRect(button, nullptr);
    SendMessageA(button, PB_SETCHECK, 0, 0);
    EXPECT_FALSE(HasUpdate(button)) << "the same state without repaint does nothing";
    SendMessageA(button, PB_SETCHECK, 1, 0);
    EXPECT_EQ(SendMessageA(button, PB_GETCHECK, 0, 0), 1);
    EXPECT_TRUE(HasUpdate(button));
    ValidateRect(button, nullptr);
    SendMessageA(button, PB_SETICON, IDB_ICON_SOLO, 0);
    EXPECT_TRUE(HasUpdate(button));
    ValidateRect(button, nullptr);
    SendMessageA(button, PB_SETICON, IDB_ICON_SOLO, 0);
    EXPECT_FALSE(HasUpdate(button)) << "the same icon does nothing";
    SendMessageA(button, PB_REFRESH, 0, 0);
    EXPECT_TRUE(HasUpdate(button));
    EXPECT_EQ(SendMessageA(button, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS | DLGC_UNDEFPUSHBUTTON);
}

// What the button shows, read back from the screen after a paint.
TEST(PushButton, PaintsItsFacePressedCheckedAndDisabled)
{
    TestParent& parent = Parent();
    HMODULE module = ToolkitModule();
    HWND button = parent.Create("qz:PushButton", kId, 95, 16, 76, 21);
    SendMessageA(button, PB_SETFACES, WPARAM(LoadPixelImage(module, IDR_FACE76_NORMAL)),
                 LPARAM(LoadPixelImage(module, IDR_FACE76_PRESSED)));
    SendMessageA(button, PB_REFRESH, 0, 1);
    // A face pixel without text over it, compared with the face image blended over the skin.
    const uint8_t* normal = LoadPixelImage(module, IDR_FACE76_NORMAL);
    const int x = 5, y = 10;
    const uint8_t* p = normal + 4 * (y * 76 + x);
    const COLORREF normalPixel = ScreenPixel(button, x, y);
    EXPECT_EQ(p[3], 0) << "an opaque face pixel";
    EXPECT_EQ(ColourText(normalPixel), ColourText(RGB(p[0], p[1], p[2])));

    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, At(40, 10));
    const uint8_t* q = LoadPixelImage(module, IDR_FACE76_PRESSED) + 4 * (y * 76 + x);
    EXPECT_EQ(ColourText(ScreenPixel(button, x, y)), ColourText(RGB(q[0], q[1], q[2]))) << "pressed face";
    SendMessageA(button, WM_LBUTTONUP, 0, At(40, 10));

    SendMessageA(button, PB_SETCHECK, 1, 1);
    const COLORREF checked = ScreenPixel(button, x, y);
    EXPECT_EQ(GetBValue(checked), std::min(255, p[2] * 120 / 235)) << "checked: the warm tint";
    EXPECT_EQ(GetRValue(checked), std::min(255, p[0] * 255 / 235));

    SendMessageA(button, PB_SETCHECK, 0, 1);
    EnableWindow(button, FALSE);
    const COLORREF disabled = ScreenPixel(button, x, y);
    EXPECT_NE(disabled, normalPixel) << "disabled: the skin shows through the face";
}

TEST(StaticControls, ReportClicksAsTheirClassesSay)
{
    TestParent& parent = Parent();
    HWND text = parent.Create("qz:StaticText", 10022, 503, 32, 52, 11, 0, "-Inf -Inf");
    HWND strip = parent.Create("qz:StaticImage", 10140, 333, 217, 200, 20);
    HWND caption = parent.Create("qz:StaticNoHitImage", 10028, 342, 239, 113, 10);
    parent.reports.clear();
    SendMessageA(text, WM_LBUTTONDOWN, MK_LBUTTON, At(3, 3));
    SendMessageA(strip, WM_LBUTTONDOWN, MK_LBUTTON, At(140, 5));
    SendMessageA(strip, WM_LBUTTONDBLCLK, MK_LBUTTON, At(20, 5));
    SendMessageA(caption, WM_LBUTTONDOWN, MK_LBUTTON, At(3, 3));
    EXPECT_TRUE(parent.reports.empty()) << "static clicks are posted, not sent";
    Pump();
    ASSERT_EQ(parent.reports.size(), 3u);
    EXPECT_EQ(parent.reports[0].message, UINT(WM_COMMAND));
    EXPECT_EQ(parent.reports[0].wParam, MAKEWPARAM(10022, 0));
    EXPECT_EQ(HWND(parent.reports[0].lParam), text);
    EXPECT_EQ(parent.reports[1].message, UINT(SI_CLICK));
    EXPECT_EQ(parent.reports[1].wParam, WPARAM(10140));
    EXPECT_EQ(parent.reports[1].lParam, At(140, 5));
    EXPECT_EQ(parent.reports[2].lParam, At(20, 5)) << "a double-click reports too";
}

TEST(StaticControls, ShowTheirBitmapOrTheSkin)
{
    TestParent& parent = Parent();
    HWND strip = parent.Create("qz:StaticImage", 10140, 333, 217, 200, 20);
    Pump();
    RECT r;
    WindowRectInParent(strip, &r);
    // No image yet: the skin under the control.
    HDC skinDc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(skinDc, parent.skin());
    const COLORREF skin = GetPixel(skinDc, r.left + 150, r.top + 10);
    SelectObject(skinDc, previous);
    DeleteDC(skinDc);
    EXPECT_EQ(ColourText(ScreenPixel(strip, 150, 10)), ColourText(skin));

    SendMessageA(strip, SI_SETIMAGE, IDB_STRIP_ALL, 0);
    UpdateWindow(strip);
    HBITMAP image = LoadBitmapA(ToolkitModule(), MAKEINTRESOURCEA(IDB_STRIP_ALL));
    HDC imageDc = CreateCompatibleDC(nullptr);
    previous = SelectObject(imageDc, image);
    const COLORREF expected = GetPixel(imageDc, 150, 10);
    SelectObject(imageDc, previous);
    DeleteDC(imageDc);
    DeleteObject(image);
    EXPECT_EQ(ColourText(ScreenPixel(strip, 150, 10)), ColourText(expected));

    HWND text = parent.Create("qz:StaticText", 10022, 503, 32, 52, 11, 0, "-Inf -Inf");
    HFONT font = CreateFontA(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    SendMessageA(text, WM_SETFONT, WPARAM(font), 0);
    EXPECT_EQ(HFONT(SendMessageA(text, WM_GETFONT, 0, 0)), font);
    DestroyWindow(text);
    DeleteObject(font);
}

TEST(Registration, RegistersTheToolkitClassesWithTheSharedSettings)
{
    RegisterControlClasses();
    for (const char* name : {"qz:PushButton", "qz:Slider", "qz:Edit", "qz:StaticText", "qz:StaticImage",
                             "qz:StaticNoHitImage", "qz:Meter", "qz:CompGraph"}) {
        WNDCLASSA info{};
        ASSERT_TRUE(GetClassInfoA(ToolkitModule(), name, &info)) << name;
        EXPECT_EQ(info.style, UINT(CS_DBLCLKS | CS_PARENTDC)) << name;
        EXPECT_EQ(info.cbWndExtra, 4) << name;
        EXPECT_EQ(info.cbClsExtra, 0) << name;
        EXPECT_EQ(info.hbrBackground, HBRUSH(COLOR_BTNFACE + 1)) << name;
        EXPECT_EQ(info.hCursor, LoadCursor(nullptr, IDC_ARROW)) << name;
        EXPECT_EQ(info.hIcon, nullptr) << name;
    }
    UnregisterControlClasses();
    WNDCLASSA info{};
    EXPECT_FALSE(GetClassInfoA(ToolkitModule(), "qz:PushButton", &info));
    EXPECT_FALSE(GetClassInfoA(ToolkitModule(), "qz:StaticNoHitImage", &info));
    EXPECT_FALSE(GetClassInfoA(ToolkitModule(), "qz:Meter", &info));
    RegisterControlClasses(); // for the tests that follow
}

} // namespace
