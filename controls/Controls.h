// The editor's toolkit of skinned child windows: what the page needs to register the
// classes, configure the controls and read their notifications.
//
// Every control is created with the page's skin bitmap as its creation parameter
// (lpCreateParams) and paints the part of the skin under itself as its first layer.
// Window classes are named "qz:" and the control's name.
#pragma once

#include <windows.h>

namespace qz {

// Registers, in this order, the toolkit's classes: qz:PushButton, qz:Slider, qz:Edit,
// qz:StaticText, qz:StaticImage, qz:StaticNoHitImage, qz:Meter and qz:CompGraph, all
// with the same settings (double-clicks, the parent's DC, 4 window extra bytes, the
// arrow cursor, the button-face brush).
void RegisterControlClasses();
// Removes every class RegisterControlClasses added.
void UnregisterControlClasses();
// The classes with a registration of their own, with the same settings.
void RegisterMultiMeterClass();
void UnregisterMultiMeterClass();
void RegisterXoverGraphClass();
void UnregisterXoverGraphClass();
void RegisterCommonGridClass();
void UnregisterCommonGridClass();

// The process-wide drag flags the page hands to the engine: a push button (or any
// control that takes the mouse) is held, or a graph is being dragged. Any toolkit
// window losing the mouse capture clears both.
bool IsControlDragging();
bool IsGraphDragging();

// --- qz:PushButton -----------------------------------------------------------------
// Window style bits of the class.
constexpr DWORD PBS_ARROWMARK = 0x0001; // a small down arrow at the right
constexpr DWORD PBS_MENUMARK = 0x0002;  // the menu mark bitmap at the right

enum PushButtonMessage : UINT {
    PB_SETCHECK = 2025,        // wParam checked state, lParam 1: repaint now
    PB_GETCHECK = 2026,        // returns the checked state
    PB_REFRESH = 2027,         // lParam 1: repaint now
    PB_SETDBLCLKNOTIFY = 2028, // wParam 1: report double-clicks with code 2
    PB_SETICON = 2029,         // wParam bitmap resource number (0 none), lParam 1: repaint now
    PB_SETICONKEY = 2030,      // wParam COLORREF: the icon's transparent colour
    PB_RBUTTON = 2031,         // to the parent: right button down; wParam id, lParam position
    PB_RELEASE = 2032,         // end a press now and drop one pending mouse-button message
    PB_SETFACES = 2033,        // wParam normal face, lParam pressed face (pixel images)
    PB_SETFOCUSRECT = 2034,    // wParam pointer to 4 ints added to the focus rectangle, lParam inset mode
    PB_SETCOLORS = 2035,       // wParam pointer to 9 COLORREFs (kept), lParam 1: repaint now
    PB_SETONTINT = 2036,       // wParam tint word applied to the face while checked
    PB_SETTEXTCOLOR = 2037,    // wParam COLORREF
};

// The push button's notifications: WM_COMMAND to the parent, sent, with the button's
// id in the low word of wParam, one of these codes in the high word, and the button
// window in lParam.
enum PushButtonNotification : WORD {
    PBN_CLICKED = 0,  // the press ended with the pointer inside
    PBN_PRESSED = 1,  // a press began (button, double-click, space and its repeats)
    PBN_DBLCLK = 2,   // a double-click, with PB_SETDBLCLKNOTIFY set
    PBN_REENTER = 3,  // during a mouse press the pointer came back in
    PBN_LEAVE = 4,    // during a mouse press the pointer went out
};

// --- qz:StaticImage and qz:StaticNoHitImage -----------------------------------------
enum StaticImageMessage : UINT {
    SI_SETIMAGE = 2874, // wParam bitmap resource number, -1 for none
    SI_CLICK = 2875,    // posted to the parent by qz:StaticImage: wParam id, lParam position
};

// --- qz:Slider ------------------------------------------------------------------------
// Window style bits of the class.
constexpr DWORD SLS_VERTICAL = 0x0001;   // the value grows upward
constexpr DWORD SLS_BITMAPMODE = 0x0002; // a plain bitmap instead of skin, groove and ticks

enum SliderMessage : UINT {
    SL_GETPOS = 2125,          // returns the value
    SL_SETPOS = 2126,          // wParam value (stored as given), lParam 1: repaint now
    SL_SETRANGE = 2127,        // wParam min, lParam max
    SL_POSCHANGED = 2129,      // to the parent, sent: wParam new value, lParam slider
    SL_DBLCLK = 2130,          // to the parent, sent: wParam id, lParam slider
    SL_SETACCEL = 2131,        // wParam 1: quadratic response to the pointer
    SL_SETTICKSPACING = 2132,  // wParam spacing, 0 none
    SL_SETPAGESTEP = 2133,     // wParam PgUp/PgDn step
    SL_SETTICKOFFSET = 2134,   // wParam distance added after the tick at min
    SL_SETBITMAP = 2135,       // wParam bitmap resource of the bitmap mode
    SL_SETTHUMB = 2136,        // wParam pixel image
    SL_ENDCHANGE = 2137,       // to the parent, sent: a gesture ended; lParam slider
    SL_SETGROOVE = 2138,       // wParam 0/1
    SL_SETTHUMBLENGTH = 2139,  // wParam pixels along the axis
    SL_SETFOCUSTINT = 2140,    // wParam tint word while focused or dragged
    SL_SETIDLETINT = 2141,     // wParam tint word otherwise, 0 none
};

// --- qz:Edit (numeric field) ----------------------------------------------------------
// Window style bits of the class.
constexpr DWORD EDS_NOACCEL = 0x0001;    // linear response to drags
constexpr DWORD EDS_RIGHTALIGN = 0x0002; // text at the right

enum FieldMessage : UINT {
    ED_DELTA = 2225,         // to the parent, posted: LOWORD(wParam) id, HIWORD(wParam) signed step, lParam field
    ED_SETACCEL = 2226,      // wParam 0/1
    ED_SETFLAGS = 2227,      // wParam ED_REVERSED
    ED_TEXTACK = 2228,       // the parent took one text change into account
    ED_SETTLED = 2229,       // to the parent, posted: no text change pending; wParam id, lParam field
    ED_SETBACKGROUND = 2230, // wParam pixel image
};
constexpr WPARAM ED_REVERSED = 0x0002; // every step is negated
// The WM_COMMAND code (EN_CHANGE) with which a field tells its parent that the user
// committed a typed entry; a step of 0 follows.
constexpr WORD kFieldTextCommitted = 0x0300;
// The in-place editor's child id.
constexpr int kInPlaceEditorId = 4321;

// Destroys the in-place editor of a field, if one is open; its text is discarded.
void CloseInPlaceEditor();

// --- qz:Meter -------------------------------------------------------------------------
constexpr DWORD MTS_VERTICAL = 0x0001;
constexpr DWORD MTS_INVERTED = 0x0002;   // vertical mapping not flipped
constexpr DWORD MTS_BALLISTICS = 0x0008; // fall-back, peak hold and the hold line
constexpr DWORD MTS_CENTREZERO = 0x0010; // bipolar vertical bar
constexpr DWORD MTS_NEEDLE = 0x0040;     // horizontal meters: a needle instead of a bar

enum MeterMessage : UINT {
    MT_SETRANGE = 2625,  // wParam min, lParam max
    MT_SETLEVELS = 2626, // wParam level L, lParam level R
    MT_GETHOLD = 2627,   // wParam, lParam: int* for the hold values (or null)
    MT_RESETMAX = 2628,
    MT_GETMAX = 2629,    // wParam, lParam: int* for the highest values (or null)
    MT_SETIMAGES = 2630, // wParam unlit face, lParam lit face (pixel images)
    MT_SETFALL = 2631,   // wParam fall per update
};
// The level of silence.
constexpr int kNoLevel = -9999;

// --- qz:MultiMeter --------------------------------------------------------------------
enum MultiMeterMessage : UINT {
    MM_SETVALUES = 3024,      // wParam int*, lParam count (at most 15): per band left, right, gain
    MM_SETMARKER = 3025,      // wParam pixel image
    MM_SETMARKERSEL = 3026,   // wParam pixel image
    MM_SETTHRESHOLD = 3027,   // wParam int* threshold, lParam band 0..4
    MM_ADJUST = 3028,         // to the parent, posted: wParam threshold change, lParam band (+10000 after the first)
    MM_SELECTBAND = 3029,     // wParam band 0..4 or -1
    MM_BANDFOCUS = 3030,      // to the parent, posted: wParam highlighted band or -1
    MM_SETLEVELBITMAP = 3031, // wParam bitmap resource
    MM_SETGAINBITMAP = 3032,  // wParam bitmap resource
    MM_DBLCLK = 3033,         // to the parent, sent: wParam active band
};
constexpr int kMultiMeterValues = 15;
// Added to the band of every MM_ADJUST of one step after the first.
constexpr LPARAM kSameStepBand = 10000;

// --- qz:CompGraph ---------------------------------------------------------------------
// One band's curve: the parameters of its static gain law.
struct CurveParams {
    int threshold; // tenths of dB
    int ratio;     // tenths; 301 is drawn as 10000:1
    int gain;      // make-up gain, tenths of dB
    int knee;      // dB, 0 = hard
    int reserved1, reserved2;
    int type;      // 0 Normal, otherwise Vintage
};
constexpr int kMaxCurves = 5;

enum CurveGraphMessage : UINT {
    CG_SETRANGE = 2725,     // wParam vertical span in tenths of dB
    CG_SETLEVEL = 2726,     // wParam int* level of the dot, tenths of dB
    CG_SETCURVES = 2727,    // wParam CurveParams* (curve count of them), lParam selected curve
    CG_DRAG = 2728,         // to the parent, sent: wParam dx, lParam dy in pixels
    CG_SETCOUNT = 2730,     // wParam 1..5
    CG_SETLINECOLOR = 2731, // wParam COLORREF of the 1:1 line
    CG_SETCOLORS = 2732,    // wParam COLORREF[8]: (selected, unselected) for curves 0..3
};

// The output amplitude the curve gives for an input amplitude: the band's static
// gain law with its make-up gain, as the graph draws it.
double CurveOutput(const CurveParams& curve, double amplitude);

// --- qz:XoverGraph --------------------------------------------------------------------
enum XoverGraphMessage : UINT {
    XG_FREQCHANGED = 3124, // to the parent, posted: wParam crossover 0..3, lParam frequency in Hz
    XG_SETFREQ = 3126,     // wParam frequency in Hz, lParam crossover 0..3
    XG_SETBANDGAIN = 3127, // wParam gain in tenths of dB, lParam band 0..4
    XG_GAINDELTA = 3129,   // to the parent, posted: wParam band, lParam gain change
    XG_SETSELECTED = 3130, // wParam band 0..4 or -1
    XG_BANDCLICK = 3131,   // to the parent, posted: wParam band
    XG_SETSOLO = 3132,     // wParam band 0..4, lParam solo flag
    XG_DRAGSTART = 3133,   // to the parent, sent: a handle or a band's top was grabbed
    XG_SETHANDLE = 3134,   // wParam bitmap resource of the crossover handle
};

// The x of a frequency on a crossover graph `width` pixels wide: a logarithmic axis
// from 18 Hz to 22050 Hz over the area inside a 2-pixel border.
int XoverAxisX(double frequency, int width);
// Its inverse for a pointer at column x: the frequency (whole Hz) of that pixel's
// middle, within the axis.
int XoverAxisFrequency(int x, int width);

// --- qz:CommonGrid --------------------------------------------------------------------
enum CommonGridMessage : UINT {
    GR_SETBITMAP = 3224,   // wParam bitmap resource of the background
    GR_SETDATA = 3225,     // wParam pointer to the engine's parameter block
    GR_CELLDELTA = 3226,   // to the parent, sent: wParam row | column << 16 (column -1: all), lParam signed 16-bit step
    GR_CELLDBLCLK = 3227,  // to the parent, sent: wParam row, lParam column (-1: all)
};

// The text of a grid cell: row 0 Ratio, 1 Knee, 2 Type, 3 Gain, 4 Attack, 5 Release,
// from the parameter's value in engine units.
void FormatGridCell(int row, int value, char* text, size_t size);

} // namespace qz
