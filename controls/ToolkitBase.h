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

// The window procedures of the toolkit's classes.
LRESULT CALLBACK PushButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticTextProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticNoHitImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace qz
