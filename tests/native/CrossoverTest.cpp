// The crossover bank: coefficients at their edges, and the five bands adding back up to
// the input through an allpass (flat magnitude) for any frequencies and Q.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "Crossover.h"
#include "EngineTestSupport.h"
#include "ParamUnits.h"

namespace qz {
namespace {

const double kPi = 3.141592653589793;

TEST(CrossoverCoefficients, FrequencyIsHeldBetween20HzAndJustBelowNyquist)
{
    auto expectSame = [](CrossoverCoeffs a, CrossoverCoeffs b, const char* what) {
        EXPECT_EQ(a.c0, b.c0) << what;
        EXPECT_EQ(a.c1, b.c1) << what;
        EXPECT_EQ(a.c2, b.c2) << what;
    };
    EXPECT_EQ(units::FrequencyHz(0), 20);
    expectSame(ComputeCrossoverCoeffs(5.0, 1.0, 8000), ComputeCrossoverCoeffs(20.0, 1.0, 8000), "raised to 20 Hz");
    expectSame(ComputeCrossoverCoeffs(20000.0, 1.0, 32000), ComputeCrossoverCoeffs(15999.0, 1.0, 32000),
               "lowered to 15999 Hz at 32 kHz");
    CrossoverCoeffs at44 = ComputeCrossoverCoeffs(20000.0, 1.0, 44100);
    CrossoverCoeffs below = ComputeCrossoverCoeffs(19999.0, 1.0, 44100);
    EXPECT_NE(at44.c0, below.c0) << "20 kHz is used as is at 44.1 kHz";
}

TEST(CrossoverCoefficients, QuarterSampleRateZeroesTheOddTerms)
{
    for (double fs : {44100.0, 48000.0}) {
        CrossoverCoeffs k = ComputeCrossoverCoeffs(fs / 4, 1.0, fs);
        EXPECT_NEAR(k.c0, 0.0, 1e-8) << fs;
        EXPECT_NEAR(k.c2, 0.0, 1e-8) << fs;
        EXPECT_NEAR(k.c1, (1.0 - 0.5) / (1.0 + 0.5), 1e-12) << "alpha = 1/(2Q) at fs/4";
    }
}

// Drives one channel's splitter with a sine and checks that the five bands add up to the
// input through the four first-order allpasses, sample by sample, and that the sum
// keeps the sine's power.
void CheckBandsAddUpToAnAllpass(const int (&freqSteps)[kCrossoverCount], int qFactor, double frequency)
{
    const double fs = 44100.0;
    CrossoverCoeffs k[kCrossoverCount];
    for (int x = 0; x < kCrossoverCount; ++x)
        k[x] = ComputeCrossoverCoeffs(units::FrequencyHz(freqSteps[x]), units::QualityFactor(qFactor), fs);
    BandSplitter splitter;
    AllpassSection cascade[kCrossoverCount];
    const int settle = 44100, window = 44100;  // whole periods: frequency is whole hertz
    double inputPower = 0, outputPower = 0;
    for (int n = 0; n < settle + window; ++n) {
        const double x = 0.7 * std::sin(2 * kPi * frequency * n / fs);
        double band[kBandCount];
        splitter.split(k, x, band);
        const double sum = band[0] + band[1] + band[2] + band[3] + band[4];
        double expected = x;
        for (int s = kCrossoverCount - 1; s >= 0; --s)
            expected = cascade[s].step(k[s].c0, expected);
        ASSERT_NEAR(sum, expected, 1e-12) << "sample " << n << " at " << frequency << " Hz";
        if (n >= settle) {
            inputPower += x * x;
            outputPower += sum * sum;
        }
    }
    EXPECT_NEAR(std::sqrt(outputPower / window), std::sqrt(inputPower / window), 1e-9)
        << frequency << " Hz, Q " << qFactor << ", freq steps " << freqSteps[0] << " " << freqSteps[1] << " "
        << freqSteps[2] << " " << freqSteps[3];
}

TEST(CrossoverSum, FiveBandsAddUpToTheInputThroughAnAllpass)
{
    const int defaults[kCrossoverCount] = {60, 121, 180, 240};
    const int spread[kCrossoverCount] = {10, 100, 200, 295};
    const int descending[kCrossoverCount] = {250, 170, 90, 20};
    const int clustered[kCrossoverCount] = {150, 151, 152, 153};
    for (const auto* steps : {&defaults, &spread, &descending, &clustered})
        for (int q : {50, 100, 150})
            for (double f : {31.0, 250.0, 1000.0, 4111.0, 15000.0})
                CheckBandsAddUpToAnAllpass(*steps, q, f);
}

TEST(CrossoverSplit, EachBandPassesItsOwnRangeAndRejectsTheOthers)
{
    // A sine in the middle of band 3 (324 .. 1262 Hz) lands almost entirely in band 3.
    const double fs = 44100.0;
    CrossoverCoeffs k[kCrossoverCount];
    const int steps[kCrossoverCount] = {60, 121, 180, 240};
    for (int x = 0; x < kCrossoverCount; ++x)
        k[x] = ComputeCrossoverCoeffs(units::FrequencyHz(steps[x]), 1.0, fs);
    BandSplitter splitter;
    double peak[kBandCount] = {};
    for (int n = 0; n < 88200; ++n) {
        double band[kBandCount];
        splitter.split(k, std::sin(2 * kPi * 640 * n / fs), band);
        if (n >= 44100)
            for (int b = 0; b < kBandCount; ++b)
                peak[b] = std::fmax(peak[b], std::fabs(band[b]));
    }
    EXPECT_GT(peak[2], 0.95);
    EXPECT_LT(peak[0], 0.05);
    EXPECT_LT(peak[4], 0.05);
}

TEST(CrossoverSolo, SoloingBandThreeYieldsItsBandOfTheSplit)
{
    // Through the whole engine, a soloed band 3 (ratio 1:1, no limiter) is the split's
    // band 3 alone: HP2(LP3(LP4(x))) through the crossover 1 compensation allpass.
    test::TestEngine engine;
    ParamBlock block = DefaultParamBlock();
    block.Limiter = 0;
    block.Solo[2] = 1;
    engine.ApplyParamBlock(&block);
    const WAVEFORMATEX format = test::MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 64, 1);
    engine.BeginStreaming(format);

