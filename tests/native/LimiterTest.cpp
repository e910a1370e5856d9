// The lookahead limiter and the end-of-stream flush: the ramp before a peak, the peak
// at the ceiling, hold and release, and every withheld frame coming out at the end.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "EngineTestSupport.h"
#include "Limiter.h"

namespace qz::test {
namespace {

constexpr int N = LimiterState::kLookahead;
constexpr double C = LimiterState::kCeiling;

double Smoothstep(int j)
{
    double t = std::fmin((j + 1) / static_cast<double>(N), 1.0);
    return t * t * (3 - 2 * t);
}

TEST(Limiter, PeakLeavesAtTheCeilingAfterASmoothstepFade)
{
    LimiterState limiter;
    const double level = 0.5, peak = 2.0, need = C / peak;
    const int peakFrame = 500;
    std::vector<double> out;
    std::vector<double> targets;
    for (int n = 0; n < peakFrame + 3 * N; ++n) {
        const double x = n == peakFrame ? peak : level;
        double yL, yR;
        const bool deeper = limiter.step(x, -x, yL, yR);
        EXPECT_EQ(deeper, n == peakFrame) << "frame " << n;
        EXPECT_EQ(yR, -yL);
        out.push_back(yL);
        targets.push_back(limiter.target);
    }
    EXPECT_NEAR(out[peakFrame + N], C, 1e-12) << "the peak leaves the delay at exactly the ceiling";
    for (int j = 0; j < N; ++j)
        EXPECT_NEAR(out[peakFrame + j], level * (1 + (need - 1) * Smoothstep(j)), 1e-12) << "ramp step " << j;
    EXPECT_EQ(out[peakFrame - 1], level) << "nothing before the ramp";
    // N - 1 frames of hold after the peak frame, then release from a rate of 0.
    for (int n = peakFrame; n < peakFrame + N; ++n)
        EXPECT_EQ(targets[n], need) << "held at frame " << n;
    EXPECT_GT(targets[peakFrame + N], need);
    EXPECT_NEAR(targets[peakFrame + N] - need, (1 - need) * 0.09 * 5e-5, 1e-15);
    for (int n = peakFrame + N + 1; n < peakFrame + 2 * N; ++n)
        EXPECT_NEAR(out[n], level * need, level * 1e-3) << "held low after the peak, frame " << n;
}

TEST(Limiter, ReleaseReturnsTowardUnityAndLaterPeaksOnlyDeepen)
{
    LimiterState limiter;
    double yL, yR;
    limiter.step(4.0, 0.0, yL, yR);
    const double need = C / 4.0;
    EXPECT_FALSE(limiter.step(2.0, 0.0, yL, yR)) << "a shallower peak during the hold starts nothing";
    for (int n = 0; n < 200000; ++n)
        limiter.step(0.1, 0.1, yL, yR);
    EXPECT_GT(limiter.target, 0.999);
    EXPECT_GT(limiter.applied, 0.999);
    EXPECT_LE(limiter.target, 1.0);
    EXPECT_NEAR(limiter.releaseRate, 0.09, 0.01);
    EXPECT_LT(need, 0.25);
}

// Runs `limiter` over a loud burst and returns what leaves the line.
std::vector<double> RunBurst(LimiterState& limiter, int frames)
{
    std::vector<double> out;
    for (int n = 0; n < frames; ++n) {
        double yL, yR;
        const double x = (n % 97 == 40 ? 3.0 : 0.6) * (n % 2 ? 1 : -1);
        limiter.step(x, 0.5 * x, yL, yR);
        if (limiter.admit())
            out.push_back(yL);
    }
    return out;
}

TEST(Limiter, AfterResetItBehavesAsANewOne)
{
    LimiterState used;
    RunBurst(used, 1000);
    used.reset();
    LimiterState fresh;
    EXPECT_EQ(RunBurst(used, 1000), RunBurst(fresh, 1000));
}

TEST(Limiter, ANewStreamRestoresUnityGainsAndKeepsTheLine)
{
    LimiterState limiter;
    RunBurst(limiter, N / 2 + 300);
    ASSERT_LT(limiter.applied, 1.0);
    const LimiterState before = limiter;
    limiter.beginStream();
    EXPECT_EQ(limiter.applied, 1.0);
    EXPECT_EQ(limiter.target, 1.0);
    EXPECT_EQ(limiter.hold, 0);
    EXPECT_EQ(limiter.fill, before.fill);
    EXPECT_EQ(limiter.delayIndex, before.delayIndex);
    for (int i = 0; i < LimiterState::kRingLength; ++i)
        EXPECT_EQ(limiter.delayLine[i], before.delayLine[i]) << "delay entry " << i;
}

TEST(Limiter, FramesAreWithheldUntilTheLineIsFullAndAllDrainAtTheEnd)
{
    for (int frames : {0, 1, N / 2, N - 1, N, N + 1, 3 * N + 5}) {
        SCOPED_TRACE(testing::Message() << frames << " frames in");
        LimiterState limiter;
        int written = 0;
        for (int n = 0; n < frames; ++n) {
            double yL, yR;
            limiter.step(0.001 * (n + 1), 0.0, yL, yR);
            written += limiter.admit() ? 1 : 0;
        }
        EXPECT_EQ(written, std::max(0, frames - N));
        limiter.prepareDrain();
        std::vector<double> drained;
        double yL, yR;
        while (limiter.drain(yL, yR))
            drained.push_back(yL);
        ASSERT_EQ(static_cast<int>(drained.size()), std::min(frames, N));
        for (size_t k = 0; k < drained.size(); ++k)
            EXPECT_EQ(drained[k], 0.001 * (written + k + 1)) << "the held frames in order, at unity gain";
        EXPECT_TRUE(limiter.drained());
    }
}

class EngineLimiter : public ::testing::Test {
protected:
    void SetUp() override { start(engine, 1); }

