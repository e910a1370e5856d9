// This program's operator new: allocations from a given size on fail while armed, so
// that code that copies a long list runs out of memory for real.
#include <atomic>
#include <cstdlib>
#include <new>

#include "PresetUiSupport.h"

namespace {
std::atomic<size_t> g_failFrom{0};
}

void qz::test::FailAllocationsFrom(size_t size) { g_failFrom = size; }

void* operator new(size_t size)
{
    const size_t failFrom = g_failFrom.load();
    void* memory = failFrom != 0 && size >= failFrom ? nullptr : std::malloc(size != 0 ? size : 1);
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
