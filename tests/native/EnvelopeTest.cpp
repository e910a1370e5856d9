// Parameter envelopes: snapping, curve shapes, the held / following / captured
// conditions, pruning and flushing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <thread>

#include "ParamEnvelope.h"
#ifndef _WIN32
#include "StoppingMemory.h"
#endif

namespace qz {
namespace {

constexpr REFERENCE_TIME kSecond = 10000000;
constexpr double k44100 = 44100 / 10000000.0;

MP_ENVELOPE_SEGMENT Segment(REFERENCE_TIME start, REFERENCE_TIME end, float from, float to,
                            MP_CURVE_TYPE curve = MP_CURVE_LINEAR)
{
    return MP_ENVELOPE_SEGMENT{start, end, from, to, curve, 0};
}

class Envelope : public ::testing::Test {
protected:
    void SetUp() override { env.Init(ParamInfo(1)); }  // OutputGain: a float parameter

    float At(REFERENCE_TIME t)
    {
        bool moved;
        env.UpdateToTime(t, moved);
        return env.CurrentValue();
    }
    void Add(std::initializer_list<MP_ENVELOPE_SEGMENT> segments)
    {
        std::vector<MP_ENVELOPE_SEGMENT> list(segments);
        ASSERT_EQ(env.AddSegments(static_cast<DWORD>(list.size()), list.data(), k44100), S_OK);
    }

    CParamEnvelope env;
};

TEST(EnvelopeSnapping, TimesSnapToWholeSamplesAtTheStreamRate)
{
    EXPECT_EQ(CParamEnvelope::Snap(10000, k44100), 9977) << "1 ms is 44 samples at 44.1 kHz";
    EXPECT_EQ(CParamEnvelope::Snap(kSecond, k44100), kSecond);
    EXPECT_EQ(CParamEnvelope::Snap(kSecond, 48000 / 10000000.0), 9999792) << "48,000 x 1e-7 x 1e7 is just below 48,000";
    const REFERENCE_TIME latest = std::numeric_limits<REFERENCE_TIME>::max();
    const REFERENCE_TIME earliest = std::numeric_limits<REFERENCE_TIME>::min();
    EXPECT_EQ(CParamEnvelope::Snap(latest, k44100), latest) << "an open end stays open";
    EXPECT_EQ(CParamEnvelope::Snap(earliest, k44100), earliest);
    EXPECT_GT(CParamEnvelope::Snap(latest - 1, k44100), 0) << "snapping never wraps around";
}

TEST_F(Envelope, StartsHeldAtTheNeutralValue)
{
    EXPECT_TRUE(env.IsHeld());
    EXPECT_EQ(env.CurrentValue(), 0.5f);
    EXPECT_EQ(env.GetValue(), 0.5f);
    bool moved = true;
    EXPECT_EQ(env.UpdateToTime(kSecond, moved), S_FALSE) << "no segments: nothing to evaluate";
    EXPECT_FALSE(moved);
}

TEST_F(Envelope, CurveShapesAtStartMiddleAndEnd)
{
    struct Case {
        MP_CURVE_TYPE curve;
        float start, middle, end;
    };
    const Case cases[] = {
        {MP_CURVE_LINEAR, 0.2f, 0.5f, 0.8f},
        {MP_CURVE_SQUARE, 0.2f, 0.35f, 0.8f},
        {MP_CURVE_INVSQUARE, 0.2f, 0.65f, 0.8f},
        {MP_CURVE_SINE, 0.2f, 0.5f, 0.8f},
        {static_cast<MP_CURVE_TYPE>(99), 0.2f, 0.5f, 0.8f},  // unknown shapes are sine
    };
    for (const Case& c : cases) {
        CParamEnvelope e;
        e.Init(ParamInfo(1));
        MP_ENVELOPE_SEGMENT s = Segment(0, 2 * kSecond, 0.2f, 0.8f, c.curve);
        e.AddSegments(1, &s, k44100);
        bool moved;
        e.UpdateToTime(0, moved);
        EXPECT_NEAR(e.CurrentValue(), c.start, 1e-6) << "curve " << c.curve;
        e.UpdateToTime(kSecond, moved);
        EXPECT_NEAR(e.CurrentValue(), c.middle, 1e-6) << "curve " << c.curve;
        e.UpdateToTime(2 * kSecond, moved);
        EXPECT_EQ(e.CurrentValue(), c.end) << "curve " << c.curve << " reaches its end exactly";
    }
}

TEST_F(Envelope, JumpHoldsItsStartUntilPastTheEnd)
{
    Add({Segment(0, kSecond, 0.2f, 0.8f, MP_CURVE_JUMP)});
    EXPECT_EQ(At(kSecond / 2), 0.2f);
    EXPECT_EQ(At(kSecond), 0.2f);
    EXPECT_EQ(At(kSecond + 1), 0.8f);
}

TEST_F(Envelope, ZeroLengthSegmentGivesItsEndValue)
{
    Add({Segment(kSecond, kSecond, 0.1f, 0.9f, MP_CURVE_LINEAR)});
    EXPECT_EQ(At(kSecond), 0.9f);
}

TEST_F(Envelope, BeforeTheFirstSegmentTheHeldValueStays)
{
    env.SetValue(0.3f);
    Add({Segment(kSecond, 2 * kSecond, 0.9f, 1.0f)});
    EXPECT_EQ(At(kSecond / 2), 0.3f);
    EXPECT_TRUE(env.IsHeld());
    EXPECT_EQ(At(kSecond), 0.9f) << "inside the segment the curve takes over";
    EXPECT_FALSE(env.IsHeld());
}

TEST_F(Envelope, SameSegmentTwiceIsStoredOnce)
{
    Add({Segment(0, kSecond, 0.0f, 1.0f), Segment(0, kSecond, 0.0f, 1.0f)});
    Add({Segment(0, kSecond, 0.0f, 1.0f)});
    EXPECT_EQ(env.Segments().size(), 1u);
    Add({Segment(0, kSecond, 0.0f, 0.9f)});
    EXPECT_EQ(env.Segments().size(), 2u) << "a different end value is another segment";
}

TEST_F(Envelope, OverlappingSegmentsUseTheLatestStart)
{
    Add({Segment(0, 4 * kSecond, 0.0f, 1.0f), Segment(kSecond, 2 * kSecond, 0.5f, 0.6f, MP_CURVE_JUMP)});
    EXPECT_EQ(At(3 * kSecond), 0.6f) << "not 0.75 from the long segment";
    EXPECT_EQ(env.FindSegment(3 * kSecond), 1);
    EXPECT_EQ(env.FindSegment(-1), -1);
}

TEST_F(Envelope, SegmentsAddedAheadPruneWhatHasPlayed)
{
    Add({Segment(0, kSecond, 0, 0.1f), Segment(kSecond, 2 * kSecond, 0.1f, 0.2f),
         Segment(2 * kSecond, 3 * kSecond, 0.2f, 0.3f)});
    At(25 * kSecond / 10);
    Add({Segment(4 * kSecond, 5 * kSecond, 0.3f, 0.4f)});
    std::vector<MP_ENVELOPE_SEGMENT> left = env.Segments();
    ASSERT_EQ(left.size(), 3u) << "A goes; B, C and D stay";
    EXPECT_EQ(left[0].rtStart, kSecond);
    EXPECT_EQ(left[2].rtStart, 4 * kSecond);
}

TEST_F(Envelope, FlushRemovesOverlappingSegmentsOnly)
{
    Add({Segment(0, kSecond, 0, 0.1f), Segment(kSecond / 2, 3 * kSecond / 2, 0.1f, 0.2f),
         Segment(2 * kSecond, 3 * kSecond, 0.2f, 0.3f)});
    EXPECT_EQ(env.FlushSegments(kSecond, 2 * kSecond, k44100), S_OK);
    std::vector<MP_ENVELOPE_SEGMENT> left = env.Segments();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].rtStart, 0);
    EXPECT_EQ(left[1].rtStart, 2 * kSecond);
}

