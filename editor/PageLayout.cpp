#include "PageLayout.h"

#include "Controls.h"
#include "ResourceIds.h"

namespace qz::page {

namespace {

constexpr DWORD kTabStop = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
constexpr DWORD kPlain = WS_CHILD | WS_VISIBLE;
// Numeric fields show their text at the right; most follow drags linearly.
constexpr DWORD kLinearField = kTabStop | EDS_NOACCEL | EDS_RIGHTALIGN;
constexpr DWORD kAcceleratedField = kTabStop | EDS_RIGHTALIGN;
// The output meters rise from the bottom (MTS_INVERTED would hang them from the top).
constexpr DWORD kOutputMeter = kPlain | MTS_VERTICAL | MTS_BALLISTICS;
// The compressor graph's own style bit: the curves are drawn as a family.
constexpr DWORD kCurveFamily = 0x0001;

constexpr COLORREF kCheckedTint = 0xEB78F8FF;

// Offsets added to a push button's focus rectangle.
const int kSetupFocus[4] = {0, 0, 1, 0};
const int kArrowFocus[4] = {-2, 0, 0, 0};
const int kBandButtonFocus[4] = {-2, -2, 1, 1};

SetupMessage Faces(int normal, int pressed)
{
    return {PB_SETFACES, PixelImage(normal), PixelImage(pressed)};
}

SetupMessage FocusRect(const int* offsets, int inset)
{
    return {PB_SETFOCUSRECT, Value(reinterpret_cast<LPARAM>(offsets)), Value(inset)};
}

SetupMessage Send(UINT message, LPARAM wParam, LPARAM lParam = 0) { return {message, Value(wParam), Value(lParam)}; }

ControlEntry Button(int id, int x, int y, int width, DWORD style, const char* text, std::vector<SetupMessage> setup)
{
    return {id, "qz:PushButton", x, y, width, 21, style, 0, text, std::move(setup)};
}

ControlEntry Field(int id, int x, int y, int width, DWORD style, int background, std::vector<SetupMessage> extra = {})
{
    std::vector<SetupMessage> setup = {
        Send(WM_SETFONT, reinterpret_cast<LPARAM>(GetStockObject(DEFAULT_GUI_FONT))),
        {ED_SETBACKGROUND, PixelImage(background), Value(0)},
    };
    setup.insert(setup.end(), extra.begin(), extra.end());
    return {id, "qz:Edit", x, y, width, 21, style, 0, "", std::move(setup)};
}

ControlEntry Slider(int id, int y, std::vector<SetupMessage> setup)
{
    setup.push_back({SL_SETTHUMB, PixelImage(IDR_SLIDER_THUMB), Value(0)});
    return {id, "qz:Slider", 401, y, 142, 23, kTabStop, 0, "", std::move(setup)};
}

ControlEntry Caption(int id, int x, int y, int width, int image)
{
    return {id, "qz:StaticNoHitImage", x, y, width, 10, kPlain, 0, "", {Send(SI_SETIMAGE, image)}};
}

ControlEntry OutputMeter(int id, int x)
{
    return {id, "qz:Meter", x, 44, 12, 155, kOutputMeter, 0, "",
            {{MT_SETIMAGES, PixelImage(IDR_METER_UNLIT), PixelImage(IDR_METER_LIT)}, Send(MT_SETRANGE, -600)}};
}

} // namespace

std::vector<ControlEntry> ControlTable(HFONT pageFont)
{
    const SetupMessage face76 = Faces(IDR_FACE76_NORMAL, IDR_FACE76_PRESSED);
    const SetupMessage face36 = Faces(IDR_FACE36_NORMAL, IDR_FACE36_PRESSED);
    const SetupMessage face19 = Faces(IDR_FACE19_NORMAL, IDR_FACE19_PRESSED);

    std::vector<ControlEntry> table = {
        Button(ID_BYPASS, 16, 16, 76, kTabStop, "Bypass", {face76}),
        Button(ID_UNDO, 95, 16, 76, kTabStop, "Undo", {face76}),
        Button(ID_SETUP, 174, 16, 61, kTabStop, "Setup A",
               {Faces(IDR_FACE61_NORMAL, IDR_FACE61_PRESSED), FocusRect(kSetupFocus, 0)}),
        Button(ID_SETUP_MENU, 235, 16, 15, kTabStop | PBS_ARROWMARK, "",
               {Faces(IDR_FACE15_NORMAL, IDR_FACE15_PRESSED), FocusRect(kArrowFocus, 0)}),
        Button(ID_RESET, 253, 16, 76, kTabStop, "Reset", {face76}),
        Button(ID_PRESETS, 332, 16, 76, kTabStop | PBS_ARROWMARK, "Presets", {face76}),
        Button(ID_HELP, 411, 16, 76, kTabStop, "Help", {face76}),
        {ID_MULTIMETER, "qz:MultiMeter", 17, 44, 313, 155, kTabStop, 0, "",
         {{MM_SETMARKER, PixelImage(IDR_MARKER), Value(0)},
          {MM_SETMARKERSEL, PixelImage(IDR_MARKER_SELECTED), Value(0)},
          Send(MM_SETLEVELBITMAP, IDB_LEVEL_BAR),
          Send(MM_SETGAINBITMAP, IDB_GAIN_BAR)}},
        {ID_XOVER_GRAPH, "qz:XoverGraph", 17, 253, 313, 102, kPlain, 0, "", {Send(XG_SETHANDLE, IDB_XOVER_HANDLE)}},
    };

    for (int band = 0; band < kBands; ++band) {
        table.push_back(
            Field(ID_THRESHOLD + band, 27 + 60 * band, 211, 40, kLinearField, IDR_FIELD40, {Send(ED_SETFLAGS, 1)}));
        ControlEntry solo{ID_BAND_SOLO + band, "qz:PushButton", 27 + 60 * band, 234, 19, 14, kTabStop, 0, "",
                          {face19, Send(PB_SETICON, IDB_ICON_SOLO), FocusRect(kBandButtonFocus, 1)}};
        ControlEntry bypass = solo;
        bypass.id = ID_BAND_BYPASS + band;
        bypass.x = 48 + 60 * band;
        bypass.setup = {face19, Send(PB_SETICON, IDB_ICON_BYPASS), Send(PB_SETONTINT, LPARAM(kCheckedTint)),
                        FocusRect(kBandButtonFocus, 1)};
        table.push_back(solo);
        table.push_back(bypass);
    }
    for (int crossover = 0; crossover < kCrossovers; ++crossover)
        table.push_back(Field(ID_FREQ + crossover, 45 + 70 * crossover, 367, 40, kLinearField, IDR_FIELD40));

    const std::vector<ControlEntry> rest = {
        {ID_COMP_GRAPH, "qz:CompGraph", 333, 44, 155, 155, kPlain | kCurveFamily, 0, "", {Send(CG_SETCOUNT, kBands)}},
        {ID_SELECTOR, "qz:StaticImage", 333, 217, 200, 20, kPlain, 0, "", {}},
        Caption(ID_CAPTION_BAND, 342, 239, 113, IDB_CAPTION_BAND),
        Caption(ID_CAPTION_Q, 336, 246, 12, IDB_CAPTION_Q),
        Caption(ID_CAPTION_OUT, 472, 246, 20, IDB_CAPTION_OUT),
        Caption(ID_CAPTION_DB, 529, 246, 16, IDB_CAPTION_DB),
        Field(ID_RATIO, 341, 250, 40, kLinearField, IDR_FIELD40, {Send(ED_SETFLAGS, 3), Send(ED_SETACCEL, 0)}),
        Field(ID_KNEE, 386, 250, 40, kLinearField, IDR_FIELD40),
        Button(ID_TYPE, 431, 250, 76, kTabStop | PBS_MENUMARK, "Normal", {face76}),
        Field(ID_QFACTOR, 349, 239, 36, kLinearField, IDR_FIELD36),
        Button(ID_TCR, 392, 239, 36, kTabStop, "TCR", {face36}),
        Button(ID_LIMITER, 431, 239, 36, kTabStop, "Limit", {face36}),
        Field(ID_OUTPUT_GAIN, 493, 239, 36, kLinearField, IDR_FIELD36, {Send(ED_SETACCEL, 0)}),
        {ID_GRID, "qz:CommonGrid", 335, 264, 210, 120, kPlain, 0, "", {Send(GR_SETBITMAP, IDB_GRID)}},
        Field(ID_GAIN, 341, 286, 40, kLinearField, IDR_FIELD40, {Send(ED_SETFLAGS, 1)}),
        Slider(ID_GAIN_SLIDER, 289, {Send(SL_SETRANGE, -300, 300)}),
        Field(ID_ATTACK, 341, 323, 40, kAcceleratedField, IDR_FIELD40),
        Slider(ID_ATTACK_SLIDER, 326,
               {Send(SL_SETTICKSPACING, 500), Send(SL_SETPAGESTEP, 1000), Send(SL_SETRANGE, 0, 400),
                Send(SL_SETACCEL, 1)}),
        Field(ID_RELEASE, 341, 359, 40, kAcceleratedField, IDR_FIELD40),
        Slider(ID_RELEASE_SLIDER, 362,
               {Send(SL_SETTICKSPACING, 500), Send(SL_SETPAGESTEP, 1000), Send(SL_SETRANGE, 1, 4000),
                Send(SL_SETACCEL, 1)}),
        OutputMeter(ID_OUTPUT_METER_LEFT, 508),
        OutputMeter(ID_OUTPUT_METER_RIGHT, 538),
        // As wide as the read-out on the skin: the widest pair, "-60.0 -60.0", is 53
        // pixels in the page font.
        {ID_PEAK_TEXT, "qz:StaticText", 503, 32, 53, 11, kPlain | SS_CENTER | SS_NOTIFY, 0, "-Inf -Inf",
         {Send(WM_SETFONT, reinterpret_cast<LPARAM>(pageFont))}},
    };
    table.insert(table.end(), rest.begin(), rest.end());
    // The global switches sit on the grid's caption row and let it show through.
    for (ControlEntry& entry : table)
        if (entry.id == ID_TCR || entry.id == ID_LIMITER || entry.id == ID_QFACTOR)
            entry.exStyle = WS_EX_TRANSPARENT;
    return table;
}

} // namespace qz::page
