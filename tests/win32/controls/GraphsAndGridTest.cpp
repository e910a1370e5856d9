// The compressor curve graph, the crossover graph and the all-bands grid through
// their messages: the curve law, the frequency axis, drags and their notices, hit
// tests and cell texts, and what the parent may send out of range.
#include "ControlsTestSupport.h"

#include "Controls.h"
#include "ResourceIds.h"
#include "ToolkitBase.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace qz;

namespace {

std::vector<std::pair<int, int>> Pairs(UINT message)
{
    std::vector<std::pair<int, int>> pairs;
    for (const Report& r : ReportsOf(message))
        pairs.emplace_back(int(r.wParam), int(r.lParam));
    return pairs;
}

double OutputDb(const CurveParams& curve, double inputDb)
{
    return 20.0 * std::log10(CurveOutput(curve, std::pow(10.0, inputDb / 20.0)));
}

TEST(CurveLaw, MatchesTheBandCompressorsStaticLaw)
{
    struct Case {
        const char* what;
        CurveParams curve;
        double inputDb, outputDb;
    } const cases[] = {
        {"4:1 above a hard knee", {-200, 40, 0, 0, -600, 100, 0}, 0.0, -15.0},
        {"1:1 below the threshold", {-200, 40, 0, 0, -600, 100, 0}, -30.0, -30.0},
        {"a 10 dB knee at the threshold", {-200, 40, 0, 10, -600, 100, 0}, -20.0, -21.875},
        {"Vintage above its region: 1:1 again, 11.52 dB lower", {-200, 40, 0, 0, -600, 100, 1}, 0.0, -11.516},
        {"Vintage, further up", {-200, 40, 0, 0, -600, 100, 1}, -2.0, -13.516},
        {"ratio 1:1 with 6 dB make-up, Normal", {-200, 10, 60, 0, -600, 100, 0}, -30.0, -24.0},
        {"ratio 1:1 with 6 dB make-up, Vintage", {-200, 10, 60, 0, -600, 100, 1}, -3.0, 3.0},
        {"301 is 10000:1", {-200, 301, 0, 0, -600, 100, 0}, 0.0, -19.998},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(OutputDb(c.curve, c.inputDb), c.outputDb, 0.005) << c.what;
}

HWND CurveGraph(int count, int selected)
{
    HWND graph = Page().Create("qz:CompGraph", 10006, 333, 44, 155, 155, 1);
    SendMessageA(graph, CG_SETCOUNT, WPARAM(count), 0);
    CurveParams curves[kMaxCurves];
    for (int i = 0; i < kMaxCurves; ++i)
        curves[i] = CurveParams{-100 * (i + 1), 20 + 20 * i, 0, 3 * i, -600, 100, i % 2};
    SendMessageA(graph, CG_SETCURVES, WPARAM(curves), LPARAM(selected));
    return graph;
}

TEST(CurveGraph, DragsReportMotionWhileACurveIsSelected)
{
    struct Case {
        const char* what;
        std::vector<WPARAM> counts; // CG_SETCOUNT in turn
        int selected;
        bool drags;
    } const cases[] = {
        {"five curves, the last selected", {5}, 4, true},
        {"no curve selected", {5}, -1, false},
        {"a count of 6 is refused: curve 5 is no selection", {5, 6}, 5, false},
        {"a count of 0 is refused", {5, 0}, 4, true},
        {"one curve: index 4 is no selection", {1}, 4, false},
    };
    for (const Case& c : cases) {
        Parent();
        HWND graph = Page().Create("qz:CompGraph", 10006, 333, 44, 155, 155, 1);
        for (WPARAM count : c.counts)
            SendMessageA(graph, CG_SETCOUNT, count, 0);
        CurveParams curves[kMaxCurves] = {};
        for (CurveParams& curve : curves)
            curve = CurveParams{-200, 40, 0, 0, -600, 100, 0};
        SendMessageA(graph, CG_SETCURVES, WPARAM(curves), LPARAM(c.selected));
        Page().reports.clear();
        SendMessageA(graph, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
        EXPECT_EQ(IsGraphDragging(), c.drags) << c.what;
        SendMessageA(graph, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(53, 46));
        SendMessageA(graph, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(52, 47));
        SendMessageA(graph, WM_LBUTTONUP, 0, MAKELPARAM(52, 47));
        EXPECT_FALSE(IsGraphDragging()) << c.what;
        const auto expected =
            c.drags ? std::vector<std::pair<int, int>>{{3, -4}, {-1, 1}} : std::vector<std::pair<int, int>>{};
        EXPECT_EQ(Pairs(CG_DRAG), expected) << c.what;
    }
}

TEST(LostCapture, EndsTheDragOfTheGraphsAndTheGrid)
{
    struct Case {
        const char* what;
        HWND (*create)();
        POINT press;
        UINT notice;
    } const cases[] = {
        {"curve graph", [] { return CurveGraph(5, 2); }, {50, 50}, CG_DRAG},
        {"crossover graph, a handle",
         [] { return Page().Create("qz:XoverGraph", 20020, 17, 253, 313, 102); }, {66, 60}, XG_FREQCHANGED},
        {"grid", [] { return Page().Create("qz:CommonGrid", 10027, 335, 264, 210, 120); }, {60, 50},
         GR_CELLDELTA},
    };
    for (const Case& c : cases) {
        Parent();
        HWND control = c.create();
        UpdateWindow(control);
        SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(c.press.x, c.press.y));
        EXPECT_EQ(GetCapture(), control) << c.what;
        SetCapture(Page().window());
        ReleaseCapture();
        EXPECT_FALSE(IsGraphDragging() || IsControlDragging()) << c.what;
        Page().reports.clear();
        SendMessageA(control, WM_MOUSEMOVE, 0, MAKELPARAM(c.press.x + 20, c.press.y - 20));
        EXPECT_TRUE(ReportsOf(c.notice).empty()) << c.what << ": no change after the capture went";
    }
}

TEST(XoverAxis, PlacesTheDefaultCrossovers)
{
    struct Case {
        int frequency, x;
    } const cases[] = {{80, 66}, {320, 127}, {1260, 186}, {5000, 246}, {18, 2}, {22050, 311}};
    for (const Case& c : cases) {
        EXPECT_EQ(XoverAxisX(c.frequency, 313), c.x) << c.frequency << " Hz";
        const int back = XoverAxisFrequency(c.x, 313);
        EXPECT_EQ(XoverAxisX(back, 313), c.x) << c.frequency << " Hz maps back to its own pixel, as " << back;
    }
    for (int x : {-5000, -1, 0, 1})
        EXPECT_EQ(XoverAxisFrequency(x, 313), 18) << x;
    for (int x : {312, 900, 5000, 32767})
        EXPECT_EQ(XoverAxisFrequency(x, 313), 22050) << x;
    EXPECT_GT(XoverAxisFrequency(900, 1000), 5000) << "a wide graph keeps its frequencies";
}

HWND XoverGraph()
{
    HWND graph = Page().Create("qz:XoverGraph", 20020, 17, 253, 313, 102);
    SendMessageA(graph, XG_SETHANDLE, IDB_XOVER_HANDLE, 0);
    UpdateWindow(graph);
    return graph;
}

TEST(XoverGraph, AHandleDraggedPastItsNeighboursCarriesThem)
{
    Parent();
    HWND graph = XoverGraph();
    Page().reports.clear();
    SendMessageA(graph, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(188, 60)); // 2 right of 1260 Hz
    EXPECT_EQ(ReportsOf(XG_DRAGSTART).size(), 1u);
    SendMessageA(graph, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(188, 60));
    EXPECT_TRUE(ReportsOf(XG_FREQCHANGED).empty()) << "nothing until the pointer moves";
    SendMessageA(graph, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(190, 60));
    const auto firstMove = Pairs(XG_FREQCHANGED);
    ASSERT_EQ(firstMove.size(), 1u);
    EXPECT_EQ(firstMove[0].first, 2);
    EXPECT_EQ(XoverAxisX(firstMove[0].second, 313), 188) << "the line follows the pointer, 2 pixels";
    Page().reports.clear();
    const int to = 66 - 10; // past 320 Hz and 80 Hz
    SendMessageA(graph, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to + 2, 60));
    SendMessageA(graph, WM_LBUTTONUP, 0, MAKELPARAM(to + 2, 60));
    const auto moves = Pairs(XG_FREQCHANGED);
    ASSERT_EQ(moves.size(), 3u);
    const int f = moves[2].second;
    EXPECT_EQ(XoverAxisX(f, 313), to);
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{0, f}, {1, f}, {2, f}}));
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST(XoverGraph, BandTopsFollowTheirGainsAndDoubleClicksResetThem)
{
    Parent();
    HWND graph = XoverGraph();
    SendMessageA(graph, XG_SETBANDGAIN, 225, 2);
    SendMessageA(graph, XG_SETBANDGAIN, 100, 7);  // ignored
    SendMessageA(graph, XG_SETBANDGAIN, 100, -1); // ignored
    SendMessageA(graph, XG_SETFREQ, 1, 9);        // ignored
    InvalidateRect(graph, nullptr, FALSE);
    UpdateWindow(graph);
    Page().reports.clear();
    // Band 2 runs from 320 to 1260 Hz (x 127..186); 22.5 dB raises its top to y 2.
    SendMessageA(graph, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(150, 3));
    EXPECT_EQ(Pairs(XG_BANDCLICK), (std::vector<std::pair<int, int>>{{2, 0}}));
    EXPECT_EQ(Pairs(XG_GAINDELTA), (std::vector<std::pair<int, int>>{{2, -225}}));
    SendMessageA(graph, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 10));
    SendMessageA(graph, WM_LBUTTONUP, 0, MAKELPARAM(150, 10));
    EXPECT_EQ(Pairs(XG_GAINDELTA), (std::vector<std::pair<int, int>>{{2, -225}, {2, -7}}));

    // With gain 0 a top lies on the centre line, y = 98 / 2 + 2 = 51.
    Page().reports.clear();
    SendMessageA(graph, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 51));
    EXPECT_EQ(ReportsOf(XG_DRAGSTART).size(), 1u) << "band 1's top edge";
    SendMessageA(graph, WM_LBUTTONUP, 0, MAKELPARAM(100, 51));
    SendMessageA(graph, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 80));
    EXPECT_EQ(ReportsOf(XG_DRAGSTART).size(), 1u) << "inside band 1, away from its top: a click only";
    EXPECT_EQ(Pairs(XG_BANDCLICK), (std::vector<std::pair<int, int>>{{1, 0}, {1, 0}}));
}

