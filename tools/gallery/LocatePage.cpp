// qzlocatepage: finds the editor page another program shows (qzhost --editor, say)
// and says where it is on the screen, for the pictures of the README.
//
//   qzlocatepage.exe           prints "PAGE_X PAGE_Y FRAME_X FRAME_Y FRAME_WIDTH FRAME_HEIGHT"
//   qzlocatepage.exe --close   closes the window that holds the page
//
// Exits 1, printing nothing, while no page is shown.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The page is the parent of its band meters, whose class is the editor's own.
BOOL CALLBACK FindBandMeters(HWND window, LPARAM found)
{
    char windowClass[32] = "";
    GetClassNameA(window, windowClass, sizeof windowClass);
    if (std::strcmp(windowClass, "qz:MultiMeter") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

BOOL CALLBACK FindPageIn(HWND topLevel, LPARAM found)
{
    if (IsWindowVisible(topLevel))
        EnumChildWindows(topLevel, FindBandMeters, found);
    return *reinterpret_cast<HWND*>(found) == nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    HWND meters = nullptr;
    EnumWindows(FindPageIn, reinterpret_cast<LPARAM>(&meters));
    if (meters == nullptr)
        return 1;
    HWND page = GetParent(meters);
    HWND frame = GetAncestor(page, GA_ROOT);
    if (argc > 1 && std::strcmp(argv[1], "--close") == 0) {
        PostMessageA(frame, WM_CLOSE, 0, 0);
        return 0;
    }
    POINT origin{0, 0};
    ClientToScreen(page, &origin);
    RECT bounds;
    GetWindowRect(frame, &bounds);
    std::printf("%ld %ld %ld %ld %ld %ld\n", origin.x, origin.y, bounds.left, bounds.top, bounds.right - bounds.left,
                bounds.bottom - bounds.top);
    return 0;
}
