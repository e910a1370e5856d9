// The editor page's parameter controls as a user meets them: typed entries, steps,
// the real pointer on every kind of control, and host automation and meters while
// audio streams through the filter.
#include "EditorTestSupport.h"

#include "ControlsTestSupport.h"
#include "TestFilters.h"

#include "Controls.h"
#include "DisplayFormats.h"
#include "PageLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace BlockIndex = qz::BlockIndex;

namespace {

using namespace qz::page;

// What a field does when the user presses Enter in its in-place editor: the text
// becomes the field's, the page is told, and a step of 0 follows.
void Type(const OpenPage& open, int id, const char* text)
{
    HWND field = open.Control(id);
    SetWindowTextA(field, text);
    SendMessageA(open.window, WM_COMMAND, MAKEWPARAM(id, qz::kFieldTextCommitted), reinterpret_cast<LPARAM>(field));
    SendMessageA(open.window, qz::ED_DELTA, MAKEWPARAM(id, 0), reinterpret_cast<LPARAM>(field));
}

// Types a number into a field with the real keyboard: a double-click opens the field's
// box with its text selected, the keys replace it, and Enter commits.
bool TypeWithKeys(const OpenPage& open, int id, const std::string& number)
{
    std::string keys;
    for (char c : number)
        keys += c == '-' ? "minus " : c == '.' ? "period " : std::string(1, c) + " ";
    SetForegroundWindow(HostWindow());
    const bool typed = Xdotool("mousemove " + ScreenPoint(open.Control(id), 20, 10) +
                               " click --repeat 2 1 sleep 0.3 key --delay 40 " + keys + "Return");
    Settle();
    return typed;
}

void Step(const OpenPage& open, int id, int step)
{
    SendMessageA(open.window, qz::ED_DELTA, MAKEWPARAM(id, WORD(short(step))),
                 reinterpret_cast<LPARAM>(open.Control(id)));
}

// The page's filter in the system's graph manager, fed by a push source of the test's
// own (which lets the page's timer tick between its buffers, as it does while a host
// plays) and recording into a sink. The graph is stopped when the object goes.
class PageFilterInGraph {
public:
    PageFilterInGraph(const OpenPage& open, const CMediaType& type, std::vector<std::vector<BYTE>> buffers)
        : source(new CPushSource(type, std::move(buffers), false)), sink(new CRecordingSink())
    {
        source->BeforeEachBuffer([](size_t) { Sleep(120); });
        ComPtr<IBaseFilter> filter = As<IBaseFilter>(open.filter.get(), IID_IBaseFilter);
        connected = graph.ok() && graph.Add(filter.get(), L"qz:Multiband") == S_OK &&
                    graph.Add(source.get(), L"Source") == S_OK && graph.Add(sink.get(), L"Sink") == S_OK &&
                    graph.builder()->ConnectDirect(source->GetPin(0),
                                                   FindPinByDirection(filter.get(), PINDIR_INPUT).get(),
                                                   nullptr) == S_OK &&
                    graph.builder()->ConnectDirect(FindPinByDirection(filter.get(), PINDIR_OUTPUT).get(),
                                                   sink->GetPin(0), nullptr) == S_OK;
    }
    ~PageFilterInGraph()
    {
        if (graph.ok())
            graph.control()->Stop();
    }
    // Runs the graph and pumps the page's messages until the source has sent every
    // buffer; the graph keeps running.
    bool PlayToTheEnd()
    {
        return SUCCEEDED(graph.control()->Run()) && PumpUntil([&] { return source->WaitUntilDone(0); });
    }