// Crossovers out of order, soloed bands and extreme gains paint within the picture.
TEST(XoverGraph, CrossoversOutOfOrderPaint)
{
    Parent();
    HWND graph = XoverGraph();
    const int frequencies[] = {15000, 40, 9000, 20};
    for (int k = 0; k < 4; ++k)
        SendMessageA(graph, XG_SETFREQ, WPARAM(frequencies[k]), k);
    for (int b = 0; b < 5; ++b)
        SendMessageA(graph, XG_SETBANDGAIN, WPARAM(b % 2 ? 225 : -180), b);
    SendMessageA(graph, XG_SETSOLO, 3, 1);
    SendMessageA(graph, XG_SETSOLO, 9, 1); // ignored
    SendMessageA(graph, XG_SETSELECTED, 2, 0);
    InvalidateRect(graph, nullptr, FALSE);
    UpdateWindow(graph);
    EXPECT_TRUE(IsWindow(graph));
    EXPECT_NE(ScreenPixel(graph, 150, 90), CLR_INVALID);
}

TEST(CommonGrid, HitTestsSelectCellsAndRows)
{
    struct Case {
        const char* what;
        POINT press;
        bool selects;
        int row, column; // of the step a drag then sends
    } const cases[] = {
        {"x 10 in the second row: the whole Knee row", {10, 30}, true, 1, -1},
        {"band 1, Ratio", {40, 12}, true, 0, 0},
        {"band 5, Release", {190, 110}, true, 5, 4},
        {"above the first row", {60, 8}, false, 0, 0},
        {"below the last row", {60, 117}, false, 0, 0},
        {"right of band 5", {200, 50}, false, 0, 0},
    };
    for (const Case& c : cases) {
        Parent();
        HWND grid = Page().Create("qz:CommonGrid", 10027, 335, 264, 210, 120);
        SendMessageA(grid, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(c.press.x, c.press.y));
        EXPECT_EQ(IsControlDragging(), c.selects) << c.what;
        SendMessageA(grid, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(c.press.x, c.press.y - 3));
        SendMessageA(grid, WM_LBUTTONUP, 0, 0);
        EXPECT_FALSE(IsControlDragging()) << c.what;
        const auto steps = ReportsOf(GR_CELLDELTA);
        if (!c.selects) {
            EXPECT_TRUE(steps.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(steps.size(), 1u) << c.what;
        EXPECT_EQ(LOWORD(steps[0].wParam), c.row) << c.what;
        EXPECT_EQ(short(HIWORD(steps[0].wParam)), c.column) << c.what;
        EXPECT_EQ(short(LOWORD(steps[0].lParam)), c.row == 0 ? -3 : 3) << c.what << ": up lowers a ratio";
    }
}

TEST(CommonGrid, WheelKeysAndDoubleClicks)
{
    Parent();
    HWND grid = Page().Create("qz:CommonGrid", 10027, 335, 264, 210, 120);
    SendMessageA(grid, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_TRUE(ReportsOf(GR_CELLDELTA).empty()) << "nothing selected";
    SendMessageA(grid, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(70, 70)); // band 2, Gain
    SendMessageA(grid, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(Pairs(GR_CELLDBLCLK), (std::vector<std::pair<int, int>>{{3, 1}}));
    SendMessageA(grid, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    SendMessageA(grid, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageA(grid, WM_KEYDOWN, VK_UP, 0);
    std::vector<int> steps;
    for (const Report& r : ReportsOf(GR_CELLDELTA))
        steps.push_back(short(LOWORD(r.lParam)));
    EXPECT_EQ(steps, (std::vector<int>{1, -1, 1}));
}

TEST(CommonGrid, CellTexts)
{
    struct Case {
        int row, value;
        const char* text;
    } const cases[] = {{1, 0, "Hard"}, {1, 12, "12"},  {2, 1, "Vint"},   {2, 0, "Norm"},
                       {4, 155, "15.5"}, {5, 200, "200"}, {0, 40, "4.0"}, {3, -65, "-6.5"}};
    for (const Case& c : cases) {
        char text[32];
        FormatGridCell(c.row, c.value, text, sizeof text);
        EXPECT_STREQ(text, c.text) << "row " << c.row << ", value " << c.value;
    }
}

} // namespace

namespace {

// The topmost row of column x where the graph shows white (the selected curve).
int WhiteRow(HWND graph, int x)
{
    Canvas shot(155, 155, 0);
    HDC dc = GetDC(graph);
    BitBlt(shot.dc(), 0, 0, 155, 155, dc, 0, 0, SRCCOPY);
    ReleaseDC(graph, dc);
    for (int y = 0; y < 155; ++y)
        if (shot.pixel(x, y) == RGB(255, 255, 255))
            return y;
    return -1;
}

TEST(CurveGraph, MakeUpGainLiftsTheCurveATenthOfTheHeightPer6Db)
{
    Parent();
    HWND graph = Page().Create("qz:CompGraph", 10006, 333, 44, 155, 155, 1);
    std::vector<int> rows;
    for (int gain : {0, 60, 120}) {
        const CurveParams flat{-200, 10, gain, 0, -600, 100, 0}; // 1:1
        SendMessageA(graph, CG_SETCURVES, WPARAM(&flat), 0);
        rows.push_back(WhiteRow(graph, 2 + 60));
    }
    ASSERT_GT(rows[0], 0);
    EXPECT_EQ(rows[0] - rows[1], 15) << "6 dB of 60 over 151 rows";
    EXPECT_EQ(rows[0] - rows[2], 30);
}

} // namespace
