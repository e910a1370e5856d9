// The level meter and the multi-meter through their messages: ballistics, the bars'
// heights on the screen, threshold drags of several bands, and what the parent may
// send out of range.
#include "ControlsTestSupport.h"

#include "Controls.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <gtest/gtest.h>

#include <array>

using namespace qz;

namespace {

// Plain faces, so that every lit row shows.
const std::vector<uint8_t> kUnlitFace = SolidImage(12, 155, RGB(0, 0, 0), 0);
const std::vector<uint8_t> kLitFace = SolidImage(12, 155, RGB(255, 255, 255), 0);

HWND OutputMeter()
{
    HWND meter = Page().Create("qz:Meter", 10025, 508, 44, 12, 155, MTS_VERTICAL | 0x4 | MTS_BALLISTICS);
    SendMessageA(meter, MT_SETIMAGES, WPARAM(kUnlitFace.data()), LPARAM(kLitFace.data()));
    SendMessageA(meter, MT_SETRANGE, WPARAM(-600), 0);
    return meter;
}

TEST(Meter, FallsTwoDbAnUpdateAndHoldsItsPeakFor30Updates)
{
    Parent();
    HWND meter = OutputMeter();
    std::vector<int> levels, holds;
    SendMessageA(meter, MT_SETLEVELS, WPARAM(-100), LPARAM(-200));
    for (int update = 0; update < 34; ++update) {
        int holdL = 0, holdR = 0;
        SendMessageA(meter, MT_GETHOLD, WPARAM(&holdL), LPARAM(&holdR));
        holds.push_back(holdL);
        SendMessageA(meter, MT_SETLEVELS, WPARAM(-600), LPARAM(-600));
    }
    std::vector<int> expected(31, -100);
    expected.insert(expected.end(), {-130, -160, -190});
    EXPECT_EQ(holds, expected) << "held for 30 updates, then 30 an update";

    int highestL = 0, highestR = 0;
    SendMessageA(meter, MT_GETMAX, WPARAM(&highestL), LPARAM(&highestR));
    EXPECT_EQ(highestL, -100);
    EXPECT_EQ(highestR, -200);
    SendMessageA(meter, MT_RESETMAX, 0, 0);
    SendMessageA(meter, MT_GETMAX, WPARAM(&highestL), LPARAM(&highestR));
    EXPECT_EQ(highestL, kNoLevel);
    EXPECT_EQ(highestR, kNoLevel);
    EXPECT_EQ(SendMessageA(meter, MT_GETMAX, 0, 0), 0) << "null pointers are allowed";
}

// The level falls 20 an update from -100 (-100, -120, -140 ...): seen as the lit
// rows of the bar, 151 rows for 60 dB.
TEST(Meter, TheBarShowsTheFallingLevel)
{
    Parent();
    HWND meter = OutputMeter();
    auto shoot = [&](Canvas& shot) {
        HDC dc = GetDC(meter);
        BitBlt(shot.dc(), 0, 0, 12, 155, dc, 0, 0, SRCCOPY);
        ReleaseDC(meter, dc);
    };
    std::vector<int> litRows;
    SendMessageA(meter, MT_SETLEVELS, WPARAM(-100), 0);
    for (int update = 0; update < 3; ++update) {
        Canvas shot(12, 155, 0);
        shoot(shot);
        int lit = 0;
        for (int y = 0; y < 155; ++y)
            lit += shot.pixel(6, y) == RGB(255, 255, 255);
        litRows.push_back(lit);
        SendMessageA(meter, MT_SETLEVELS, WPARAM(-600), 0);
    }
    // floor(level x 151 / 600 + 0.5) rows above -60 dB, and apart from the bar the
    // 2-row hold line at -100.
    EXPECT_EQ(litRows, (std::vector<int>{126, 121 + 2, 116 + 2}));
}

HWND BandMeter()
{
    HWND meter = Page().Create("qz:MultiMeter", 20021, 17, 44, 313, 155);
    SendMessageA(meter, MM_SETMARKER, WPARAM(LoadPixelImage(ToolkitModule(), IDR_MARKER)), 0);
    SendMessageA(meter, MM_SETMARKERSEL, WPARAM(LoadPixelImage(ToolkitModule(), IDR_MARKER_SELECTED)), 0);
    SendMessageA(meter, MM_SETLEVELBITMAP, IDB_LEVEL_BAR, 0);
    SendMessageA(meter, MM_SETGAINBITMAP, IDB_GAIN_BAR, 0);
    int threshold = -600; // the markers out of the bars' way
    for (int band = 0; band < 5; ++band)
        SendMessageA(meter, MM_SETTHRESHOLD, WPARAM(&threshold), band);
    return meter;
}

using Values = std::array<int, kMultiMeterValues>;

// All bands silent with no gain change, but for value `index`.
Values Silence(int index = 0, int value = kNoLevel)
{
    Values values;
    for (int b = 0; b < 5; ++b) {
        values[3 * b] = values[3 * b + 1] = kNoLevel;
        values[3 * b + 2] = 0;
    }
    values[index] = value;
    return values;
}

void Shoot(HWND meter, Canvas& shot)
{
    HDC dc = GetDC(meter);
    BitBlt(shot.dc(), 0, 0, 313, 155, dc, 0, 0, SRCCOPY);
    ReleaseDC(meter, dc);
}

// The height of the bar in column x of a new meter after the values are fed one after
// the other: from the first to the last row that differs from a silent meter.
int BarRows(std::initializer_list<Values> feeds, int x)
{
    HWND meter = BandMeter();
    Values silence = Silence();
    SendMessageA(meter, MM_SETVALUES, WPARAM(silence.data()), kMultiMeterValues);
    Canvas empty(313, 155, 0), shown(313, 155, 0);
    Shoot(meter, empty);
    for (const Values& values : feeds)
        SendMessageA(meter, MM_SETVALUES, WPARAM(values.data()), kMultiMeterValues);
    Shoot(meter, shown);
    DestroyWindow(meter);
    int first = -1, last = -2;
    for (int y = 0; y < 155; ++y)
        if (empty.pixel(x, y) != shown.pixel(x, y)) {
            if (first < 0)
                first = y;
            last = y;
        }
    return last - first + 1;
}

TEST(MultiMeter, BarHeights)
{
    Parent();
    struct Case {
        const char* what;
        int index; // of the value set
        int value;
        int column; // band 0: left bar 12..19, gain bar 53..60
        int rows;
    } const cases[] = {
        {"level 0 dB", 0, 0, 15, 139},        {"level -30 dB", 0, -300, 15, 70},
        {"level -60 dB", 0, -600, 15, 0},     {"level below -60 dB", 0, -700, 15, 0},
        {"level above 0 dB stops at the full bar", 0, 60, 15, 139},
        {"gain -30 dB", 2, -300, 56, 70},     {"gain -15 dB", 2, -150, 56, 69},
        {"a boost of 3 dB: 13 rows and the zero row", 2, 30, 56, 14},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BarRows({Silence(c.index, c.value)}, c.column), c.rows) << c.what;
    }
}

