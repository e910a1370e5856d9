// The editor's toolkit of skinned child windows: what the page needs to register the
// classes, configure the controls and read their notifications.
//
// Every control is created with the page's skin bitmap as its creation parameter
// (lpCreateParams) and paints the part of the skin under itself as its first layer.
// Window classes are named "qz:" and the control's name.
#pragma once

#include <windows.h>

namespace qz {

// Registers, in this order, the toolkit's classes: qz:PushButton, qz:StaticText,
// qz:StaticImage and qz:StaticNoHitImage, all with the same settings (double-clicks,
// the parent's DC, 4 window extra bytes, the arrow cursor, the button-face brush).
void RegisterControlClasses();
// Removes every class RegisterControlClasses added.
void UnregisterControlClasses();

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

} // namespace qz
