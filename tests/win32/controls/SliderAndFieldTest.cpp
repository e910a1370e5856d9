// The slider and the numeric field through their window messages: steps, ranges,
// wheel and keys, the end of a drag when the capture goes, and the in-place editor.
#include "ControlsTestSupport.h"

#include "Controls.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <gtest/gtest.h>

using namespace qz;

namespace {

// The relative drags read the real pointer: keep it away from the screen's edge.
void PointerToTheMiddle() { SetCursorPos(400, 300); }

// The steps a field posted, in order.
std::vector<int> FieldSteps()
{
    std::vector<int> steps;
    for (const Report& r : ReportsOf(ED_DELTA))
        steps.push_back(short(HIWORD(r.wParam)));
    return steps;
}

HWND GainSlider(int min, int max)
{
    HWND slider = Page().Create("qz:Slider", 10009, 401, 289, 142, 23);
    SendMessageA(slider, SL_SETTHUMB, WPARAM(LoadPixelImage(ToolkitModule(), IDR_SLIDER_THUMB)), 0);
    SendMessageA(slider, SL_SETRANGE, WPARAM(min), LPARAM(max));
    return slider;
}

TEST(WheelSpeed, FasterTurnsStepFurther)
{
    Parent();
    struct Case {
        int last, now, speed;
    } const cases[] = {{1000, 1500, 1}, {1000, 2600, 1}, {1000, 1010, 50}, {1000, 1000, 500}, {1000, 900, 500},
                       {0, 250, 2}};
    for (const Case& c : cases) {
        int last = c.last;
        EXPECT_EQ(WheelSpeed(last, c.now), c.speed) << c.last << " -> " << c.now;
        EXPECT_EQ(last, c.now);
    }
}

TEST(WheelNotches, ParticleTurnsCountAsOneNotch)
{
    Parent();
    struct Case {
        short delta;
        int notches;
    } const cases[] = {{120, 1}, {-120, -1}, {360, 3}, {40, 1}, {-40, -1}, {239, 1}, {-360, -3}};
    for (const Case& c : cases)
        EXPECT_EQ(WheelNotches(MAKEWPARAM(0, WORD(c.delta))), c.notches) << c.delta;
}

TEST(SaturateToShort, StopsAtTheWordsLimits)
{
    Parent();
    EXPECT_EQ(SaturateToShort(90000), SHRT_MAX);
    EXPECT_EQ(SaturateToShort(-90000), SHRT_MIN);
    EXPECT_EQ(SaturateToShort(-9), -9);
}

TEST(Slider, RangeSetsThePageStepWhileItIsZero)
{
    Parent();
    HWND slider = GainSlider(0, 400);
    Page().reports.clear();
    SendMessageA(slider, SL_SETPOS, 100, 0);
    SendMessageA(slider, WM_KEYDOWN, VK_PRIOR, 0);
    EXPECT_EQ(SendMessageA(slider, SL_GETPOS, 0, 0), 143) << "400 x 15 / 138 = 43";
    SendMessageA(slider, SL_SETPAGESTEP, 1000, 0);
    SendMessageA(slider, SL_SETRANGE, 0, 4000);
    SendMessageA(slider, WM_KEYDOWN, VK_PRIOR, 0);
    EXPECT_EQ(SendMessageA(slider, SL_GETPOS, 0, 0), 1143) << "a page step set is kept";
    EXPECT_EQ(ReportsOf(SL_ENDCHANGE).size(), 2u);

    HWND bare = Page().Create("qz:Slider", 10015, 401, 326, 142, 23);
    Page().reports.clear();
    SendMessageA(bare, WM_KEYDOWN, VK_PRIOR, 0);
    EXPECT_TRUE(ReportsOf(SL_POSCHANGED).empty()) << "PgUp with page step 0 is passed on";
}

TEST(Slider, KeysAndWheelStepAndClamp)
{
    Parent();
    struct Case {
        const char* what;
        UINT message;
        WPARAM wParam;
        int from, to;
    } const cases[] = {
        {"Right", WM_KEYDOWN, VK_RIGHT, 10, 11},  {"Left", WM_KEYDOWN, VK_LEFT, 10, 9},
        {"Up", WM_KEYDOWN, VK_UP, 10, 11},        {"Down", WM_KEYDOWN, VK_DOWN, 10, 9},
        {"End", WM_KEYDOWN, VK_END, 10, 300},     {"Home", WM_KEYDOWN, VK_HOME, 10, -300},
        {"PgDn at min", WM_KEYDOWN, VK_NEXT, -290, -300},
        {"one slow notch", WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 10, 11},
        {"three notches in one message", WM_MOUSEWHEEL, MAKEWPARAM(0, 360), 10, 19},
        {"three notches down", WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-360)), 10, 1},
    };
    for (const Case& c : cases) {
        HWND slider = GainSlider(-300, 300); // a new slider: its first wheel message is slow
        SendMessageA(slider, SL_SETPOS, WPARAM(c.from), 0);
        Page().reports.clear();
        SendMessageA(slider, c.message, c.wParam, 0);
        EXPECT_EQ(SendMessageA(slider, SL_GETPOS, 0, 0), c.to) << c.what;
        const auto changes = ReportsOf(SL_POSCHANGED);
        ASSERT_EQ(changes.size(), 1u) << c.what;
        EXPECT_EQ(int(changes[0].wParam), c.to) << c.what;
        EXPECT_EQ(changes[0].lParam, LPARAM(slider)) << c.what;
        EXPECT_EQ(ReportsOf(SL_ENDCHANGE).size(), 1u) << c.what;
        DestroyWindow(slider);
    }
}

