#include "Interruption.h"

#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>

#include <pthread.h>

#include <atomic>
#include <initializer_list>

namespace qz::files {

namespace {

// A handler may run on any thread, at any moment, and may only touch lock-free atomics
// and fixed memory and call unlink: the registered paths live in fixed slots whose
// state says who may read them.
enum SlotState : int { kFree, kFilling, kReady, kRemoving };

struct PendingSlot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need lock-free atomics");

// Two temporary files per batch job at most (the output and its picture).
constexpr int kSlotCount = 256;
PendingSlot g_slots[kSlotCount];

std::atomic<int> g_stopRequest{0};
std::atomic<bool> g_cooperative{false};

void RemoveEveryPendingFile()
{
    for (PendingSlot& slot : g_slots) {
        int ready = kReady;
        if (slot.state.compare_exchange_strong(ready, kRemoving))
            unlink(slot.path);
    }
}

extern "C" void OnInterruption(int signalNumber)
{
    if (g_cooperative.load()) {
        const int level = g_stopRequest.load();
        if (level < static_cast<int>(StopRequest::AbandonRunning)) {
            g_stopRequest.store(signalNumber == SIGINT ? level + 1 : static_cast<int>(StopRequest::AbandonRunning));
            return;
        }
    }
    RemoveEveryPendingFile();
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void InstallHandlers(int flags)
{
    struct sigaction action {};
    action.sa_handler = OnInterruption;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signalNumber, &action, nullptr);
    }
}

} // namespace

bool RegisterPendingFile(const char* path)
{
    const size_t length = std::strlen(path);
    if (length >= PATH_MAX)
        return false;
    for (PendingSlot& slot : g_slots) {
        int free = kFree;
        if (!slot.state.compare_exchange_strong(free, kFilling))
            continue;
        std::memcpy(slot.path, path, length + 1);
        slot.state.store(kReady);
        return true;
    }
    return false;
}

void ReleasePendingFile(const char* path)
{
    for (PendingSlot& slot : g_slots) {
        if (slot.state.load() != kReady || std::strcmp(slot.path, path) != 0)
            continue;
        int ready = kReady;
        // Fails only when a handler is removing the file: the program is ending anyway.
        slot.state.compare_exchange_strong(ready, kFree);
        return;
    }
}

void WatchForInterruption()
{
    static std::atomic<bool> installed{false};
    if (!installed.exchange(true) && !g_cooperative.load())
        InstallHandlers(0);
}

void StopCooperatively()
{
    g_cooperative.store(true);
    // Reads and writes that a stop request interrupts carry on; the workers look at the
    // request between blocks.
    InstallHandlers(SA_RESTART);
}

StopRequest CurrentStopRequest() { return static_cast<StopRequest>(g_stopRequest.load()); }

InterruptionsHeld::InterruptionsHeld()
{
    sigset_t held;
    sigemptyset(&held);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&held, signalNumber);
    pthread_sigmask(SIG_BLOCK, &held, &m_previous);
}

InterruptionsHeld::~InterruptionsHeld() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }

} // namespace qz::files
