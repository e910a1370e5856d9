#include "ParamEnvelope.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>

#include "PortableMath.h"

namespace qz {

namespace {

constexpr REFERENCE_TIME kEarliest = std::numeric_limits<REFERENCE_TIME>::min();
constexpr REFERENCE_TIME kLatest = std::numeric_limits<REFERENCE_TIME>::max();

// A double truncated toward zero into the 64-bit range.
REFERENCE_TIME TruncateToTime(double value)
{
    if (!(value > -9.2233720368547758e18))
        return kEarliest;
    if (!(value < 9.2233720368547758e18))
        return kLatest;
    return static_cast<REFERENCE_TIME>(value);
}

bool SameSegment(const MP_ENVELOPE_SEGMENT& a, const MP_ENVELOPE_SEGMENT& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool EarlierStart(const MP_ENVELOPE_SEGMENT& a, const MP_ENVELOPE_SEGMENT& b) { return a.rtStart < b.rtStart; }

// The index of the last segment starting at or before t, or -1.
int IndexInForce(const std::vector<MP_ENVELOPE_SEGMENT>& segments, REFERENCE_TIME t)
{
    auto after = std::upper_bound(segments.begin(), segments.end(), t,
                                  [](REFERENCE_TIME time, const MP_ENVELOPE_SEGMENT& s) { return time < s.rtStart; });
    return static_cast<int>(after - segments.begin()) - 1;
}

// Segments appended in place under the lock at most; larger additions are merged aside.
constexpr size_t kInPlaceAppendLimit = 256;

// b - a for a <= b, exactly, however far apart they are.
double Distance(REFERENCE_TIME a, REFERENCE_TIME b)
{
    return static_cast<double>(static_cast<uint64_t>(b) - static_cast<uint64_t>(a));
}

} // namespace

void CParamEnvelope::Init(const ParamInfoRecord& record)
{
    m_info = record;
    m_value.store(ToInternal(record.info.mpdNeutralValue));
    LockGuard hold(m_lock);
    HoldIfIdle();
}

MP_DATA CParamEnvelope::ToInternal(MP_DATA v) const
{
    const MP_PARAMINFO& p = m_info.info;
    const float low = m_info.internalMin, high = m_info.internalMax;
    float u;
    switch (p.mpType) {
    case MPT_FLOAT:
        u = low + (v - p.mpdMinValue) / (p.mpdMaxValue - p.mpdMinValue) * (high - low);
        break;
    case MPT_BOOL:
        u = v >= 0.5f ? 1.0f : 0.0f;
        break;
    default:
        u = std::floor(low + (v - p.mpdMinValue) / (p.mpdMaxValue - p.mpdMinValue) * (high - low) + 0.5f);
        break;
    }
    return u > high ? high : u >= low ? u : low;  // NaN -> low
}

MP_DATA CParamEnvelope::ToExternal(MP_DATA u) const
{
    const MP_PARAMINFO& p = m_info.info;
    if (p.mpType == MPT_BOOL)
        return u;
    return p.mpdMinValue + (u - m_info.internalMin) / (m_info.internalMax - m_info.internalMin) *
                               (p.mpdMaxValue - p.mpdMinValue);
}

MP_DATA CParamEnvelope::CurrentValue() const
{
    // The held value is written before the flag that publishes it.
    if (m_held.load(std::memory_order_acquire) || m_captured.load(std::memory_order_acquire))
        return m_heldValue.load(std::memory_order_relaxed);
    return m_value.load(std::memory_order_relaxed);
}

void CParamEnvelope::Hold(MP_DATA internalValue)
{
    m_heldValue.store(internalValue, std::memory_order_relaxed);
    m_held.store(true, std::memory_order_release);
}

HRESULT CParamEnvelope::SetValue(MP_DATA hostValue)
{
    const MP_DATA u = ToInternal(hostValue);
    m_value.store(u, std::memory_order_relaxed);
    Hold(u);
    return S_OK;
}

void CParamEnvelope::SetCaptured(bool captured) { m_captured.store(captured, std::memory_order_release); }

void CParamEnvelope::HoldIfIdle()
{
    if (m_segments.empty() && !IsHeld() && !IsCaptured())
        Hold(m_value.load(std::memory_order_relaxed));
}

REFERENCE_TIME CParamEnvelope::Snap(REFERENCE_TIME time, double timeFactor)
{
    if (time == kEarliest || time == kLatest)
        return time;
    const double samples = std::trunc(static_cast<double>(time) * timeFactor);
    return TruncateToTime(samples / timeFactor + 0.5);
}

bool CParamEnvelope::IsStored(const MP_ENVELOPE_SEGMENT& segment) const
{
    const auto run = std::equal_range(m_segments.begin(), m_segments.end(), segment, EarlierStart);
    return std::any_of(run.first, run.second, [&](const MP_ENVELOPE_SEGMENT& s) { return SameSegment(s, segment); });
}

CParamEnvelope::SegmentList CParamEnvelope::NewSegments(DWORD count, const MP_ENVELOPE_SEGMENT* segments,
                                                        double timeFactor, REFERENCE_TIME& earliestStart) const
{
    SegmentList snapped(segments, segments + count);
    earliestStart = kLatest;
    for (MP_ENVELOPE_SEGMENT& segment : snapped) {
        segment.rtStart = Snap(segment.rtStart, timeFactor);
        segment.rtEnd = Snap(segment.rtEnd, timeFactor);
        earliestStart = std::min(earliestStart, segment.rtStart);
    }
    // Copies of one segment lie side by side in this order; the first in the
    // caller's order is kept, unless the list holds it already.
    std::vector<DWORD> order(count);
    for (DWORD i = 0; i < count; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](DWORD a, DWORD b) {
        const MP_ENVELOPE_SEGMENT &x = snapped[a], &y = snapped[b];
        if (x.rtStart != y.rtStart)
            return x.rtStart < y.rtStart;
        const int bytes = std::memcmp(&x, &y, sizeof x);
        return bytes != 0 ? bytes < 0 : a < b;
    });
    std::vector<bool> keep(count, false);
    for (DWORD k = 0; k < count; ++k) {
        const MP_ENVELOPE_SEGMENT& segment = snapped[order[k]];
        const bool repeated = k > 0 && SameSegment(segment, snapped[order[k - 1]]);
        keep[order[k]] = !repeated && !IsStored(segment);
    }
    SegmentList fresh;
    fresh.reserve(count);
    for (DWORD i = 0; i < count; ++i)
        if (keep[i])
            fresh.push_back(snapped[i]);
    std::stable_sort(fresh.begin(), fresh.end(), EarlierStart);
    return fresh;
}

void CParamEnvelope::SwapIn(SegmentList& list)
{
    LockGuard hold(m_lock);
    m_segments.swap(list);
}

HRESULT CParamEnvelope::AddSegments(DWORD count, const MP_ENVELOPE_SEGMENT* segments, double timeFactor)
{
    if (count == 0)
        return S_FALSE;
    LockGuard writing(m_writeLock);
    if (count > kMaxSegments || m_segments.size() > kMaxSegments - count)
        return E_OUTOFMEMORY;
    try {
        REFERENCE_TIME earliestStart;
        const SegmentList fresh = NewSegments(count, segments, timeFactor, earliestStart);
        if (fresh.empty())
            return S_OK;

        // Everything new lies ahead of the latest evaluation: what played before the
        // segment in force (and the one before it) is no longer needed.
        const REFERENCE_TIME lastTime = LastTime();
        size_t stale = 0;
        if (earliestStart > lastTime)
            stale = static_cast<size_t>(std::max(IndexInForce(m_segments, lastTime) - 1, 0));

        // New segments that all go after the stored ones, with room for them, are
        // appended in place: a short copy under the lock, and no copy of the list.
        const bool appendOnly = m_segments.empty() || fresh.front().rtStart >= m_segments.back().rtStart;
        if (stale == 0 && appendOnly && fresh.size() <= kInPlaceAppendLimit &&
            m_segments.capacity() - m_segments.size() >= fresh.size()) {
            LockGuard hold(m_lock);
            m_segments.insert(m_segments.end(), fresh.begin(), fresh.end());
            return S_OK;
        }
        const size_t size = m_segments.size() - stale + fresh.size();
        SegmentList merged;
        merged.reserve(std::max(size, std::min(size + size / 2, kMaxSegments)));  // room to append to
        std::merge(m_segments.begin() + static_cast<std::ptrdiff_t>(stale), m_segments.end(), fresh.begin(),
                   fresh.end(), std::back_inserter(merged), EarlierStart);
        SwapIn(merged);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CParamEnvelope::FlushSegments(REFERENCE_TIME start, REFERENCE_TIME end, double timeFactor)
{
    LockGuard writing(m_writeLock);
    start = Snap(start, timeFactor);
    end = Snap(end, timeFactor);
    const auto overlaps = [&](const MP_ENVELOPE_SEGMENT& s) { return s.rtStart < end && s.rtEnd > start; };
    if (std::any_of(m_segments.begin(), m_segments.end(), overlaps)) {
        try {
            SegmentList kept;
            kept.reserve(m_segments.size());
            std::remove_copy_if(m_segments.begin(), m_segments.end(), std::back_inserter(kept), overlaps);
            SwapIn(kept);
        } catch (const std::bad_alloc&) {
            // No memory for a copy: the list is thinned where it is, under the lock.
            LockGuard hold(m_lock);
            m_segments.erase(std::remove_if(m_segments.begin(), m_segments.end(), overlaps), m_segments.end());
        }
    }
    LockGuard hold(m_lock);
    m_lastTime = 0;
    HoldIfIdle();
    return S_OK;
}

int CParamEnvelope::FindSegment(REFERENCE_TIME t)
{
    LockGuard hold(m_lock);
    return IndexInForce(m_segments, t);
}

HRESULT CParamEnvelope::UpdateToTime(REFERENCE_TIME t, bool& moved)
{
    LockGuard hold(m_lock);
    moved = false;
    if (m_segments.empty())
        return S_FALSE;
    const MP_DATA before = CurrentValue();
    const int i = FindSegment(t);
    if (i >= 0 && m_segments[i].rtStart <= t && t <= m_segments[i].rtEnd) {
        const MP_ENVELOPE_SEGMENT& s = m_segments[i];
        // The curve takes over from a directly set value; a capture keeps the
        // editor's value in force.
        m_held.store(false, std::memory_order_release);
        const double a = ToInternal(s.valStart), b = ToInternal(s.valEnd), d = b - a;
        double value;
        if (s.iCurve == MP_CURVE_JUMP) {
            value = a;
        } else if (s.rtEnd == s.rtStart) {
            value = b;  // a segment of no length has arrived at its end
        } else {
            const double x = (Distance(s.rtStart, t) / 10000000.0) / (Distance(s.rtStart, s.rtEnd) / 10000000.0);
            switch (s.iCurve) {
            case MP_CURVE_LINEAR: value = a + x * d; break;
            case MP_CURVE_SQUARE: value = a + d * x * x; break;
            case MP_CURVE_INVSQUARE: value = b - d * (1 - x) * (1 - x); break;
            default: value = a + d * (math::Sin((x - 0.5) * 3.141592653589793) + 1) / 2; break;
            }
        }
        m_value.store(static_cast<MP_DATA>(value), std::memory_order_relaxed);
    } else if (i >= 0) {
        // Past the end of the segment in force: its end value stays. A value set
        // directly during the segment gives way to that end value, once.
        const MP_ENVELOPE_SEGMENT& s = m_segments[i];
        const MP_DATA endValue = ToInternal(s.valEnd);
        m_value.store(endValue, std::memory_order_relaxed);
        if (m_lastTime < s.rtEnd && !IsCaptured() && IsHeld())
            Hold(endValue);
    }
    m_lastTime = t;
    const MP_DATA after = CurrentValue();
    moved = std::memcmp(&before, &after, sizeof before) != 0;
    return S_OK;
}

std::vector<MP_ENVELOPE_SEGMENT> CParamEnvelope::Segments()
{
    LockGuard hold(m_lock);
    return m_segments;
}

REFERENCE_TIME CParamEnvelope::LastTime()
{
    LockGuard hold(m_lock);
    return m_lastTime;
}

} // namespace qz