TEST(Slider, DragsMoveByPixelsClampedAndAccelerated)
{
    Parent();
    struct Case {
        const char* what;
        bool accelerated;
        std::vector<int> xs; // pointer x of the moves after a press at x 20
        std::vector<int> values;
    } const cases[] = {
        {"one unit per pixel", false, {23, 21}, {3, 1}},
        {"accelerated +3 and -3", true, {23, 20}, {5, 0}},
        {"beyond max and back", false, {120, 119}, {50, 49}},
    };
    for (const Case& c : cases) {
        PointerToTheMiddle();
        HWND slider = GainSlider(-50, 50);
        SendMessageA(slider, SL_SETACCEL, c.accelerated, 0);
        Page().reports.clear();
        SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
        EXPECT_TRUE(IsControlDragging()) << c.what;
        std::vector<int> values;
        for (int x : c.xs) {
            SendMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, 10));
            values.push_back(int(SendMessageA(slider, SL_GETPOS, 0, 0)));
        }
        EXPECT_EQ(values, c.values) << c.what;
        SendMessageA(slider, WM_LBUTTONUP, 0, MAKELPARAM(c.xs.back(), 10));
        EXPECT_FALSE(IsControlDragging()) << c.what;
        EXPECT_EQ(ReportsOf(SL_ENDCHANGE).size(), 1u) << c.what;
        DestroyWindow(slider);
    }
}

// Whatever takes the mouse away from a control ends its drag: the end is reported
// once, and plain moves afterwards change nothing.
TEST(LostCapture, EndsTheDragOfSliderAndField)
{
    Parent();
    PointerToTheMiddle();
    HWND slider = GainSlider(-50, 50);
    Page().reports.clear();
    SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    SendMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(25, 10));
    SetCapture(Page().window());
    ReleaseCapture();
    EXPECT_EQ(ReportsOf(SL_ENDCHANGE).size(), 1u);
    SendMessageA(slider, WM_MOUSEMOVE, 0, MAKELPARAM(40, 10));
    SendMessageA(slider, WM_LBUTTONUP, 0, MAKELPARAM(40, 10));
    EXPECT_EQ(SendMessageA(slider, SL_GETPOS, 0, 0), 5) << "no change after the capture went";
    EXPECT_EQ(ReportsOf(SL_ENDCHANGE).size(), 1u);
    EXPECT_FALSE(IsControlDragging());

    HWND field = Page().Create("qz:Edit", 10008, 341, 286, 40, 21, 0x87, "0.0");
    Page().reports.clear();
    SendMessageA(field, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SetCapture(Page().window());
    ReleaseCapture();
    SendMessageA(field, WM_MOUSEMOVE, 0, MAKELPARAM(15, 5));
    EXPECT_EQ(FieldSteps(), std::vector<int>{}) << "a field without the capture posts no step on moves";
    EXPECT_FALSE(IsControlDragging());
}