    TestGraph graph;
    ComPtr<CPushSource> source;
    ComPtr<CRecordingSink> sink;
    bool connected = false;
};

// Stereo 16-bit buffers of a tenth of a second each: a 1 kHz tone at `amplitude` of
// full scale.
std::vector<std::vector<BYTE>> ToneBuffers(int count, double amplitude)
{
    std::vector<std::vector<BYTE>> buffers;
    for (int b = 0; b < count; ++b) {
        std::vector<int16_t> samples(4410 * 2);
        for (size_t i = 0; i < samples.size(); ++i) {
            const double phase = 2 * 3.14159265358979 * 1000 * double(b * 4410 + i / 2) / 44100;
            samples[i] = int16_t(std::lround(amplitude * 32767 * std::sin(phase)));
        }
        buffers.push_back(Bytes(samples.data(), samples.size() * 2));
    }
    return buffers;
}

// The strongest difference of two colours in one of their channels.
int Contrast(COLORREF a, COLORREF b)
{
    return std::max({std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
                     std::abs(GetBValue(a) - GetBValue(b))});
}

// The rows of a window's column `x` that show a lit meter segment on the screen: the
// lit faces glow (blue, amber, red), the unlit ones stay dark.
std::vector<int> LitRows(HWND meter, int x)
{
    RECT client;
    GetClientRect(meter, &client);
    std::vector<int> rows;
    for (int y = 0; y < client.bottom; ++y) {
        const COLORREF pixel = ScreenPixel(meter, x, y);
        if (std::max({GetRValue(pixel), GetGValue(pixel), GetBValue(pixel)}) >= 0x80)
            rows.push_back(y);
    }
    return rows;
}

std::vector<int32_t> Fields(const qz::ParamBlock& block, int first, int count)
{
    std::vector<int32_t> values;
    for (int i = 0; i < count; ++i)
        values.push_back(block.field(first + i));
    return values;
}

// Typed numbers are read with the field's own decimals, then clamped by the engine;
// the step that follows the entry shows the value the engine took. A host's
// comma-decimal C locale changes none of it.
TEST(PageControls, TypedEntriesReadTheSameInEveryCLocale)
{
    const struct {
        int id;
        const char* typed;
        int blockIndex;
        int32_t value;
        const char* shown;
    } cases[] = {
        {ID_ATTACK, "15", BlockIndex::Attack + 1, 150, "15.0"},      // tenths of ms
        {ID_RELEASE, "15", BlockIndex::Release + 1, 15, "15"},        // whole ms
        {ID_THRESHOLD + 2, "-12.34", BlockIndex::Threshold + 2, -123, "-12.3"},
        {ID_RATIO, "12.34", BlockIndex::Ratio + 1, 123, "12.3"},
        {ID_GAIN, "-3", BlockIndex::Gain + 1, -30, "-3.0"},
        {ID_GAIN, ".5", BlockIndex::Gain + 1, 5, "0.5"},
        {ID_KNEE, "abc", BlockIndex::Knee + 1, 0, "Hard"},
        {ID_RATIO, "1000", BlockIndex::Ratio + 1, 300, "30.0"},   // clamped
        {ID_FREQ + 1, "1000", BlockIndex::Freq + 1, 170, "1002"},    // the nearest step
        {ID_FREQ, "0", BlockIndex::Freq + 0, 0, "20"},
        {ID_FREQ + 3, "30000", BlockIndex::Freq + 3, 300, "20000"},
        {ID_QFACTOR, "0.755", BlockIndex::QFactor, 75, "0.75"},
        {ID_OUTPUT_GAIN, "abc", BlockIndex::OutputGain, 0, "0.0"},
    };
    for (const char* locale : {"C", "German"}) {
        SCOPED_TRACE(locale);
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr);
        OpenPage open;
        ASSERT_NE(open.window, nullptr);
        open.prop->SetOutputGain(50, FALSE);
        SelectBand(open, 1);
        for (const auto& c : cases) {
            Type(open, c.id, c.typed);
            EXPECT_EQ(Block(open).field(c.blockIndex), c.value) << c.id << " \"" << c.typed << "\"";
            EXPECT_EQ(Text(open.Control(c.id)), c.shown) << c.id << " \"" << c.typed << "\"";
        }
        EXPECT_EQ(SendMessageA(open.Control(ID_GAIN_SLIDER), qz::SL_GETPOS, 0, 0), 5)
            << "a typed gain moves the slider";
    }
    std::setlocale(LC_ALL, "C");
}

