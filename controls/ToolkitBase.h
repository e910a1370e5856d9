// What every control of the toolkit shares: the module its classes and images come
// from, class registration, the process-wide drag flags, the per-window state record
// and double-buffered painting from the skin.
#pragma once

#include <windows.h>

#include <new>

namespace qz {

// The module holding the toolkit (the DLL, or a program the toolkit is linked into):
// its classes are registered for it and its bitmaps are loaded from it.
HINSTANCE ToolkitModule();

// Registers one toolkit class with the shared settings.
void RegisterControlClass(const char* name, WNDPROC procedure);
void UnregisterControlClass(const char* name);

// The drag flags (see Controls.h for the readers).
void SetControlDragging(bool dragging);
void SetGraphDragging(bool dragging);
void ClearDragFlags();

// The per-window state record: value-initialised on WM_CREATE and kept in the
// window's user data until WM_DESTROY. CreateWindowState returns null when the record
// cannot be allocated (WM_CREATE then returns -1 and creation fails).
template <class State>
State* CreateWindowState(HWND window)
{
    State* state = new (std::nothrow) State{};
    if (state)
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    return state;
}

template <class State>
State* WindowState(HWND window)
{
    return reinterpret_cast<State*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

template <class State>
void DestroyWindowState(HWND window)
{
    delete WindowState<State>(window);
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
}

// The skin bitmap a control was created with.
inline HBITMAP SkinFromCreateStruct(LPARAM createStruct)
{
    return static_cast<HBITMAP>(reinterpret_cast<const CREATESTRUCTA*>(createStruct)->lpCreateParams);
}

// WM_PAINT of every control: the update region is only validated, because the control
// then paints its whole client area at once through an OffscreenPaint (and nothing is
// ever erased: WM_ERASEBKGND answers 1).
void ValidateUpdateRegion(HWND window);

// How one control class answers its messages: `create` makes the state record at
// WM_CREATE, `paint` draws the whole control, `handle` takes every other message and
// ends with DefWindowProcA, and `destroy` (may be null) releases what the record holds.
template <class State>
struct ControlHandlers {
    LRESULT (*create)(HWND window, LPARAM createStruct);
    void (*paint)(HWND window, State& state);
    LRESULT (*handle)(HWND window, State& state, UINT message, WPARAM wParam, LPARAM lParam);
    void (*destroy)(HWND window, State& state);
};

// The window procedure's frame that every control shares: the state record from
// WM_CREATE to WM_DESTROY (messages without one go to DefWindowProcA), no erase, a
// validated paint (see ValidateUpdateRegion), and a lost capture clearing the drag
// flags once the control has ended its own drag.
template <class State>
LRESULT DispatchControlMessage(const ControlHandlers<State>& control, HWND window, UINT message, WPARAM wParam,
                               LPARAM lParam)
{
    if (message == WM_CREATE)
        return control.create(window, lParam);
    State* state = WindowState<State>(window);
    if (!state)
        return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        if (control.destroy)
            control.destroy(window, *state);
        DestroyWindowState<State>(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        ValidateUpdateRegion(window);
        control.paint(window, *state);
        return 0;
    case WM_CAPTURECHANGED: {
        const LRESULT result = control.handle(window, *state, message, wParam, lParam);
        ClearDragFlags();
        return result;
    }
    default:
        return control.handle(window, *state, message, wParam, lParam);
    }
}

// One paint of a control: an off-screen image of the client size whose first layer
// is the part of the skin under the control. The control draws into dc(); the image
// is copied to the window (through its own DC) in one block when this object ends.
class OffscreenPaint {
public:
    OffscreenPaint(HWND window, HBITMAP skin);
    ~OffscreenPaint();
    OffscreenPaint(const OffscreenPaint&) = delete;
    OffscreenPaint& operator=(const OffscreenPaint&) = delete;

    bool ok() const { return image_ != nullptr; }
    HDC dc() const { return memory_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    HWND window_;
    HDC windowDc_ = nullptr;
    HDC memory_ = nullptr;
    HBITMAP image_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    int width_ = 0, height_ = 0;
};

// --- Shared input rules ------------------------------------------------------------

// The wheel notches of a WM_MOUSEWHEEL: the signed delta over 120, truncated toward
// zero, and +1 or -1 for a delta smaller than one notch.
int WheelNotches(WPARAM wParam);

// How fast the wheel turns: 500 over the milliseconds since the previous wheel
// message (at least 1 ms), at least 1. `now` is this message's time (GetMessageTime),
// remembered in `lastTime`.
int WheelSpeed(int& lastTime, int now);

// A step carried in a signed 16-bit word (a notification's high word): saturated at
// the word's limits rather than wrapped round to the other sign.
short SaturateToShort(long long step);

// A relative pointer drag along one axis: the pointer is hidden while the button is
// held, and warped back to the middle of the screen when it reaches the screen's
// edge, so that the drag has no end of travel. Only the motion counts.
struct RelativeDrag {
    int dragging;    // the button is held
    int moved;       // the pointer moved since the press
    int recentring;  // the pointer was just warped: its next move is not a step
    short last;      // the previous axis coordinate, client pixels
    POINT pressPoint; // screen position at the press
    HCURSOR savedCursor;
};

// Button down: capture the mouse, hide the pointer, set the control-drag flag.
void BeginRelativeDrag(HWND window, RelativeDrag& drag, short coordinate);

// A mouse move at axis coordinate `coordinate`: true with the motion since the
// previous move in *delta when it counts as a step; false while the pointer is
// warped back from the screen's edge, and for the move the warp itself causes.
bool RelativeDragStep(RelativeDrag& drag, short coordinate, int* delta);

// Ends the drag (button up, or the capture taken away): releases the mouse if this
// window still holds it and clears the control-drag flag. False when no drag was
// under way.
bool StopRelativeDrag(HWND window, RelativeDrag& drag);
// Then shows the pointer again, first putting it at `returnTo` (screen) when it moved.
void RestorePointer(const RelativeDrag& drag, const POINT& returnTo);

// The window procedures of the toolkit's classes.
LRESULT CALLBACK PushButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticTextProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticNoHitImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK SliderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK FieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MeterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK CurveGraphProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MultiMeterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK XoverGraphProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK CommonGridProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Whether the in-place editor of a numeric field is open (sliders and fields then
// leave the wheel alone).
bool InPlaceEditorOpen();

} // namespace qz
