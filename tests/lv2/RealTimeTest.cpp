// run() on the audio thread neither allocates nor waits for another thread, whatever
// the controls, the block sizes and the host's other threads do. This program puts its
// own malloc, calloc, realloc, free and pthread_mutex_lock in front of the C library's
// (the plug-in binds to them when it is loaded): they count the allocator calls made
// inside run() and remember which mutexes run() takes and which the other threads take.
// run() may take a mutex of its own engine, which no other thread touches: such a lock
// never waits. One that another thread takes as well could.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "Lv2TestHost.h"

namespace {

// A set of addresses that threads add to without locking or allocating.
class AddressSet {
public:
    void add(const void* address)
    {
        for (size_t i = 0, slot = first(address); i < kSlots; ++i, slot = (slot + 1) % kSlots) {
            const void* held = nullptr;
            if (m_slots[slot].compare_exchange_strong(held, address) || held == address)
                return;
        }
        m_full = true;
    }
    bool contains(const void* address) const
    {
        for (size_t i = 0, slot = first(address); i < kSlots; ++i, slot = (slot + 1) % kSlots) {
            const void* held = m_slots[slot].load();
            if (held == address)
                return true;
            if (held == nullptr)
                return false;
        }
        return false;
    }
    std::vector<const void*> addresses() const
    {
        std::vector<const void*> all;
        for (const auto& slot : m_slots)
            if (const void* held = slot.load())
                all.push_back(held);
        return all;
    }
    bool full() const { return m_full; }
    void clear()
    {
        for (auto& slot : m_slots)
            slot.store(nullptr);
        m_full = false;
    }

private:
    static constexpr size_t kSlots = 4096;
    static size_t first(const void* address) { return reinterpret_cast<uintptr_t>(address) / 8 % kSlots; }
    std::atomic<const void*> m_slots[kSlots] = {};
    std::atomic<bool> m_full{false};
};

thread_local bool t_counting = false;     // inside the work being counted
thread_local bool t_countingThread = false;  // the thread that does that work
thread_local long t_allocatorCalls = 0;
AddressSet g_lockedWhileCounting, g_lockedElsewhere;

using MutexLock = int (*)(pthread_mutex_t*);
std::atomic<MutexLock> g_mutexLock{nullptr};

} // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);

void* malloc(size_t size)
{
    t_allocatorCalls += t_counting;
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size)
{
    t_allocatorCalls += t_counting;
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size)
{
    t_allocatorCalls += t_counting;
    return __libc_realloc(block, size);
}

void free(void* block)
{
    t_allocatorCalls += t_counting && block != nullptr;
    __libc_free(block);
}

int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    if (t_counting)
        g_lockedWhileCounting.add(mutex);
    else if (!t_countingThread)
        g_lockedElsewhere.add(mutex);
    MutexLock lock = g_mutexLock.load(std::memory_order_acquire);
    if (lock == nullptr) {
        lock = reinterpret_cast<MutexLock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
        g_mutexLock.store(lock, std::memory_order_release);
    }
    return lock(mutex);
}
}

namespace qz::lv2test {
namespace {

// Counts on this thread from now on, forgetting every mutex seen so far.
void StartWatching()
{
    g_lockedWhileCounting.clear();
    g_lockedElsewhere.clear();
    t_countingThread = true;
}

// Runs `work` counted: returns the allocator calls it made on this thread; the mutexes
// it takes are remembered.
template <typename Work>
long RunCounted(Work&& work)
{
    const long before = t_allocatorCalls;
    t_counting = true;
    work();
    t_counting = false;
    return t_allocatorCalls - before;
}

// The mutexes taken in counted work that another thread took as well.
std::vector<const void*> SharedMutexes()
{
    EXPECT_FALSE(g_lockedWhileCounting.full() || g_lockedElsewhere.full()) << "more mutexes than the sets hold";
    std::vector<const void*> shared;
    for (const void* mutex : g_lockedWhileCounting.addresses())
        if (g_lockedElsewhere.contains(mutex))
            shared.push_back(mutex);
    return shared;
}

TEST(Lv2RealTime, TheCountsSeeThePluginsAllocationsAndSharedMutexes)
{
    StartWatching();
    Instance* made = nullptr;
    EXPECT_GT(RunCounted([&] { made = new Instance(lv2::kStereoUri, 48000); }), 0)
        << "the plug-in's own allocations reach the counting malloc";
    delete made;

    std::mutex shared, own;
    RunCounted([&] { std::lock_guard<std::mutex> a(shared), b(own); });
    std::thread([&] { std::lock_guard<std::mutex> hold(shared); }).join();
    EXPECT_EQ(SharedMutexes(), std::vector<const void*>{&shared});
}

// The controls the host moves between blocks: every band's settings, the limiter on
// and off, the Normal/Vintage choice.
void MoveControls(Instance& plugin, int step)
{
    plugin.setControls(step % 3 == 0 ? BusySettings() : DefaultParamBlock());
    plugin.control(FindParam("OutputGain")) = static_cast<float>(step % 25 - 12);
    plugin.control(FindParam("Limiter")) = static_cast<float>(step % 2);
    plugin.control(FindParam("Type 2")) = static_cast<float>(step / 2 % 2);
    plugin.control(FindParam("Threshold 4")) = -0.5f * static_cast<float>(step % 80);
}

TEST(Lv2RealTime, RunNeitherAllocatesNorWaitsForAnotherThread)
{
    constexpr uint32_t kLargest = 8192;
    const uint32_t blockSizes[] = {1, 7, 64, 512, 513, 4096, kLargest, 0};
    for (const char* uri : {lv2::kStereoUri, lv2::kMonoUri}) {
        for (const bool activated : {true, false}) {  // some hosts never call activate()
            SCOPED_TRACE(std::string(uri) + (activated ? ", activated" : ", never activated"));
            Instance plugin(uri, 48000);
            ASSERT_TRUE(plugin.valid());
            std::vector<float> in[2], out[2];
            float* inPtr[2] = {};
            float* outPtr[2] = {};
            const std::vector<float> signal = TestSignal(kLargest, 1);
            for (int c = 0; c < plugin.channels(); ++c) {
                in[c] = signal;
                out[c].assign(kLargest, 0.0f);
                inPtr[c] = in[c].data();
                outPtr[c] = out[c].data();
            }
            plugin.connectBuffers(inPtr, outPtr);
            if (activated)
                plugin.activate();

            // Meanwhile another thread saves and restores, as a host's session thread does.
            StartWatching();
            std::atomic<bool> done{false};
            std::thread session([&] {
                while (!done) {
                    std::map<std::string, StateValue> values;
                    plugin.save(values);
                    plugin.restore(values);
                }
            });
            long allocatorCalls = 0;
            for (int step = 0; step < 400; ++step) {
                MoveControls(plugin, step);
                const uint32_t frames = blockSizes[step % (sizeof blockSizes / sizeof blockSizes[0])];
                allocatorCalls += RunCounted([&] { plugin.run(frames); });
            }
            done = true;
            session.join();
            EXPECT_EQ(allocatorCalls, 0);
            EXPECT_EQ(SharedMutexes(), std::vector<const void*>{}) << "run() waits for no other thread";
        }
    }
}

} // namespace
} // namespace qz::lv2test