// Every field takes the widest value of its range from the real keyboard: its box
// scrolls rather than refusing what does not fit its width.
TEST(PageControls, EveryFieldTakesTheWidestValueOfItsRangeFromTheKeys)
{
    const struct {
        int id;
        int band;  // the view the field shows in: a band, or 5 for all bands
        const char* typed;
        int blockIndex;
        int32_t value;
        const char* shown;
    } cases[] = {
        {ID_FREQ, 5, "3000", BlockIndex::Freq, qz::CrossoverPosition(3000), "3027"},
        {ID_FREQ + 3, 5, "20000", BlockIndex::Freq + 3, 300, "20000"},
        {ID_THRESHOLD + 4, 5, "-60.0", BlockIndex::Threshold + 4, -600, "-60.0"},
        {ID_QFACTOR, 5, "1.50", BlockIndex::QFactor, 150, "1.50"},
        {ID_OUTPUT_GAIN, 5, "-24.0", BlockIndex::OutputGain, -240, "-24.0"},
        {ID_RATIO, 1, "30.0", BlockIndex::Ratio + 1, 300, "30.0"},
        {ID_KNEE, 1, "30", BlockIndex::Knee + 1, 30, "30"},
        {ID_GAIN, 1, "-18.0", BlockIndex::Gain + 1, -180, "-18.0"},
        {ID_ATTACK, 1, "400.0", BlockIndex::Attack + 1, 4000, "400.0"},
        {ID_RELEASE, 1, "4000", BlockIndex::Release + 1, 4000, "4000"},
    };
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        SelectBand(open, c.band);
        ASSERT_TRUE(TypeWithKeys(open, c.id, c.typed)) << c.id;
        EXPECT_TRUE(PumpUntil([&] { return Block(open).field(c.blockIndex) == c.value; }))
            << c.id << " took " << Block(open).field(c.blockIndex);
        EXPECT_TRUE(PumpUntil([&] { return Text(open.Control(c.id)) == c.shown; }))
            << c.id << " shows " << Text(open.Control(c.id));
    }
}

// A typed crossover moves that crossover alone, even past its neighbours; and the
// step of 0 a field posts when it loses the focus moves nothing, however the
// crossovers stand.
TEST(PageControls, ATypedCrossoverMovesAloneAndAFocusLossMovesNothing)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    ASSERT_TRUE(TypeWithKeys(open, ID_FREQ, "500"));
    const int32_t typed = qz::CrossoverPosition(500);
    EXPECT_TRUE(PumpUntil([&] { return Block(open).Freq[0] == typed; })) << Block(open).Freq[0];
    EXPECT_EQ(Fields(Block(open), BlockIndex::Freq, 4), (std::vector<int32_t>{typed, 121, 180, 240}));
    EXPECT_EQ(Text(open.Control(ID_FREQ)), "502");
    EXPECT_EQ(Text(open.Control(ID_FREQ + 1)), "324") << "2|3 stays where it was";

    // The focus goes from field to field with clicks: 1|2, then 3|4, then a threshold.
    open.prop->SetFreq(250, 2, FALSE);  // 3|4 now above 4|5 as well
    const qz::ParamBlock before = Block(open);
    SetForegroundWindow(HostWindow());
    ASSERT_TRUE(Xdotool("mousemove " + ScreenPoint(open.Control(ID_FREQ), 20, 10) + " click 1 sleep 0.2 mousemove " +
                        ScreenPoint(open.Control(ID_FREQ + 2), 20, 10) + " click 1 sleep 0.2 mousemove " +
                        ScreenPoint(open.Control(ID_THRESHOLD), 20, 10) + " click 1 sleep 0.2"));
    PumpMessages();
    EXPECT_EQ(GetFocus(), open.Control(ID_THRESHOLD)) << "the clicks moved the focus";
    EXPECT_EQ(Fields(Block(open), BlockIndex::Freq, 4), Fields(before, BlockIndex::Freq, 4));
    EXPECT_EQ(Block(open), before) << "nothing else moved either";
}

// Steps of the fields: the all-bands view moves every band by a step cut to keep
// the loudest in range; a crossover stepped past its neighbours carries them; the
// largest key steps stop at the range's ends.
TEST(PageControls, FieldStepsKeepEveryBandAndCrossoverInRange)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    const int32_t gains[] = {0, 170, -20, 0, 0};
    for (int band = 0; band < 5; ++band)
        open.prop->SetGain(gains[band], band, FALSE);
    SelectBand(open, 5);
    Step(open, ID_GAIN, 30);
    EXPECT_EQ(Fields(Block(open), BlockIndex::Gain, 5), (std::vector<int32_t>{10, 180, -10, 10, 10}));
    EXPECT_EQ(Text(open.Control(ID_GAIN)), "1.0") << "the step every band took";

    Step(open, ID_FREQ + 1, 150);
    EXPECT_EQ(Fields(Block(open), BlockIndex::Freq, 4), (std::vector<int32_t>{60, 271, 271, 271}));
    EXPECT_EQ(Text(open.Control(ID_FREQ + 3)), "10257") << "the carried crossovers show at once";
    Type(open, ID_FREQ, "2000");
    EXPECT_EQ(Fields(Block(open), BlockIndex::Freq, 4), (std::vector<int32_t>{200, 271, 271, 271}))
        << "typing moves that crossover only";

    Step(open, ID_THRESHOLD + 3, -32768);  // End
    EXPECT_EQ(Block(open).Threshold[3], -600);
    EXPECT_EQ(Text(open.Control(ID_THRESHOLD + 3)), "-60.0");
    Step(open, ID_THRESHOLD + 3, 32767);  // Home
    EXPECT_EQ(Block(open).Threshold[3], 0);
}