TEST(Field, DragStepsFollowTheDominantAxis)
{
    Parent();
    struct Case {
        const char* what;
        bool accelerated;
        WPARAM flags;
        std::vector<POINT> moves; // after a press at (20, 10)
        std::vector<int> steps;
    } const cases[] = {
        {"3 right, accelerated", true, 0, {{23, 10}}, {9}},
        {"3 right", false, 0, {{23, 10}}, {3}},
        {"3 right, reversed and accelerated", true, ED_REVERSED, {{23, 10}}, {-9}},
        {"3 right, reversed", false, ED_REVERSED, {{23, 10}}, {-3}},
        // Horizontal first; up by 3 against 2 right keeps the axis (3 <= 2 x 2);
        // up by 5 against 2 switches; then 3 right against 2 down stays vertical.
        {"hysteresis", false, 0, {{22, 7}, {24, 2}, {27, 4}, {37, 5}}, {2, 5, -2, 10}},
        {"a long accelerated drag saturates", true, 0, {{320, 10}, {20, 10}}, {32767, -32768}},
    };
    for (const Case& c : cases) {
        HWND field = Page().Create("qz:Edit", 10100, 27, 211, 40, 21, 0x87, "-12.0");
        SendMessageA(field, ED_SETACCEL, c.accelerated, 0);
        SendMessageA(field, ED_SETFLAGS, c.flags, 0);
        SendMessageA(field, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
        EXPECT_TRUE(IsControlDragging()) << c.what;
        Pump();
        Page().reports.clear();
        for (POINT p : c.moves)
            SendMessageA(field, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        SendMessageA(field, WM_LBUTTONUP, 0, 0);
        EXPECT_EQ(FieldSteps(), c.steps) << c.what;
        EXPECT_FALSE(IsControlDragging()) << c.what;
        for (const Report& r : ReportsOf(ED_DELTA)) {
            EXPECT_EQ(LOWORD(r.wParam), 10100) << c.what;
            EXPECT_EQ(r.lParam, LPARAM(field)) << c.what;
        }
        DestroyWindow(field);
    }
}

TEST(Field, KeysAndWheelPostSteps)
{
    Parent();
    struct Case {
        const char* what;
        UINT message;
        WPARAM wParam;
        WPARAM flags;
        int step;
    } const cases[] = {
        {"PgUp", WM_KEYDOWN, VK_PRIOR, 0, 10},        {"PgDn", WM_KEYDOWN, VK_NEXT, 0, -10},
        {"End: to the minimum", WM_KEYDOWN, VK_END, 0, -32768},
        {"Home: to the maximum", WM_KEYDOWN, VK_HOME, 0, 32767},
        {"Left", WM_KEYDOWN, VK_LEFT, 0, -1},         {"Up", WM_KEYDOWN, VK_UP, 0, 1},
        {"one slow notch", WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0, 1},
        {"three notches: quadratic", WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-360)), 0, -9},
        {"three notches reversed", WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-360)), ED_REVERSED, 9},
        {"many notches saturate", WM_MOUSEWHEEL, MAKEWPARAM(0, 32760), 0, 32767},
    };
    for (const Case& c : cases) {
        HWND field = Page().Create("qz:Edit", 10012, 341, 250, 40, 21, 0x87, "4.0");
        SendMessageA(field, ED_SETFLAGS, c.flags, 0);
        Pump();
        Page().reports.clear();
        SendMessageA(field, c.message, c.wParam, 0);
        EXPECT_EQ(FieldSteps(), std::vector<int>{c.step}) << c.what;
        DestroyWindow(field);
    }
}

TEST(Field, TheSameTextDoesNotRepaintAndAcknowledgementsSettle)
{
    Parent();
    HWND field = Page().Create("qz:Edit", 10013, 386, 250, 40, 21, 0x87, "Hard");
    UpdateWindow(field);
    Pump();
    Page().reports.clear();
    EXPECT_EQ(SendMessageA(field, WM_SETTEXT, 0, LPARAM("Hard")), 0);
    EXPECT_FALSE(GetUpdateRect(field, nullptr, FALSE)) << "the same text leaves nothing to repaint";
    SendMessageA(field, WM_SETTEXT, 0, LPARAM("3"));
    EXPECT_TRUE(GetUpdateRect(field, nullptr, FALSE));
    SendMessageA(field, ED_TEXTACK, 0, 0);
    EXPECT_TRUE(ReportsOf(ED_SETTLED).empty()) << "one text change was pending";
    SendMessageA(field, ED_TEXTACK, 0, 0);
    ASSERT_EQ(ReportsOf(ED_SETTLED).size(), 1u);
    EXPECT_EQ(ReportsOf(ED_SETTLED)[0].wParam, WPARAM(10013));
}

HWND EditorOf(HWND field) { return GetDlgItem(field, kInPlaceEditorId); }

