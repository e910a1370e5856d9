#include "qz_platform.h"

#include <atomic>
#include <cstdint>

namespace qz {

namespace {
std::atomic<LONG> g_moduleObjects{0};
}

void ModuleObjectCreated() { ++g_moduleObjects; }
void ModuleObjectDestroyed() { --g_moduleObjects; }
LONG ModuleObjectCount() { return g_moduleObjects.load(); }

#ifdef _WIN32

namespace {

// Asks the memory manager about every region the range touches; any page that is not
// committed, is a guard page or lacks one of `access` fails the whole range.
bool RangeHas(const void* address, size_t bytes, DWORD access)
{
    if (address == nullptr)
        return false;
    if (bytes == 0)
        return true;
    const uintptr_t first = reinterpret_cast<uintptr_t>(address);
    if (bytes - 1 > UINTPTR_MAX - first)
        return false;  // past the end of the address space
    const uintptr_t last = first + (bytes - 1);
    uintptr_t at = first;
    for (;;) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) != sizeof region)
            return false;
        if (region.State != MEM_COMMIT || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0 ||
            (region.Protect & access) == 0)
            return false;
        const uintptr_t base = reinterpret_cast<uintptr_t>(region.BaseAddress);
        if (last - base < region.RegionSize)
            return true;
        at = base + region.RegionSize;
    }
}

constexpr DWORD kWritable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kReadable = kWritable | PAGE_READONLY | PAGE_EXECUTE_READ;

} // namespace

bool IsReadableMemory(const void* address, size_t bytes) { return RangeHas(address, bytes, kReadable); }
bool IsWritableMemory(const void* address, size_t bytes) { return RangeHas(address, bytes, kWritable); }

void* AllocateScratch(size_t bytes) { return HeapAlloc(GetProcessHeap(), 0, bytes); }
void FreeScratch(void* block) { HeapFree(GetProcessHeap(), 0, block); }

#else

bool IsReadableMemory(const void* address, size_t) { return address != nullptr; }
bool IsWritableMemory(const void* address, size_t) { return address != nullptr; }

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