// The band meters draw each band's threshold handle where the engine's threshold is.
TEST(PageControls, AThresholdMovesItsHandleOnTheBandMeters)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    HWND meters = open.Control(ID_MULTIMETER);
    const auto picture = [&](int band) {
        std::vector<COLORREF> pixels;
        for (int x = 20 + 60 * band; x < 60 + 60 * band; x += 4)
            for (int y = 0; y < 155; ++y)
                pixels.push_back(ScreenPixel(meters, x, y));
        return pixels;
    };
    PumpMessages();
    const std::vector<COLORREF> band1 = picture(1), band2 = picture(2);
    Type(open, ID_THRESHOLD + 2, "-30");
    open.Tick();  // the meters repaint with the tick's levels
    PumpMessages();
    EXPECT_NE(picture(2), band2) << "band 2's handle moved";
    EXPECT_EQ(picture(1), band1) << "band 1's stayed";
}

// x 0..26 of the strip is band 0, 27..53 band 1 and so on; 135 and beyond all bands.
TEST(PageControls, TheSelectorStripPicksBandsBy27Pixels)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    for (int band = 0; band < 5; ++band)
        open.prop->SetRatio(10 * (band + 1), band, FALSE);
    const struct {
        int x;
        const char* ratioShown;  // nullptr: the all-bands view, without the ratio field
    } cases[] = {{0, "1.0"}, {26, "1.0"}, {27, "2.0"}, {53, "2.0"}, {108, "5.0"}, {134, "5.0"}, {135, nullptr},
                 {199, nullptr}};
    for (const auto& c : cases) {
        SendMessageA(open.window, qz::SI_CLICK, ID_SELECTOR, MAKELPARAM(c.x, 5));
        EXPECT_EQ(IsWindowVisible(open.Control(ID_RATIO)) != FALSE, c.ratioShown != nullptr) << c.x;
        if (c.ratioShown != nullptr) {
            EXPECT_EQ(Text(open.Control(ID_RATIO)), c.ratioShown) << c.x;
        }
    }
}

