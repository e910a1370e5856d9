#include "StoppingMemory.h"

#include <chrono>
#include <thread>

#include <signal.h>
#include <sys/mman.h>
#include <time.h>

namespace qz::test {
namespace {

// How long a stopped thread waits for Release before it goes on by itself.
constexpr int kDeadlineMs = 20000;

std::atomic<StoppingMemory*> g_armed{nullptr};

struct sigaction g_previous;

// A fault outside the armed memory is none of ours: the previous handler takes it,
// or the default action ends the program as it would have without us.
void OnFault(int signal, siginfo_t* info, void* context)
{
    StoppingMemory* memory = g_armed.load();
    if (memory != nullptr && memory->StopReader(info->si_addr))
        return;
    if (g_previous.sa_flags & SA_SIGINFO && g_previous.sa_sigaction != nullptr) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    sigaction(signal, &g_previous, nullptr);
}

// clock_gettime and nanosleep may be called from a signal handler.
long long NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
void Pause()
{
    const timespec millisecond{0, 1000000};
    nanosleep(&millisecond, nullptr);
}

} // namespace

StoppingMemory::StoppingMemory(size_t bytes) : m_size(bytes)
{
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    m_base = mapped == MAP_FAILED ? nullptr : static_cast<char*>(mapped);
}

StoppingMemory::~StoppingMemory()
{
    StoppingMemory* self = this;
    if (g_armed.compare_exchange_strong(self, nullptr))
        sigaction(SIGSEGV, &g_previous, nullptr);
    if (m_base != nullptr)
        munmap(m_base, m_size);
}

void StoppingMemory::Arm()
{
    g_armed = this;
    struct sigaction action{};
    action.sa_sigaction = &OnFault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, &g_previous);
    MakeAccessible(false);
}

void StoppingMemory::MakeAccessible(bool accessible)
{
    mprotect(m_base, m_size, accessible ? PROT_READ | PROT_WRITE : PROT_NONE);
}

bool StoppingMemory::WaitUntilAThreadStops(int milliseconds) const
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!m_stopped && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return m_stopped;
}

bool StoppingMemory::StopReader(const void* address)
{
    const char* at = static_cast<const char*>(address);
    if (at < m_base || at >= m_base + m_size)
        return false;
    m_stopped = true;
    const long long deadline = NowMs() + kDeadlineMs;
    while (!m_released && NowMs() < deadline)
        Pause();
    m_deadlinePassed = !m_released;
    MakeAccessible(true);
    return true;
}

} // namespace qz::test