TEST(MultiMeter, LevelsFallAndGainsRecoverTwoDbAnUpdate)
{
    Parent();
    struct Case {
        const char* what;
        int index, first, second;
        int column, rows;
    } const cases[] = {
        {"a level of -10 dB, then -60 dB, shows -12 dB", 0, -100, -600, 15, 112},
        {"a level of -60 dB, then -10 dB, shows -10 dB", 0, -600, -100, 15, 116},
        {"a gain of -10 dB, then 0, shows -8 dB", 2, -100, 0, 56, 37},
        {"a gain of -8 dB, then -10 dB, shows -10 dB", 2, -80, -100, 56, 46},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BarRows({Silence(c.index, c.first), Silence(c.index, c.second)}, c.column), c.rows)
            << c.what;
    }
}

TEST(MultiMeter, DraggingSelectedBandsKeepsThemInRange)
{
    struct Case {
        const char* what;
        std::vector<int> thresholds; // bands 0..4
        std::vector<int> extraBands; // Ctrl+pressed after band 0
        int dy;
        std::vector<std::pair<int, LPARAM>> adjusts;
    } const cases[] = {
        {"two bands up by 80", {-50, -550, 0, 0, 0}, {1}, 80, {{50, 0}, {50, 10001}}},
        {"two bands down by 80", {-50, -550, 0, 0, 0}, {1}, -80, {{-50, 0}, {-50, 10001}}},
        {"one band up by 10", {-300, 0, 0, 0, 0}, {}, 10, {{10, 0}}},
        {"three bands", {-100, -200, 0, -300, 0}, {1, 3}, 5, {{5, 0}, {5, 10001}, {5, 10003}}},
    };
    for (const Case& c : cases) {
        Parent();
        SetCursorPos(400, 300);
        HWND meter = BandMeter();
        for (int b = 0; b < 5; ++b)
            SendMessageA(meter, MM_SETTHRESHOLD, WPARAM(&c.thresholds[b]), b);
        SendMessageA(meter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 100));
        SendMessageA(meter, WM_LBUTTONUP, 0, MAKELPARAM(30, 100));
        for (int band : c.extraBands) {
            SendMessageA(meter, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(30 + 60 * band, 100));
            SendMessageA(meter, WM_LBUTTONUP, 0, MAKELPARAM(30 + 60 * band, 100));
        }
        Pump();
        Page().reports.clear();
        SendMessageA(meter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 100));
        EXPECT_TRUE(IsControlDragging()) << c.what;
        SendMessageA(meter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30, 100 - c.dy));
        SendMessageA(meter, WM_LBUTTONUP, 0, MAKELPARAM(30, 100 - c.dy));
        EXPECT_FALSE(IsControlDragging()) << c.what;
        std::vector<std::pair<int, LPARAM>> adjusts;
        for (const Report& r : ReportsOf(MM_ADJUST))
            adjusts.emplace_back(int(r.wParam), r.lParam);
        auto expected = c.adjusts;
        expected.emplace_back(0, -1); // the end of a drag that moved
        EXPECT_EQ(adjusts, expected) << c.what;
        DestroyWindow(meter);
    }
}