// Each kind of control under the real pointer changes the engine, and the host
// hears the gesture begin, change and end.
TEST(PageControls, TheRealPointerChangesTheEngineThroughEveryKindOfControl)
{
    const int handleX = qz::XoverAxisX(1262, 313);  // crossover 2 at its default
    const struct {
        const char* what;
        int band;  // selected first; 5 is the all-bands view
        int control;
        POINT at;
        std::vector<std::string> gesture;  // after "mousemove" to `at`
        std::function<bool(const qz::ParamBlock&)> changed;
    } cases[] = {
        {"a slider drag raises band 1's attack", 1, ID_ATTACK_SLIDER, {71, 11},
         {"mousedown 1", "mousemove_relative -- 6 0", "mouseup 1"},
         [](const qz::ParamBlock& b) { return b.Attack[1] > 150; }},
        {"a field drag lowers band 3's threshold", 5, ID_THRESHOLD + 3, {20, 10},
         {"mousedown 1", "mousemove_relative -- -8 0", "mouseup 1"},
         [](const qz::ParamBlock& b) { return b.Threshold[3] < 0; }},
        {"the wheel on a field lowers crossover 2", 5, ID_FREQ + 2, {20, 10}, {"click 5"},
         [](const qz::ParamBlock& b) { return b.Freq[2] < 180; }},
        {"the band meters: band 2's threshold dragged down", 5, ID_MULTIMETER, {150, 100},
         {"mousedown 1", "mousemove_relative -- 0 30", "mouseup 1"},
         [](const qz::ParamBlock& b) { return b.Threshold[2] < 0 && b.Threshold[1] == 0; }},
        {"the crossover graph: crossover 2 dragged left", 5, ID_XOVER_GRAPH, {handleX + 2, 60},
         {"mousedown 1", "mousemove_relative -- -20 0", "mouseup 1"},
         [](const qz::ParamBlock& b) { return b.Freq[2] < 180 && b.Freq[1] == 121; }},
        {"the curve graph: band 0 dragged", 0, ID_COMP_GRAPH, {50, 50},
         {"mousedown 1", "mousemove_relative -- 3 -4", "mouseup 1"},
         [](const qz::ParamBlock& b) { return b.Ratio[0] != 10 && b.Knee[0] > 10; }},
        {"the grid: band 4's release dragged up", 5, ID_GRID, {190, 110},
         {"mousedown 1", "mousemove_relative -- 0 -5", "mouseup 1"},
         [](const qz::ParamBlock& b) { return b.Release[4] > 200 && b.Release[3] == 200; }},
        {"a push button: TCR", 5, ID_TCR, {18, 10}, {"click 1"},
         [](const qz::ParamBlock& b) { return b.TCR == 1; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OpenPage open;
        ASSERT_NE(open.window, nullptr);
        GestureRecorder host;
        ComPtr<IMediaParamsSetUICallback> setCallback =
            As<IMediaParamsSetUICallback>(open.filter.get(), qz::kIID_IMediaParamsSetUICallback);
        ASSERT_EQ(setCallback->SetUICallback(&host), S_OK);
        SelectBand(open, c.band);
        open.Tick();
        host.events.clear();

        SetForegroundWindow(HostWindow());
        std::vector<std::string> steps = {"mousemove " + ScreenPoint(open.Control(c.control), c.at.x, c.at.y)};
        steps.insert(steps.end(), c.gesture.begin(), c.gesture.end());
        ASSERT_TRUE(XdotoolSteps(steps));
        EXPECT_TRUE(PumpUntil([&] { return c.changed(Block(open)); }));
        open.Tick();  // nothing is held any more: the capture ends
        ASSERT_GE(host.events.size(), 3u);
        EXPECT_EQ(host.events.front().rfind("begin", 0), 0u) << host.events.front();
        EXPECT_EQ(host.events[1].rfind("changed", 0), 0u) << host.events[1];
        EXPECT_EQ(host.events.back().rfind("end", 0), 0u) << host.events.back();
        setCallback->SetUICallback(nullptr);
    }
}

// Audio through the system's graph with the page open: an envelope of the host moves
// the output gain field within a tick, the output meters' peak text follows the
// audio, and a click on the text clears the peak holds.
TEST(PageControls, EnvelopesAndMetersFollowTheStreamAndTheirTicks)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    // Six tenths of a second of loud noise, then two of silence.
    std::vector<std::vector<BYTE>> buffers;
    uint32_t noise = 1;
    for (int b = 0; b < 8; ++b) {
        std::vector<int16_t> samples(4410 * 2);
        for (int16_t& sample : samples) {
            noise = noise * 1664525u + 1013904223u;
            sample = b < 6 ? int16_t(int32_t(noise >> 16) - 32768) / 4 : 0;
        }
        buffers.push_back(Bytes(samples.data(), samples.size() * 2));
    }
    PageFilterInGraph playing(open, AudioType(WAVE_FORMAT_PCM, 2, 44100, 16), buffers);
    ASSERT_TRUE(playing.connected);
    ComPtr<IMediaParams> params = As<IMediaParams>(open.filter.get(), qz::kIID_IMediaParams);
    MP_ENVELOPE_SEGMENT jump{2500000, 100000000, 0.75f, 0.75f, MP_CURVE_JUMP, 0};  // +12 dB at 0.25 s
    constexpr DWORD kOutputGainIndex = 1;
    ASSERT_EQ(params->AddEnvelope(kOutputGainIndex, 1, &jump), S_OK);
    EXPECT_EQ(Text(open.Control(ID_OUTPUT_GAIN)), "0.0");
    EXPECT_EQ(Text(open.Control(ID_PEAK_TEXT)).substr(0, 4), "-Inf") << "no audio yet";

    EXPECT_TRUE(playing.PlayToTheEnd());
    EXPECT_TRUE(PumpUntil([&] { return Text(open.Control(ID_OUTPUT_GAIN)) == "12.0"; }))
        << Text(open.Control(ID_OUTPUT_GAIN));
    playing.graph.control()->Stop();

    const std::string loudest = Text(open.Control(ID_PEAK_TEXT));
    EXPECT_EQ(loudest.find("Inf"), std::string::npos) << "the peak holds show the loud part: " << loudest;
    SetForegroundWindow(HostWindow());
    ASSERT_TRUE(XdotoolSteps({"mousemove " + ScreenPoint(open.Control(ID_PEAK_TEXT), 26, 5) + " click 1"}));
    const auto cleared = [&] {
        const std::string text = Text(open.Control(ID_PEAK_TEXT));
        return text.rfind("-Inf", 0) == 0 && text.size() > 4 && text.substr(text.size() - 4) == "-Inf";
    };
    EXPECT_TRUE(PumpUntil(cleared)) << "the stream ended in silence: " << Text(open.Control(ID_PEAK_TEXT));
}

// The output meters rise from the bottom: silence lights nothing, and a tone at
// -4 dBFS lights the bar from the bottom up to its level, where the hold line sits.
TEST(PageControls, TheOutputMetersRiseFromTheBottom)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    open.Tick();
    PumpMessages();
    HWND left = open.Control(ID_OUTPUT_METER_LEFT);
    EXPECT_EQ(LitRows(left, 5), std::vector<int>()) << "silence lights no segment";

    PageFilterInGraph playing(open, AudioType(WAVE_FORMAT_PCM, 2, 44100, 16), ToneBuffers(6, 0.631));
    ASSERT_TRUE(playing.connected);
    ASSERT_TRUE(playing.PlayToTheEnd());
    open.Tick();
    PumpMessages();
    const std::vector<int> lit = LitRows(left, 5);
    ASSERT_FALSE(lit.empty()) << "the tone lights the meter";
    // -4 dB of the -60..0 dB range is row 2 + 151 x 4 / 60 = 12, counted from the top.
    EXPECT_GE(lit.front(), 8) << "the top stays dark";
    EXPECT_LE(lit.front(), 18) << "lit up to the tone's level";
    EXPECT_EQ(lit.back(), 152) << "lit from the bottom";
    EXPECT_GT(lit.size(), 80u) << "and all the way up: the bar, not a strip at one end";
}