TEST_F(Envelope, FlushingEverythingHoldsTheLastValue)
{
    Add({Segment(0, 2 * kSecond, 0.2f, 0.4f)});
    At(kSecond);
    EXPECT_FALSE(env.IsHeld());
    env.FlushSegments(std::numeric_limits<REFERENCE_TIME>::min(), std::numeric_limits<REFERENCE_TIME>::max(), k44100);
    EXPECT_TRUE(env.Segments().empty());
    EXPECT_EQ(env.LastTime(), 0);
    EXPECT_TRUE(env.IsHeld());
    EXPECT_NEAR(env.CurrentValue(), 0.3f, 1e-6);
}

TEST_F(Envelope, HeldValueGivesWayToTheSegmentEndOnce)
{
    Add({Segment(kSecond, 2 * kSecond, 0.1f, 0.7f)});
    At(199 * kSecond / 100);
    env.SetValue(0.3f);
    EXPECT_EQ(At(201 * kSecond / 100), 0.7f) << "the segment's end value replaces the value set during it";
    EXPECT_TRUE(env.IsHeld());
    env.SetValue(0.25f);
    EXPECT_EQ(At(3 * kSecond), 0.25f) << "a value set after the end stays";
}

TEST_F(Envelope, CaptureKeepsTheEditorsValueInsideASegment)
{
    Add({Segment(0, 10 * kSecond, 0.0f, 1.0f)});
    env.SetValue(0.9f);
    env.SetCaptured(true);
    EXPECT_EQ(At(kSecond), 0.9f);
    EXPECT_EQ(At(5 * kSecond), 0.9f);
    env.SetCaptured(false);
    EXPECT_NEAR(At(6 * kSecond), 0.6f, 1e-6) << "after the gesture the curve is in force again";
}