TEST(MultiMeter, PressesPickTheHighlightedBand)
{
    Parent();
    HWND meter = BandMeter();
    SendMessageA(meter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(9 + 120, 50));
    SendMessageA(meter, WM_LBUTTONUP, 0, MAKELPARAM(9 + 120, 50));
    SendMessageA(meter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 50));
    SendMessageA(meter, WM_LBUTTONUP, 0, MAKELPARAM(5, 50));
    std::vector<int> bands;
    for (const Report& r : ReportsOf(MM_BANDFOCUS))
        bands.push_back(int(r.wParam));
    EXPECT_EQ(bands, (std::vector<int>{2, -1})) << "band 2, then a press outside every band";
    SendMessageA(meter, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_TRUE(ReportsOf(MM_ADJUST).empty()) << "no active band, no wheel";
}

// What the parent sends outside the record's bounds is ignored: a band index past
// the thresholds, or more values than the record holds.
TEST(MultiMeter, OutOfRangeMessagesWriteNothing)
{
    Parent();
    SetCursorPos(400, 300);
    HWND meter = BandMeter();
    int threshold = -300, stray = 3;
    SendMessageA(meter, MM_SETTHRESHOLD, WPARAM(&threshold), 0);
    SendMessageA(meter, MM_SELECTBAND, 0, 0); // a wheel with an active band would move band 0
    SendMessageA(meter, MM_SETTHRESHOLD, WPARAM(&stray), 5);
    SendMessageA(meter, MM_SETTHRESHOLD, WPARAM(&stray), -1);
    SendMessageA(meter, MM_SETTHRESHOLD, 0, 1);
    SendMessageA(meter, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_TRUE(ReportsOf(MM_ADJUST).empty()) << "no band became active";

    int values[20];
    for (int& v : values)
        v = kNoLevel;
    SendMessageA(meter, MM_SETVALUES, WPARAM(values), 16);
    SendMessageA(meter, MM_SETVALUES, WPARAM(values), -1);
    SendMessageA(meter, MM_SETVALUES, 0, 15);
    SendMessageA(meter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 100));
    Pump();
    Page().reports.clear();
    // A pointer position above the window: y is negative in the message's signed word.
    const LPARAM above = MAKELPARAM(30, static_cast<WORD>(100 - 500));
    SendMessageA(meter, WM_MOUSEMOVE, MK_LBUTTON, above);
    SendMessageA(meter, WM_LBUTTONUP, 0, above);
    const auto adjusts = ReportsOf(MM_ADJUST);
    ASSERT_FALSE(adjusts.empty());
    EXPECT_EQ(int(adjusts[0].wParam), 300) << "band 0's threshold is still -300";
}