    static void start(TestEngine& e, int limiter)
    {
        ParamBlock block = DefaultParamBlock();
        block.Limiter = limiter;
        e.ApplyParamBlock(&block);
        e.BeginStreaming(MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 64, 2));
    }

    // Flushes in blocks of `blockFrames` until the engine says the lookahead is empty.
    static std::vector<double> FlushAll(TestEngine& e, LONG blockFrames)
    {
        std::vector<double> out;
        for (int guard = 0; guard < 1000; ++guard) {
            std::vector<double> buffer(2 * blockFrames, 0.7);
            LONG frames = blockFrames;
            HRESULT hr = e.ProcessFloat64(BlockMode::Flush, buffer.data(), &frames);
            out.insert(out.end(), buffer.begin(), buffer.begin() + 2 * frames);
            if (hr == S_FALSE)
                return out;
            EXPECT_EQ(hr, S_OK);
            EXPECT_EQ(frames, blockFrames) << "a flush block short of frames must be the last";
        }
        ADD_FAILURE() << "the flush never ended";
        return out;
    }

    static std::vector<double> Signal(int frames, double amplitude, int peakAt = -1)
    {
        std::vector<double> s(2 * frames);
        for (int n = 0; n < frames; ++n) {
            s[2 * n] = amplitude * std::sin(0.031 * n);
            s[2 * n + 1] = amplitude * std::cos(0.017 * n);
        }
        if (peakAt >= 0)
            s[2 * peakAt] = 3.0;
        return s;
    }