TEST_F(Envelope, HostValuesAreKeptInsideTheInternalRange)
{
    env.SetValue(1.5f);
    EXPECT_EQ(env.CurrentValue(), 1.0f);
    env.SetValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(env.CurrentValue(), 0.0f);
    Add({Segment(0, kSecond, -4.0f, std::numeric_limits<float>::infinity())});
    EXPECT_EQ(At(0), 0.0f);
    EXPECT_EQ(At(kSecond), 1.0f);

    CParamEnvelope onOff;
    onOff.Init(ParamInfo(0));  // Limiter, boolean
    onOff.SetValue(0.4f);
    EXPECT_EQ(onOff.GetValue(), 0.0f);
    onOff.SetValue(0.5f);
    EXPECT_EQ(onOff.GetValue(), 1.0f);
}

TEST_F(Envelope, BooleanWithALinearSegmentGivesFractions)
{
    CParamEnvelope onOff;
    onOff.Init(ParamInfo(0));
    MP_ENVELOPE_SEGMENT s = Segment(0, kSecond, 0.0f, 1.0f);
    onOff.AddSegments(1, &s, k44100);
    bool moved;
    onOff.UpdateToTime(kSecond / 4, moved);
    EXPECT_NEAR(onOff.CurrentValue(), 0.25f, 1e-6);
}

TEST_F(Envelope, MovedReportsOnlyChangesOfTheValueInForce)
{
    Add({Segment(kSecond, 2 * kSecond, 0.5f, 0.5f)});
    bool moved = true;
    env.UpdateToTime(kSecond / 2, moved);
    EXPECT_FALSE(moved) << "before the segment";
    env.UpdateToTime(kSecond, moved);
    EXPECT_FALSE(moved) << "the curve starts at the held value";
    Add({Segment(3 * kSecond, 4 * kSecond, 0.5f, 1.0f)});
    env.UpdateToTime(35 * kSecond / 10, moved);
    EXPECT_TRUE(moved);
}

TEST_F(Envelope, SegmentsAsWideAsTimeItselfStayInRange)
{
    const REFERENCE_TIME wide = 9000000000000000000LL;
    for (MP_CURVE_TYPE curve : {MP_CURVE_LINEAR, MP_CURVE_SQUARE, MP_CURVE_INVSQUARE, MP_CURVE_SINE}) {
        CParamEnvelope e;
        e.Init(ParamInfo(1));
        MP_ENVELOPE_SEGMENT s = Segment(-wide, wide, 0.0f, 1.0f, curve);
        ASSERT_EQ(e.AddSegments(1, &s, k44100), S_OK);
        const REFERENCE_TIME stored = e.Segments()[0].rtEnd;
        for (REFERENCE_TIME t : {-stored, -wide / 2, REFERENCE_TIME(0), wide / 3, stored}) {
            bool moved;
            e.UpdateToTime(t, moved);
            EXPECT_GE(e.GetValue(), 0.0f) << "curve " << curve << " at " << t;
            EXPECT_LE(e.GetValue(), 1.0f) << "curve " << curve << " at " << t;
        }
    }
    Add({Segment(-wide, wide, 0.0f, 1.0f)});
    EXPECT_NEAR(At(0), 0.5f, 1e-6) << "the middle of a linear segment";
    EXPECT_EQ(At(env.Segments()[0].rtEnd), 1.0f);
}

TEST_F(Envelope, AHundredThousandSegmentsInAnyOrderAreSortedOnceEach)
{
    // Starts 0, 10 ms, 20 ms, ... in a shuffled order, every segment given twice.
    const int count = 100000;
    std::vector<MP_ENVELOPE_SEGMENT> given;
    for (int k = 0; k < count; ++k) {
        const REFERENCE_TIME start = k * 100000LL;
        given.push_back(Segment(start, start + 100000, (k % 100) / 100.0f, ((k + 1) % 100) / 100.0f));
    }
    given.insert(given.end(), given.begin(), given.end());
    std::shuffle(given.begin(), given.end(), std::mt19937(7));
    ASSERT_EQ(env.AddSegments(static_cast<DWORD>(given.size()), given.data(), k44100), S_OK);
    ASSERT_EQ(env.AddSegments(1000, given.data(), k44100), S_OK) << "all of them stored already";

    const std::vector<MP_ENVELOPE_SEGMENT> stored = env.Segments();
    ASSERT_EQ(stored.size(), size_t(count));
    for (int k = 0; k < count; ++k)
        ASSERT_EQ(stored[k].rtStart, CParamEnvelope::Snap(k * 100000LL, k44100)) << "segment " << k;
    EXPECT_NEAR(At(5 * kSecond + 50000), 0.005f, 1e-6) << "the middle of the segment at 5 s, 0 to 0.01";
}

