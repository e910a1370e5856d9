#pragma once
// A parameter block that one thread writes and others read without a lock (a sequence
// lock): the writer never waits, and a reader that met a write in progress is told so
// and tries again later. The plug-in uses it to hand settings between the audio thread
// and the threads that save and restore state.

#include <atomic>
#include <cstdint>

#include "ParamBlock.h"

namespace qz::lv2 {

class SharedBlock {
public:
    // Only one thread may store at a time.
    void store(const ParamBlock& block)
    {
        const uint32_t sequence = m_sequence.load(std::memory_order_relaxed);
        m_sequence.store(sequence + 1, std::memory_order_relaxed);  // odd: a write is under way
        std::atomic_thread_fence(std::memory_order_release);
        for (int i = 0; i < kBlockFieldCount; ++i)
            m_fields[i].store(block.field(i), std::memory_order_relaxed);
        m_sequence.store(sequence + 2, std::memory_order_release);
    }

    // False when a store was under way; otherwise the block and the sequence number
    // of the store it came from.
    bool load(ParamBlock& block, uint32_t& sequence) const
    {
        const uint32_t before = m_sequence.load(std::memory_order_acquire);
        if (before & 1u)
            return false;
        for (int i = 0; i < kBlockFieldCount; ++i)
            block.field(i) = m_fields[i].load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        sequence = before;
        return m_sequence.load(std::memory_order_relaxed) == before;
    }

    // Counts the stores: changes with each one.
    uint32_t sequence() const { return m_sequence.load(std::memory_order_acquire); }

private:
    std::atomic<uint32_t> m_sequence{0};
    std::atomic<int32_t> m_fields[kBlockFieldCount] = {};
};

} // namespace qz::lv2
