// The editor page's controls: their ids and the table the page creates them from.
#pragma once

#include <windows.h>

#include <vector>

namespace qz::page {

constexpr int kWidth = 570;
constexpr int kHeight = 436;
constexpr int kBands = 5;
constexpr int kCrossovers = 4;

enum ControlId : int {
    // The top row of page commands.
    ID_BYPASS = 20010,
    ID_UNDO = 20011,
    ID_SETUP = 20012,
    ID_SETUP_MENU = 20013,
    ID_RESET = 20014,
    ID_PRESETS = 20015,
    ID_HELP = 20016,
    // Meters and graphs.
    ID_XOVER_GRAPH = 20020,
    ID_MULTIMETER = 20021,
    ID_COMP_GRAPH = 10006,
    ID_OUTPUT_METER_LEFT = 10025,
    ID_OUTPUT_METER_RIGHT = 10026,
    ID_PEAK_TEXT = 10022,
    ID_GRID = 10027,
    // Per band (+ band 0..4) and per crossover (+ crossover 0..3).
    ID_THRESHOLD = 10100,
    ID_FREQ = 10120,
    ID_BAND_SOLO = 10160,
    ID_BAND_BYPASS = 10180,
    // The band selector strip and the captions of the two views.
    ID_SELECTOR = 10140,
    ID_CAPTION_BAND = 10028,
    ID_CAPTION_Q = 10029,
    ID_CAPTION_DB = 10030,
    ID_CAPTION_OUT = 10031,
    // The selected band's parameters.
    ID_RATIO = 10012,
    ID_KNEE = 10013,
    ID_TYPE = 10018,
    ID_GAIN = 10008,
    ID_GAIN_SLIDER = 10009,
    ID_ATTACK = 10014,
    ID_ATTACK_SLIDER = 10015,
    ID_RELEASE = 10016,
    ID_RELEASE_SLIDER = 10017,
    // The global parameters.
    ID_QFACTOR = 10024,
    ID_TCR = 10019,
    ID_LIMITER = 10023,
    ID_OUTPUT_GAIN = 10032,
};

// Items of the setup menu (the preset menu's are the preset manager's).
enum MenuItemId : int {
    ID_MENU_SETUP_A = 10502,
    ID_MENU_SETUP_B = 10503,
    ID_MENU_COPY_TO_OTHER = 10504,
    ID_MENU_COPY_FROM_OTHER = 10505,
};

// A set-up message argument: a plain value, or the resource number of a pixel image
// that the page loads and passes as a pointer.
struct SetupArgument {
    LPARAM value;
    bool pixelImage;
};
constexpr SetupArgument Value(LPARAM value) { return {value, false}; }
constexpr SetupArgument PixelImage(int resource) { return {resource, true}; }

struct SetupMessage {
    UINT message;
    SetupArgument wParam;
    SetupArgument lParam;
};

// One control of the page: how it is created and the messages that set it up.
struct ControlEntry {
    int id;
    const char* windowClass;
    int x, y, width, height;
    DWORD style;
    DWORD exStyle;
    const char* text;
    std::vector<SetupMessage> setup;
};

// The page's controls in creation order; static texts get `pageFont`.
std::vector<ControlEntry> ControlTable(HFONT pageFont);

} // namespace qz::page