    TestEngine engine;
};

TEST_F(EngineLimiter, FlushReturnsEveryWithheldFrame)
{
    for (LONG blockFrames : {LONG(100), LONG(7)}) {
        TestEngine e;
        start(e, 1);
        TestEngine direct;
        start(direct, 0);
        std::vector<double> input = Signal(1000, 0.3), processed = input, reference = input;
        LONG frames = 1000, directFrames = 1000;
        e.ProcessFloat64(BlockMode::Discontinuity, processed.data(), &frames);
        direct.ProcessFloat64(BlockMode::Discontinuity, reference.data(), &directFrames);
        EXPECT_EQ(frames, 1000 - N);
        processed.resize(2 * frames);
        std::vector<double> tail = FlushAll(e, blockFrames);
        EXPECT_EQ(tail.size(), 2u * N) << "blocks of " << blockFrames;
        processed.insert(processed.end(), tail.begin(), tail.end());
        ASSERT_EQ(processed.size(), reference.size());
        for (size_t k = 0; k < reference.size(); ++k)
            ASSERT_EQ(processed[k], reference[k]) << "sample " << k << ", blocks of " << blockFrames;
    }
}

TEST_F(EngineLimiter, StreamShorterThanTheLookaheadComesOutWhole)
{
    TestEngine direct;
    start(direct, 0);
    std::vector<double> input = Signal(40, 0.3), processed = input, reference = input;
    LONG frames = 40, directFrames = 40;
    engine.ProcessFloat64(BlockMode::Discontinuity, processed.data(), &frames);
    direct.ProcessFloat64(BlockMode::Discontinuity, reference.data(), &directFrames);
    EXPECT_EQ(frames, 0);
    std::vector<double> tail = FlushAll(engine, 256);
    ASSERT_EQ(tail.size(), reference.size()) << "exactly the 40 held frames";
    for (size_t k = 0; k < reference.size(); ++k)
        EXPECT_EQ(tail[k], reference[k]) << "sample " << k;
}

TEST_F(EngineLimiter, PeakInTheLastFramesIsStillLimitedByTheFlush)
{
    for (int peakAt : {990, 999, 30}) {
        TestEngine e;
        start(e, 1);
        const int length = peakAt < 64 ? 50 : 1000;
        std::vector<double> buffer = Signal(length, 0.3, peakAt);
        LONG frames = length;
        e.ProcessFloat64(BlockMode::Discontinuity, buffer.data(), &frames);
        buffer.resize(2 * frames);
        std::vector<double> tail = FlushAll(e, 64);
        buffer.insert(buffer.end(), tail.begin(), tail.end());
        EXPECT_EQ(buffer.size(), 2u * length);
        double highest = 0;
        for (double x : buffer)
            highest = std::fmax(highest, std::fabs(x));
        EXPECT_LE(highest, C * (1 + 1e-12)) << "peak at frame " << peakAt;
        EXPECT_GT(highest, C * 0.99) << "the peak is brought to the ceiling, not below, frame " << peakAt;
        LONG over = 0;
        e.GetOverIndicator(&over, 0);
        EXPECT_EQ(over, 3);
    }
}

// Feeds `a` and `b` the same input; answers the frames `a` wrote. `b` must write as many.
LONG Both(TestEngine& a, TestEngine& b, const std::vector<double>& input, BlockMode mode, std::vector<double>& outA,
          std::vector<double>& outB)
{
    outA = outB = input;
    LONG framesA = static_cast<LONG>(input.size() / 2), framesB = framesA;
    a.ProcessFloat64(mode, outA.data(), &framesA);
    b.ProcessFloat64(mode, outB.data(), &framesB);
    EXPECT_EQ(framesA, framesB);
    outA.resize(2 * framesA);
    outB.resize(2 * framesB);
    return framesA;
}

TEST_F(EngineLimiter, SwitchedOffWithinAStreamTheLimiterKeepsItsDelay)
{
    // `delayed` keeps the limiter on throughout. The audio stays below the ceiling, so
    // its limiter only delays, and a switched engine must give exactly the same.
    TestEngine delayed;
    start(delayed, 1);
    std::vector<double> a, b, all;
    EXPECT_EQ(Both(engine, delayed, Signal(200, 0.5), BlockMode::Discontinuity, a, b), 200 - N);
    all = a;

    engine.SetLimiter(0, FALSE);
    EXPECT_EQ(Both(engine, delayed, Signal(300, 0.3), BlockMode::Continuous, a, b), 300)
        << "switched off: the frames the line held come out first, nothing is dropped";
    EXPECT_EQ(a, b);
    all.insert(all.end(), a.begin(), a.end());

    engine.SetLimiter(1, FALSE);
    EXPECT_EQ(Both(engine, delayed, Signal(300, 0.3), BlockMode::Continuous, a, b), 300)
        << "switched on again: the same delay, no fresh lookahead";
    EXPECT_EQ(a, b);
    all.insert(all.end(), a.begin(), a.end());

    engine.SetLimiter(0, FALSE);
    const std::vector<double> tail = FlushAll(engine, 64);
    EXPECT_EQ(tail, FlushAll(delayed, 64)) << "the flush still empties the line";
    all.insert(all.end(), tail.begin(), tail.end());
    EXPECT_EQ(all.size(), 2u * 800) << "as many frames out as in";
}

TEST_F(EngineLimiter, SwitchedOnWithinAStreamTheLimiterStartsAFreshLookahead)
{
    // Both start with the limiter off; `direct` keeps it off.
    TestEngine e, direct;
    start(e, 0);
    start(direct, 0);
    std::vector<double> a, b;
    EXPECT_EQ(Both(e, direct, Signal(200, 0.5), BlockMode::Discontinuity, a, b), 200) << "no latency yet";

    e.SetLimiter(1, FALSE);
    std::vector<double> input = Signal(300, 0.1), out = input, reference = input;
    LONG frames = 300, directFrames = 300;
    e.ProcessFloat64(BlockMode::Continuous, out.data(), &frames);
    direct.ProcessFloat64(BlockMode::Continuous, reference.data(), &directFrames);
    EXPECT_EQ(frames, 300 - N) << "the lookahead fills from here";
    for (int k = 0; k < 2 * frames; ++k)
        ASSERT_EQ(out[k], reference[k]) << "nothing older is replayed, sample " << k;
    EXPECT_EQ(FlushAll(e, 64).size(), 2u * N) << "and the frames it withholds come out at the end";
}

TEST_F(EngineLimiter, LeavingEffectBypassStartsAFreshLookahead)
{
    // `reset` skips the bypassed block and takes the next one as a discontinuity.
    TestEngine reset;
    start(reset, 1);
    std::vector<double> before = Signal(200, 0.5), copy = before;
    LONG frames = 200, copyFrames = 200;
    engine.ProcessFloat64(BlockMode::Discontinuity, before.data(), &frames);
    reset.ProcessFloat64(BlockMode::Discontinuity, copy.data(), &copyFrames);

    engine.SetEffectBypass(TRUE);
    std::vector<double> bypassed = Signal(100, 0.2);
    frames = 100;
    engine.ProcessFloat64(BlockMode::Continuous, bypassed.data(), &frames);
    engine.SetEffectBypass(FALSE);

    std::vector<double> after = Signal(300, 0.1), expected = after;
    frames = 300;
    LONG expectedFrames = 300;
    engine.ProcessFloat64(BlockMode::Continuous, after.data(), &frames);
    reset.ProcessFloat64(BlockMode::Discontinuity, expected.data(), &expectedFrames);
    EXPECT_EQ(frames, 300 - N);
    EXPECT_EQ(after, expected) << "audio from before bypass is not replayed";
}

} // namespace
} // namespace qz::test