    CrossoverCoeffs k[kCrossoverCount];
    for (int x = 0; x < kCrossoverCount; ++x)
        k[x] = ComputeCrossoverCoeffs(units::FrequencyHz(block.Freq[x]), 1.0, 44100);
    BandSplitter reference;
    std::vector<double> buffer(4000);
    for (size_t n = 0; n < buffer.size(); ++n)
        buffer[n] = 0.5 * std::sin(0.01 * n * n / 400.0);  // a sweep
    std::vector<double> input = buffer;
    LONG frames = static_cast<LONG>(buffer.size());
    engine.ProcessFloat64(BlockMode::Continuous, buffer.data(), &frames);
    for (size_t n = 0; n < buffer.size(); ++n) {
        double band[kBandCount];
        reference.split(k, input[n], band);
        ASSERT_NEAR(buffer[n], band[2], 1e-12) << "sample " << n;
    }
}

// Both channels in the lanes of one splitter give the bits of two splitters, one per
// channel, for any crossover settings and rates.
TEST(StereoSplitter, GivesTheBitsOfOneSplitterPerChannel)
{
    struct Setting {
        int steps[kCrossoverCount];
        int q;
        double fs;
    };
    for (const Setting& setting : {Setting{{60, 121, 180, 240}, 100, 44100.0}, Setting{{280, 200, 90, 10}, 50, 96000.0},
                                   Setting{{0, 300, 150, 150}, 150, 8000.0}}) {
        CrossoverCoeffs k[kCrossoverCount];
        for (int x = 0; x < kCrossoverCount; ++x)
            k[x] = ComputeCrossoverCoeffs(units::FrequencyHz(setting.steps[x]), units::QualityFactor(setting.q), setting.fs);
        BandSplitter left, right;
        StereoSplitter both;
        for (int n = 0; n < 5000; ++n) {
            const double l = 0.7 * std::sin(0.031 * n) + (n % 311 == 0 ? 0.9 : 0.0);
            const double r = 0.5 * std::sin(0.17 * n + 1.0) - 1e-300 * n;
            double bandL[kBandCount], bandR[kBandCount];
            StereoPair bands[kBandCount];
            left.split(k, l, bandL);
            right.split(k, r, bandR);
            both.split(k, StereoPair(l, r), bands);
            for (int b = 0; b < kBandCount; ++b) {
                ASSERT_EQ(std::memcmp(&bands[b].lane[0], &bandL[b], sizeof(double)), 0) << "left band " << b << ", frame " << n;
                ASSERT_EQ(std::memcmp(&bands[b].lane[1], &bandR[b], sizeof(double)), 0) << "right band " << b << ", frame " << n;
            }
        }
    }
}

} // namespace
} // namespace qz
