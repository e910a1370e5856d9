#include "qz_platform.h"

#include <atomic>

namespace qz {

namespace {
std::atomic<LONG> g_moduleObjects{0};
}

void ModuleObjectCreated() { ++g_moduleObjects; }
void ModuleObjectDestroyed() { --g_moduleObjects; }
LONG ModuleObjectCount() { return g_moduleObjects.load(); }

#ifdef _WIN32

void* AllocateScratch(size_t bytes) { return HeapAlloc(GetProcessHeap(), 0, bytes); }
void FreeScratch(void* block) { HeapFree(GetProcessHeap(), 0, block); }

#else

void* AllocateScratch(size_t bytes) { return std::malloc(bytes); }
void FreeScratch(void* block) { std::free(block); }

namespace {
// Installed by tests before any engine runs; never changed while one does.
WindowHooks g_windowHooks{nullptr, nullptr};
}

WindowHooks SetWindowHooks(WindowHooks hooks)
{
    WindowHooks previous = g_windowHooks;
    g_windowHooks = hooks;
    return previous;
}

bool WindowExists(HWND window)
{
    return g_windowHooks.exists != nullptr && g_windowHooks.exists(window);
}

bool PostWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return g_windowHooks.post != nullptr && g_windowHooks.post(window, message, wParam, lParam);
}

#endif

} // namespace qz
