// The band compressor: time coefficients, the two gain curves, attack and release, the
// programme-dependent release, and solo and bypass.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "BandDynamics.h"
#include "EngineTestSupport.h"
#include "PortableMath.h"

namespace qz {
namespace {

constexpr double kRate = 44100.0;

double ToDb(double gain) { return 20.0 * std::log10(gain); }
double FromDb(double db) { return std::pow(10.0, db / 20.0); }

// Band 0 of a default block with the given settings.
BandConstants Band(int threshold, int ratio, int knee, int type = 0, int attack = 150, int release = 200, int tcr = 0)
{
    ParamBlock p = DefaultParamBlock();
    p.Threshold[0] = threshold;
    p.Ratio[0] = ratio;
    p.Knee[0] = knee;
    p.Type[0] = type;
    p.Attack[0] = attack;
    p.Release[0] = release;
    p.TCR = tcr;
    return BandConstants::Compute(p, 0, kRate);
}

DetectorCoeffs Detector() { return {TimeCoefficient(0.01, kRate), TimeCoefficient(1.0, kRate)}; }

// Runs a steady level through a band until it settles; returns the smoothed gain.
double SettledGain(const BandConstants& k, double level, int frames = 44100)
{
    BandState state;
    BandMeter meter{0, 0, 1};
    for (int n = 0; n < frames; ++n)
        state.step(k, Detector(), level, -level, meter);
    return state.g;
}

TEST(TimeCoefficient, CoversNinetyPercentOfAStepInTheGivenTime)
{
    EXPECT_NEAR(TimeCoefficient(0.01, kRate), 0.0054004, 1e-7);
    EXPECT_NEAR(TimeCoefficient(1.0, kRate), 0.94912686, 1e-8);
    EXPECT_EQ(TimeCoefficient(0.0, kRate), 0.0) << "an instant follower";
    EXPECT_EQ(TimeCoefficient(15.0, 0.0), 0.0) << "no sample rate known";
    const double c = TimeCoefficient(10.0, kRate);
    EXPECT_NEAR(std::pow(c, 441.0), 0.1, 1e-12) << "after 10 ms a step has 10 % left";
}

TEST(GainCurve, NormalHardKneeSettlesToTheRatiosSlope)
{
    // 4:1 above -20 dB: 10 dB over gives 2.5 dB out, a gain of -7.5 dB.
    BandConstants k = Band(-200, 40, 0);
    EXPECT_NEAR(ToDb(BandState::TargetGain(k, std::log(FromDb(-10)))), -7.5, 1e-9);
    EXPECT_NEAR(ToDb(SettledGain(k, FromDb(-10))), -7.5, 1e-6);
    EXPECT_EQ(BandState::TargetGain(k, std::log(FromDb(-20.001))), 1.0);
    EXPECT_EQ(k.kneeScale, 0.0) << "a hard knee has no knee region";
    const double atThreshold = BandState::TargetGain(k, k.lnThr);
    EXPECT_TRUE(std::isfinite(atThreshold));
    EXPECT_NEAR(atThreshold, 1.0, 1e-12);
}

TEST(GainCurve, NormalSoftKneeAtTheThreshold)
{
    BandConstants k = Band(-200, 40, 10);
    EXPECT_NEAR(ToDb(BandState::TargetGain(k, k.lnThr)), -1.875, 1e-9);
    EXPECT_NEAR(ToDb(SettledGain(k, FromDb(-20))), -1.875, 1e-6);
    // Above the knee the straight line takes over, continuous at the knee's end.
    EXPECT_NEAR(ToDb(BandState::TargetGain(k, std::log(FromDb(0)))), -15.0, 1e-9);
    EXPECT_NEAR(BandState::TargetGain(k, k.kneeHi - 1e-12), BandState::TargetGain(k, k.kneeHi), 1e-9);
}

TEST(GainCurve, UnityRatioLeavesEveryLevelAlone)
{
    for (int type : {0, 1})
        for (double db : {-80.0, -20.0, -3.0, 0.0, 6.0})
            EXPECT_EQ(BandState::TargetGain(Band(-300, 10, 10, type), std::log(FromDb(db))), 1.0)
                << "type " << type << " at " << db << " dB";
}

TEST(GainCurve, RatiosBelowOneExpandUpward)
{
    // 0.4:1 above -30 dB: 10 dB over comes out 25 dB over, +15 dB of gain.
    BandConstants k = Band(-300, 4, 0);
    EXPECT_NEAR(ToDb(BandState::TargetGain(k, std::log(FromDb(-20)))), 15.0, 1e-9);
    BandState state;
    BandMeter meter{0, 0, 1};
    for (int n = 0; n < 44100; ++n)
        state.step(k, Detector(), FromDb(-20), 0.0, meter);
    EXPECT_GT(meter.gain, 1.0) << "the block's gain extreme reports the boost";
    EXPECT_NEAR(ToDb(meter.gain), 15.0, 1e-3);
}

TEST(GainCurve, VintageReductionIsBoundedByItsRatio)
{
    const struct {
        int ratio;
        double maxReductionDb;
    } cases[] = {{20, 6.46}, {40, 11.52}, {100, 17.38}, {300, 24.56}};
    for (const auto& c : cases) {
        BandConstants k = Band(-400, c.ratio, 6, 1);
        EXPECT_NEAR(ToDb(k.gTop), -c.maxReductionDb, 0.005) << "ratio " << c.ratio;
        EXPECT_EQ(BandState::TargetGain(k, std::log(FromDb(0))), k.gTop) << "far above: the bound";
        const double inKnee = BandState::TargetGain(k, (k.kneeLo + k.kneeHi) / 2);
        EXPECT_LT(inKnee, 1.0);
        EXPECT_GT(inKnee, k.gTop);
    }
    // A hard knee makes the Vintage curve a straight line in the log domain.
    BandConstants hard = Band(-400, 40, 0, 1);
    EXPECT_EQ(hard.blend, 0.0);
    const double mid = (hard.kneeLo + hard.kneeHi) / 2;
    EXPECT_NEAR(std::log(BandState::TargetGain(hard, mid)), hard.lnTop / 2, 1e-12);
}

TEST(Smoothing, AttackZeroReachesTheTargetWithinTheFrame)
{
    BandConstants k = Band(-300, 100, 0, 0, 0);
    EXPECT_EQ(k.cAtt, 0.0);
    BandState state;
    BandMeter meter{0, 0, 1};
    state.step(k, Detector(), 0.8, 0.1, meter);
    EXPECT_LT(state.g, 0.5);
    EXPECT_EQ(state.g, BandState::TargetGain(k, std::log(state.env)));
    EXPECT_EQ(meter.gain, state.g);
    EXPECT_EQ(meter.left, 0.8);
    EXPECT_EQ(meter.right, 0.1);
}

TEST(Smoothing, ReleaseTakesTheSetTime)
{
    // After a reduction, 90 % of the way back to unity takes the release time (the
    // detector's own 1 ms fall adds a little).
    BandConstants k = Band(-300, 100, 0, 0, 0, 100);
    BandState state;
    BandMeter meter{0, 0, 1};
    for (int n = 0; n < 4410; ++n)
        state.step(k, Detector(), 0.9, 0.9, meter);
    const double reduced = state.g;
    int frames = 0;
    while (state.g < 1.0 - 0.1 * (1.0 - reduced)) {
        state.step(k, Detector(), 0.0, 0.0, meter);
        ++frames;
    }
    EXPECT_NEAR(frames, 4410 + 44, 60) << "100 ms at 44.1 kHz";
}

TEST(ProgrammeDependentRelease, NormalBandReleasesFasterAfterAQuickDrop)
{
    BandConstants slow = Band(-300, 100, 0, 0, 0, 1000, 0);
    BandConstants fast = Band(-300, 100, 0, 0, 0, 1000, 1);
    EXPECT_EQ(slow.cFast, slow.cRel);
    EXPECT_LT(fast.cFast, fast.cRel);
    BandState a, b;
    BandMeter meter{0, 0, 1};
    for (int n = 0; n < 441; ++n) {  // a 10 ms burst: g drops, its slow follower lags
        a.step(slow, Detector(), 0.9, 0.9, meter);
        b.step(fast, Detector(), 0.9, 0.9, meter);
    }
    for (int n = 0; n < 4410; ++n) {
        a.step(slow, Detector(), 0.0, 0.0, meter);
        b.step(fast, Detector(), 0.0, 0.0, meter);
    }
    EXPECT_GT(b.g, a.g) << "TCR recovers more in 100 ms";
    EXPECT_GE(b.cDyn, fast.cFast);
    EXPECT_LE(b.cDyn, fast.cRel);
}

TEST(ProgrammeDependentRelease, ExpandingBandNeverOvershootsItsTarget)
{
    // 0.4:1 with TCR: a short dip after a long loud passage leaves the slow follower
    // far above the gain; the release must still approach the target from below.
    BandConstants k = Band(-400, 4, 0, 0, 0, 200, 1);
    BandState state;
    BandMeter meter{0, 0, 1};
    for (int n = 0; n < 44100; ++n)
        state.step(k, Detector(), 0.5, 0.5, meter);
    for (int n = 0; n < 441; ++n)
        state.step(k, Detector(), 0.02, 0.02, meter);
    for (int n = 0; n < 4410; ++n) {
        const double before = state.g;
        state.step(k, Detector(), 0.5, 0.5, meter);
        const double target = BandState::TargetGain(k, std::log(state.env));
        if (target > before) {
            ASSERT_LE(state.g, target * (1 + 1e-12)) << "frame " << n;
        }
        ASSERT_GE(state.cDyn, 0.0);
        ASSERT_LE(state.cDyn, 1.0);
    }
}

TEST(ProgrammeDependentRelease, VintageBandReturnsToUnityWhenTheSignalStops)
{
    for (int tcr : {0, 1}) {
        BandConstants k = Band(-400, 100, 10, 1, 10, 200, tcr);
        BandState state;
        BandMeter meter{0, 0, 1};
        for (int n = 0; n < 44100; ++n)
            state.step(k, Detector(), 0.9, 0.9, meter);
        EXPECT_LT(state.g, 0.5);
        for (int n = 0; n < 5 * 44100; ++n)
            state.step(k, Detector(), 0.0, 0.0, meter);
        EXPECT_NEAR(state.g, 1.0, 1e-6) << "TCR " << tcr;
        EXPECT_LE(state.cDyn, 1.0) << "TCR " << tcr;
    }
}

TEST(SoloAndBypass, SoloMutesTheOthersAndBypassCannotUnmute)
{
    ParamBlock p = DefaultParamBlock();
    p.Solo[1] = 1;
    p.Solo[3] = 1;
    p.Bypass[2] = 1;
    p.Bypass[3] = 1;
    p.Gain[1] = 60;
    double applied[kBandCount];
    for (int b = 0; b < kBandCount; ++b) {
        BandConstants k = BandConstants::Compute(p, b, kRate);
        BandState state;
        BandMeter meter{0, 0, 0.5};
        applied[b] = state.step(k, Detector(), 0.3, 0.3, meter);
        if (k.bypass) {
            EXPECT_EQ(meter.gain, 1.0) << "a bypassed band reports unity, band " << b;
        }
    }
    EXPECT_EQ(applied[0], 0.0);
    EXPECT_NEAR(applied[1], FromDb(6.0), 1e-12);
    EXPECT_EQ(applied[2], 0.0) << "muted by solo, bypass leaves it muted";
    EXPECT_EQ(applied[3], 1.0) << "soloed and bypassed: unity, make-up cancelled";
    EXPECT_EQ(applied[4], 0.0);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The band work that runs many frames or two bands at once must give each one's own
// one-at-a-time result, bit for bit: the curve of a run of detector envelopes around
// both knees and on unusual values, and the five followers against five single ones,
// with bands of every kind side by side (Normal and Vintage, bypassed, muted by solo,
// with TCR).
TEST(BandLanes, CurvesOfARunGiveEachEnvelopesOwnTargetGain)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    for (int type : {0, 1}) {
        SCOPED_TRACE(type ? "Vintage" : "Normal");
        const BandConstants k = Band(-200, 40, 6, type);
        const double belowKnee = std::nextafter(k.unityBelow, 0.0);
        std::vector<std::vector<double>> runs;
        runs.push_back({nan, inf, 0.0, 1e-30, math::Exp(k.kneeLo), math::Exp(k.kneeHi), math::Exp(k.lnThr), 1e30});
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> around(k.kneeLo - 1.0, k.kneeHi + 1.0), under(1e-30, belowKnee);
        runs.emplace_back();
        for (int i = 0; i < 2001; ++i)
            runs.back().push_back(math::Exp(around(rng)));
        // A run wholly below the knee start, and the same with its last frame at or
        // above the start, or lost.
        std::vector<double> quiet(63, 0.0);
        for (double& env : quiet)
            env = under(rng);
        for (double last : {belowKnee, k.unityBelow, math::Exp(k.kneeLo), nan}) {
            runs.push_back(quiet);
            runs.back().push_back(last);
        }
        for (const std::vector<double>& run : runs) {
            std::vector<double> env = run, target(run.size());
            BandState::TargetGains(k, env.data(), target.data(), static_cast<int>(run.size()));
            for (size_t i = 0; i < run.size(); ++i)
                ASSERT_TRUE(SameBits(target[i], BandState::TargetGain(k, math::Log(run[i])))) << "envelope " << run[i];
        }
    }
}

// A run below its unity bound has its targets set without their logarithms: the
// bound must lie below the knee start for every threshold and knee, with either curve.
TEST(BandLanes, EveryEnvelopeBelowTheUnityBoundHasUnityTargetGain)
{
    for (int type : {0, 1})
        for (int threshold = -600; threshold <= 600; threshold += 7)
            for (int knee = 0; knee <= 30; ++knee) {
                const BandConstants k = Band(threshold, 40, knee, type);
                ASSERT_EQ(BandState::TargetGain(k, math::Log(std::nextafter(k.unityBelow, 0.0))), 1.0)
                    << "threshold " << threshold << ", knee " << knee << (type ? ", Vintage" : ", Normal");
            }
}

TEST(BandLanes, FiveFollowersTogetherGiveEachBandsOwnFollower)
{
    ParamBlock p = DefaultParamBlock();
    p.TCR = 1;
    p.Type[1] = p.Type[4] = 1;
    p.Bypass[2] = 1;
    p.Solo[0] = p.Solo[1] = p.Solo[4] = 1;  // bands 2 and 3 muted
    p.Bypass[4] = 1;
    BandConstants k[kBandCount];
    for (int b = 0; b < kBandCount; ++b) {
        p.Attack[b] = 10 + 70 * b;
        p.Release[b] = 20 + 90 * b;
        k[b] = BandConstants::Compute(p, b, kRate);
    }
    BandState together[kBandCount], alone[kBandCount];
    MeterRecord metersTogether, metersAlone;
    metersTogether.reset();
    metersAlone.reset();
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> gain(0.05, 1.6);  // reductions and boosts
    for (int run = 0; run < 20; ++run) {
        FiveBandFollowers followers(k, together, metersTogether);
        for (int frame = 0; frame < 50; ++frame) {
            double target[kBandCount], applied[kBandCount + 1];
            for (double& t : target)
                t = gain(rng);
            followers.step(target, applied);
            for (int b = 0; b < kBandCount; ++b)
                ASSERT_TRUE(SameBits(applied[b], alone[b].follow(k[b], target[b], metersAlone.band[b])))
                    << "band " << b << ", frame " << frame << " of run " << run;
        }
        followers.store(together, metersTogether);
    }
    for (int b = 0; b < kBandCount; ++b) {
        EXPECT_TRUE(SameBits(together[b].g, alone[b].g) && SameBits(together[b].gs, alone[b].gs) &&
                    SameBits(together[b].cDyn, alone[b].cDyn))
            << "band " << b << "'s state";
        EXPECT_TRUE(SameBits(metersTogether.band[b].gain, metersAlone.band[b].gain)) << "band " << b << "'s meter";
    }
}

} // namespace
} // namespace qz