TEST(InPlaceEditor, EnterCommitsAndEverythingElseDiscards)
{
    Parent();
    struct Case {
        const char* what;
        void (*close)(HWND editor, HWND other);
        bool commits;
    } const cases[] = {
        {"Enter", [](HWND e, HWND) { SendMessageA(e, WM_KEYDOWN, VK_RETURN, 0); }, true},
        {"Escape", [](HWND e, HWND) { SendMessageA(e, WM_KEYDOWN, VK_ESCAPE, 0); }, false},
        {"the focus moves elsewhere", [](HWND, HWND other) { SetFocus(other); }, false},
        {"CloseInPlaceEditor", [](HWND, HWND) { CloseInPlaceEditor(); }, false},
    };
    for (const Case& c : cases) {
        HWND field = Page().Create("qz:Edit", 10032, 493, 239, 36, 21, 0x87, "0.0");
        HWND other = Page().Create("qz:Edit", 10024, 349, 239, 36, 21, 0x87, "1.00");
        SendMessageA(field, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
        HWND editor = EditorOf(field);
        ASSERT_TRUE(editor) << c.what;
        EXPECT_TRUE(InPlaceEditorOpen());
        EXPECT_EQ(GetFocus(), editor) << c.what;
        char text[32];
        GetWindowTextA(editor, text, sizeof text);
        EXPECT_STREQ(text, "0.0") << c.what;
        SetWindowTextA(editor, "-6.5");
        Pump();
        Page().reports.clear();
        c.close(editor, other);
        EXPECT_FALSE(IsWindow(editor)) << c.what;
        EXPECT_FALSE(InPlaceEditorOpen()) << c.what;
        GetWindowTextA(field, text, sizeof text);
        EXPECT_STREQ(text, c.commits ? "-6.5" : "0.0") << c.what;
        const auto commands = ReportsOf(WM_COMMAND);
        if (c.commits) {
            ASSERT_EQ(commands.size(), 1u) << c.what;
            EXPECT_EQ(commands[0].wParam, WPARAM(0x0300 << 16 | 10032)) << c.what;
            EXPECT_EQ(commands[0].lParam, LPARAM(field)) << c.what;
            EXPECT_EQ(FieldSteps(), std::vector<int>{0}) << c.what;
        } else {
            EXPECT_TRUE(commands.empty()) << c.what;
        }
        CloseInPlaceEditor(); // a second close has nothing to do
        DestroyWindow(other);
        DestroyWindow(field);
    }
}

TEST(InPlaceEditor, GoesWithItsFieldAndLetsTheWheelWorkAgain)
{
    Parent();
    HWND field = Page().Create("qz:Edit", 10014, 341, 323, 40, 21, 0x86, "5.0");
    SendMessageA(field, WM_KEYDOWN, VK_SPACE, 0);
    ASSERT_TRUE(EditorOf(field));
    HWND slider = GainSlider(-50, 50);
    SendMessageA(slider, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_EQ(SendMessageA(slider, SL_GETPOS, 0, 0), 0) << "the wheel is left alone while typing";
    DestroyWindow(field);
    EXPECT_FALSE(InPlaceEditorOpen()) << "the destroyed editor is not taken for an open one";
    SendMessageA(slider, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_EQ(SendMessageA(slider, SL_GETPOS, 0, 0), 1);
    CloseInPlaceEditor();
}

} // namespace

namespace {

// What a slider shows in its client area.
std::vector<COLORREF> Picture(HWND slider)
{
    Canvas shot(142, 23, 0);
    HDC dc = GetDC(slider);
    BitBlt(shot.dc(), 0, 0, 142, 23, dc, 0, 0, SRCCOPY);
    ReleaseDC(slider, dc);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 142; ++x)
            pixels.push_back(shot.pixel(x, y));
    return pixels;
}

TEST(Slider, AnEmptyRangePutsTheThumbAtTheStart)
{
    Parent();
    auto slider = [](int min, int max, int value) {
        HWND s = Page().Create("qz:Slider", 10009, 401, 289, 142, 23);
        SendMessageA(s, SL_SETTICKSPACING, 0, 0);
        SendMessageA(s, SL_SETTHUMB, WPARAM(LoadPixelImage(ToolkitModule(), IDR_SLIDER_THUMB)), 0);
        SendMessageA(s, SL_SETRANGE, WPARAM(min), LPARAM(max));
        SendMessageA(s, SL_SETPOS, WPARAM(value), 1);
        const auto pixels = Picture(s);
        DestroyWindow(s);
        return pixels;
    };
    const auto atStart = slider(0, 100, 0);
    EXPECT_EQ(slider(5, 5, 5), atStart);
    EXPECT_NE(slider(0, 100, 50), atStart) << "the picture shows where the thumb is";
}

} // namespace
