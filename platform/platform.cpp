#include "qz_platform.h"

namespace qz {

#ifdef _WIN32

void* AllocateScratch(size_t bytes) { return HeapAlloc(GetProcessHeap(), 0, bytes); }
void FreeScratch(void* block) { HeapFree(GetProcessHeap(), 0, block); }

#else

void* AllocateScratch(size_t bytes) { return std::malloc(bytes); }
void FreeScratch(void* block) { std::free(block); }

namespace {
std::atomic<WindowHooks> g_windowHooks{WindowHooks{nullptr, nullptr}};
}

WindowHooks SetWindowHooks(WindowHooks hooks) { return g_windowHooks.exchange(hooks); }

bool WindowExists(HWND window)
{
    WindowHooks hooks = g_windowHooks.load();
    return hooks.exists != nullptr && hooks.exists(window);
}

bool PostWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowHooks hooks = g_windowHooks.load();
    return hooks.post != nullptr && hooks.post(window, message, wParam, lParam);
}

#endif

} // namespace qz