// The widest peak reading, both holds with two digits, fits the peak text in the
// page's font: Arial, which the Wine prefix resolves to a face of Arial's metrics.
TEST(PageControls, TheWidestPeakReadingFitsItsText)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    for (int meter : {ID_OUTPUT_METER_LEFT, ID_OUTPUT_METER_RIGHT})
        SendMessageA(open.Control(meter), qz::MT_SETLEVELS, -600, -600);
    open.Tick();
    HWND peak = open.Control(ID_PEAK_TEXT);
    const std::string text = Text(peak);
    EXPECT_EQ(text, "-60.0 -60.0");

    HDC dc = GetDC(peak);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(peak, WM_GETFONT, 0, 0)));
    char face[LF_FACESIZE] = "";
    GetTextFaceA(dc, sizeof face, face);
    SIZE extent{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, previous);
    ReleaseDC(peak, dc);
    RECT client;
    GetClientRect(peak, &client);
    EXPECT_STREQ(face, "Arial");
    EXPECT_LE(extent.cx, client.right) << "\"" << text << "\" is drawn whole, without an ellipsis";
}

// Both kinds of tick of the attack and release sliders stand out from the skin they
// are drawn on: nine ticks each, 0 (or 1) to 4000 by 500, the long ones at the ends.
TEST(PageControls, TheSlidersShowEveryTick)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    open.prop->SetAttack(2000, 1, FALSE);  // the thumbs in the middle, clear of the end ticks
    open.prop->SetRelease(2000, 1, FALSE);
    SelectBand(open, 1);
    PumpMessages();
    constexpr int kVisible = 40;  // a tick differs this much from the skin beside it
    for (int id : {ID_ATTACK_SLIDER, ID_RELEASE_SLIDER}) {
        SCOPED_TRACE(id);
        HWND slider = open.Control(id);
        RECT client;
        GetClientRect(slider, &client);
        // Both kinds reach this row, below the thumb; only the long ones reach the upper row.
        const int bothKinds = client.bottom - 6, longOnly = client.bottom - 9;
        const auto standsOut = [&](int x, int y) {
            const COLORREF tick = ScreenPixel(slider, x, y);
            return Contrast(tick, ScreenPixel(slider, x - 2, y)) >= kVisible &&
                   Contrast(tick, ScreenPixel(slider, x + 2, y)) >= kVisible;
        };
        // The ticks' span: from 12 pixels in, where the thumb's travel starts, to its end.
        std::vector<int> ticks;
        for (int x = 8; x < client.right - 12; ++x)
            if (standsOut(x, bothKinds))
                ticks.push_back(x);
        ASSERT_EQ(ticks.size(), 9u) << ::testing::PrintToString(ticks);
        EXPECT_TRUE(standsOut(ticks.front(), longOnly)) << "a long tick at the start";
        EXPECT_TRUE(standsOut(ticks.back(), longOnly)) << "and at the end";
        EXPECT_FALSE(standsOut(ticks[1], longOnly)) << "short ones between";
    }
}

} // namespace
