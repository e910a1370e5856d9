#pragma once
// Memory that stops the first thread reading it until the test lets that thread go: a
// way to hold another thread at a known point of its work (where it reads what a caller
// handed it) and look at what the rest of the program can do meanwhile. One instance at
// a time; the stopped thread waits at most a fixed deadline, so a test that never lets
// it go still ends.
//
// Native builds only: it resumes a thread from an access fault. The 32-bit Windows
// build runs its tests under an emulator that cannot resume a block copy that faulted.

#include <atomic>
#include <cstddef>

namespace qz::test {

class StoppingMemory {
public:
    explicit StoppingMemory(size_t bytes);
    ~StoppingMemory();
    StoppingMemory(const StoppingMemory&) = delete;
    StoppingMemory& operator=(const StoppingMemory&) = delete;

    bool ok() const { return m_base != nullptr; }
    // Page-aligned, readable and writable until Arm.
    void* data() const { return m_base; }
    // From now on the first read stops its thread.
    void Arm();
    // Whether a thread has stopped in the memory within `milliseconds`.
    bool WaitUntilAThreadStops(int milliseconds) const;
    // Lets the stopped thread read and go on.
    void Release() { m_released = true; }
    // Whether the stopped thread went on because of Release, not because the
    // deadline passed. Meaningful once that thread is done.
    bool ReleasedInTime() const { return m_stopped && !m_deadlinePassed; }

    // The fault handler's part: true when `address` lies in the armed memory, after
    // the faulting thread has waited for Release (or the deadline) and the memory has
    // been made readable again.
    bool StopReader(const void* address);

private:
    void MakeAccessible(bool accessible);

    char* m_base = nullptr;
    size_t m_size = 0;
    std::atomic<bool> m_stopped{false};
    std::atomic<bool> m_released{false};
    std::atomic<bool> m_deadlinePassed{false};
};

} // namespace qz::test