TEST(MultiMeter, ALostCaptureEndsTheDrag)
{
    Parent();
    SetCursorPos(400, 300);
    HWND meter = BandMeter();
    SendMessageA(meter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 100));
    SendMessageA(meter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30, 90));
    Pump();
    Page().reports.clear();
    SetCapture(Page().window());
    ReleaseCapture();
    SendMessageA(meter, WM_MOUSEMOVE, 0, MAKELPARAM(30, 80));
    std::vector<std::pair<int, LPARAM>> adjusts;
    for (const Report& r : ReportsOf(MM_ADJUST))
        adjusts.emplace_back(int(r.wParam), r.lParam);
    EXPECT_EQ(adjusts, (std::vector<std::pair<int, LPARAM>>{{0, -1}})) << "the end, and no step after it";
    EXPECT_FALSE(IsControlDragging());
}

} // namespace

namespace {

TEST(MultiMeter, KeysStepTheActiveBandsThresholdWithinRange)
{
    struct Case {
        WPARAM key;
        int change;
    } const cases[] = {{VK_PRIOR, 10}, {VK_NEXT, -10}, {VK_UP, 1}, {VK_DOWN, -1}, {VK_END, -300}, {VK_HOME, 300}};
    Parent();
    HWND meter = BandMeter();
    const int threshold = -300;
    SendMessageA(meter, MM_SETTHRESHOLD, WPARAM(&threshold), 0);
    SendMessageA(meter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 100));
    SendMessageA(meter, WM_LBUTTONUP, 0, MAKELPARAM(30, 100));
    for (const Case& c : cases) {
        Pump();
        Page().reports.clear();
        SendMessageA(meter, WM_KEYDOWN, c.key, 0);
        const auto adjusts = ReportsOf(MM_ADJUST);
        ASSERT_EQ(adjusts.size(), 1u) << c.key;
        EXPECT_EQ(int(adjusts[0].wParam), c.change) << c.key;
        EXPECT_EQ(adjusts[0].lParam, 0) << c.key;
    }
    Page().reports.clear();
    SendMessageA(meter, WM_KEYDOWN, VK_LEFT, 0); // band 0 has no left neighbour
    SendMessageA(meter, WM_KEYDOWN, VK_RIGHT, 0);
    SendMessageA(meter, WM_KEYDOWN, VK_RIGHT, 0);
    std::vector<int> bands;
    for (const Report& r : ReportsOf(MM_BANDFOCUS))
        bands.push_back(int(r.wParam));
    EXPECT_EQ(bands, (std::vector<int>{1, 2}));
    SetFocus(Page().window());
    Page().reports.clear();
    SendMessageA(meter, WM_KEYDOWN, VK_UP, 0);
    EXPECT_TRUE(ReportsOf(MM_ADJUST).empty()) << "losing the focus clears the active band";
}

} // namespace