#ifndef _WIN32  // see StoppingMemory.h
TEST_F(Envelope, TheStreamReadsTheCurveWhileAWriterReadsTheCallersSegments)
{
    // The host's segments lie in memory that stops the writer at its first read of
    // them. Meanwhile the streaming thread evaluates the curve: it must not wait for
    // the writer. Were the list's lock held while the caller's array is read, the
    // evaluation would wait until the memory's deadline let the writer go.
    Add({Segment(0, 2 * kSecond, 0.0f, 1.0f)});
    const size_t count = 5000;
    test::StoppingMemory memory(count * sizeof(MP_ENVELOPE_SEGMENT));
    ASSERT_TRUE(memory.ok());
    auto* segments = static_cast<MP_ENVELOPE_SEGMENT*>(memory.data());
    for (size_t k = 0; k < count; ++k) {  // backwards, from 100 s down to 50 s
        const REFERENCE_TIME start = (10000 - static_cast<REFERENCE_TIME>(k)) * 100000LL;
        segments[k] = Segment(start, start + 100000, 0.3f, 0.3f);
    }
    memory.Arm();

    HRESULT added = E_FAIL;
    std::thread host([&] { added = env.AddSegments(static_cast<DWORD>(count), segments, k44100); });
    const bool stopped = memory.WaitUntilAThreadStops(20000);
    const float during = stopped ? At(kSecond) : -1;
    memory.Release();
    host.join();

    ASSERT_TRUE(stopped) << "the writer reads the caller's segments";
    EXPECT_TRUE(memory.ReleasedInTime()) << "the streaming thread waited for the writer";
    EXPECT_NEAR(during, 0.5f, 1e-6) << "the curve stored before, at 1 s";
    EXPECT_EQ(added, S_OK);
    EXPECT_EQ(env.Segments().size(), count + 1);
    EXPECT_EQ(At(80 * kSecond), 0.3f) << "the new segments in force afterwards";
}
#endif

TEST_F(Envelope, OfSegmentsWithOneStartTheLastAddedIsInForce)
{
    Add({Segment(kSecond, 3 * kSecond, 0.2f, 0.2f, MP_CURVE_JUMP), Segment(kSecond, 3 * kSecond, 0.4f, 0.4f, MP_CURVE_JUMP)});
    EXPECT_EQ(At(2 * kSecond), 0.4f) << "the later of one call";
    Add({Segment(kSecond, 3 * kSecond, 0.3f, 0.3f, MP_CURVE_JUMP)});
    EXPECT_EQ(At(2 * kSecond), 0.3f) << "a later call";
    std::vector<MP_ENVELOPE_SEGMENT> many(1000, Segment(kSecond, 3 * kSecond, 0.0f, 0.0f, MP_CURVE_JUMP));
    for (size_t k = 0; k < many.size(); ++k)
        many[k].valStart = many[k].valEnd = k / 1000.0f;
    Add({Segment(0, kSecond, 0.1f, 0.1f)});
    ASSERT_EQ(env.AddSegments(static_cast<DWORD>(many.size()), many.data(), k44100), S_OK);
    EXPECT_EQ(At(2 * kSecond), 0.999f) << "the last of a large call, merged into the list";
}

TEST_F(Envelope, SegmentsAddedOneByOneAreStoredAsOneCallStoresThem)
{
    std::vector<MP_ENVELOPE_SEGMENT> segments;
    for (int k = 0; k < 3000; ++k)
        segments.push_back(Segment(k * 10000LL * (k % 7 == 3 ? 1 : 2), k * 20000LL + 5000, 0.1f, (k % 9) / 9.0f));
    CParamEnvelope whole;
    whole.Init(ParamInfo(1));
    ASSERT_EQ(whole.AddSegments(static_cast<DWORD>(segments.size()), segments.data(), k44100), S_OK);
    for (MP_ENVELOPE_SEGMENT& segment : segments)
        ASSERT_EQ(env.AddSegments(1, &segment, k44100), S_OK);
    const std::vector<MP_ENVELOPE_SEGMENT> a = env.Segments(), b = whole.Segments();
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]), 0);
}

TEST_F(Envelope, CountsThatCannotBeStoredAreRefused)
{
    MP_ENVELOPE_SEGMENT s = Segment(0, kSecond, 0, 1);
    EXPECT_EQ(env.AddSegments(1u << 27, &s, k44100), E_OUTOFMEMORY) << "refused before reading the array";
    EXPECT_EQ(env.AddSegments(0, nullptr, k44100), S_FALSE);
    EXPECT_EQ(env.AddSegments(1, &s, k44100), S_OK) << "still usable";
}

} // namespace
} // namespace qz
