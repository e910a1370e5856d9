#pragma once
// The automation of one parameter: the curve a host sent as timed segments, the value
// set directly (by the host's SetParam, an editor move, a preset or a loaded block),
// and which of the two is in force:
//   held       a directly set value is in force (heldValue)
//   following  the curve is in force (value)
//   captured   an editor gesture owns the parameter: heldValue, even inside a segment
// Values inside are in the parameter's internal range; times are 100-ns units.

#include <atomic>
#include <vector>

#include "ParamTable.h"
#include "media_params.h"

namespace qz {

class CParamEnvelope {
public:
    // Segments one envelope keeps at most; more cannot be stored.
    static constexpr size_t kMaxSegments = size_t(1) << 20;

    CParamEnvelope() = default;
    virtual ~CParamEnvelope() = default;
    CParamEnvelope(const CParamEnvelope&) = delete;
    CParamEnvelope& operator=(const CParamEnvelope&) = delete;

    // Takes the parameter's information record; held at its neutral value.
    void Init(const ParamInfoRecord& record);

    HRESULT SetValue(MP_DATA hostValue);
    MP_DATA GetValue() const { return ToExternal(CurrentValue()); }
    // The value in force (internal range): heldValue while held or captured, else value.
    MP_DATA CurrentValue() const;

    void SetCaptured(bool captured);
    bool IsHeld() const { return m_held.load(std::memory_order_acquire); }
    bool IsCaptured() const { return m_captured.load(std::memory_order_acquire); }

    // timeFactor: samples per 100-ns unit, with which segment times are snapped to
    // whole samples. S_FALSE for no segments; E_OUTOFMEMORY when they cannot be stored
    // (nothing is added then). The new list is built aside and swapped in, so the
    // streaming thread never waits for more than the swap.
    HRESULT AddSegments(DWORD count, const MP_ENVELOPE_SEGMENT* segments, double timeFactor);
    // Removes the segments that overlap start .. end (touching ones stay).
    HRESULT FlushSegments(REFERENCE_TIME start, REFERENCE_TIME end, double timeFactor);
    // Evaluates the curve at time t. S_FALSE, changing nothing, with no segments.
    // moved: whether the value in force changed.
    HRESULT UpdateToTime(REFERENCE_TIME t, bool& moved);
    // Index of the segment in force at t (the last starting at or before it), or -1.
    int FindSegment(REFERENCE_TIME t);

    std::vector<MP_ENVELOPE_SEGMENT> Segments();  // a copy, for inspection
    REFERENCE_TIME LastTime();

    // Host range <-> internal range by the record's type. Internal values are kept
    // inside the internal range; NaN counts as its minimum.
    MP_DATA ToInternal(MP_DATA hostValue) const;
    MP_DATA ToExternal(MP_DATA internalValue) const;

    // A time snapped to whole samples; the two extreme values stand for open ends and
    // stay as they are.
    static REFERENCE_TIME Snap(REFERENCE_TIME time, double timeFactor);

private:
    using SegmentList = std::vector<MP_ENVELOPE_SEGMENT>;

    // With no segments and nothing held or captured: hold the current value.
    void HoldIfIdle();
    void Hold(MP_DATA internalValue);
    // The caller's segments snapped, without those stored already or given twice,
    // sorted by start (equal starts in the caller's order). earliestStart: the
    // earliest snapped start of all of them, the ones left out included.
    SegmentList NewSegments(DWORD count, const MP_ENVELOPE_SEGMENT* segments, double timeFactor,
                            REFERENCE_TIME& earliestStart) const;
    bool IsStored(const MP_ENVELOPE_SEGMENT& segment) const;
    // Makes `list` the segment list (the previous one is left in `list`).
    void SwapIn(SegmentList& list);

    // The writers (AddSegments, FlushSegments) take m_writeLock for their whole work
    // and read the list without m_lock, since nobody else changes it; m_lock, which
    // the streaming thread takes per buffer, they hold only to swap in their result.
    RecursiveLock m_writeLock;
    RecursiveLock m_lock;  // guards the list's swap, value's evaluation and lastTime
    ParamInfoRecord m_info{};
    SegmentList m_segments;  // sorted by rtStart; equal starts in the order they came
    std::atomic<MP_DATA> m_value{0.0f};
    std::atomic<MP_DATA> m_heldValue{0.0f};
    std::atomic<bool> m_held{false};
    std::atomic<bool> m_captured{false};
    REFERENCE_TIME m_lastTime = 0;
};

} // namespace qz
