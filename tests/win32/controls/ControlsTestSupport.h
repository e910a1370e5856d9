// Helpers of the control tests: a memory canvas with exact 32-bit pixels, a parent
// window that records what its controls report, message pumping, and the module's
// own skin.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A memory DC with a 32-bit top-down DIB section selected: real GDI drawing, and
// pixels read back exactly.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    COLORREF pixel(int x, int y) const;
    void setPixel(int x, int y, COLORREF colour);
    void fill(COLORREF colour);

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
};

std::string ColourText(COLORREF colour);

// A raw pixel image (R, G, B, transparency) of one colour.
std::vector<uint8_t> SolidImage(int width, int height, COLORREF colour, int transparency);

// What a control told its parent.
struct Report {
    UINT message; // WM_COMMAND, PB_RBUTTON, SI_CLICK ...
    WPARAM wParam;
    LPARAM lParam;
};

// A visible top-level window that parents the controls under test, 570 x 436 like
// the page, and records every WM_COMMAND and toolkit message it receives. One serves
// the whole program (Wine takes seconds to take a top-level window off the screen
// when no window manager answers); Parent() removes the previous test's controls and
// clears the reports.
class TestParent {
public:
    TestParent();
    TestParent(const TestParent&) = delete;
    TestParent& operator=(const TestParent&) = delete;

    HWND window() const { return window_; }
    HBITMAP skin() const { return skin_; }
    // A toolkit control at (x, y) with the page's skin as its creation parameter.
    HWND Create(const char* className, int id, int x, int y, int width, int height, DWORD style = 0,
                const char* text = "");
    std::vector<Report> reports;
    // The notification codes (HIWORD of wParam) of the WM_COMMAND reports.
    std::vector<int> Codes() const;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    HBITMAP skin_ = nullptr;
};

TestParent& Parent();
// The same parent without that clean-up, for use within a test.
TestParent& Page();
// What the parent's controls reported with this message, once the queue is pumped.
std::vector<Report> ReportsOf(UINT message);

// Dispatches every message queued for this thread.
void Pump();
// Pumps until `done` answers true or about five seconds have passed (a deadline for
// input that goes through the X server, not a measurement).
template <class Done>
bool PumpUntil(Done done)
{
    for (int i = 0; i < 500; ++i) {
        Pump();
        if (done())
            return true;
        Sleep(10);
    }
    return false;
}

// A screen pixel of a window's client area, as the X server shows it.
COLORREF ScreenPixel(HWND window, int x, int y);

// Runs `xdotool ARGS` on the X server Wine uses and waits until it has finished,
// pumping this thread's messages meanwhile. True when xdotool succeeded.
bool Xdotool(const std::string& args);
// Screen coordinates of a point of a window's client area, as "X Y".
std::string ScreenPoint(HWND window, int x, int y);
// Lets the input of one xdotool call arrive.
void Settle();
// Runs each step in an xdotool call of its own and lets it arrive. True when all ran.
bool XdotoolSteps(const std::vector<std::string>& steps);
