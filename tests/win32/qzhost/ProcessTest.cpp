// qzhost process end to end: the real qzhost.exe streams a WAV file through the real
// DLL in Wine's filter graph, and what it writes is compared with what the engine
// alone makes of the same audio.
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

const std::vector<std::pair<const char*, float>> kCompressing = {{"Threshold 1", 0.5f}, {"Ratio 1", 0.13f}};

double ReportedPeak(const std::string& report)
{
    const std::string line = ReportLine(report, "peak:");
    return line.empty() ? -1.0 : std::atof(line.substr(5).c_str());
}

TEST_F(QzhostTest, DefaultsGiveTheEnginesResultInTheInputsFormatAndLength)
{
    std::string report;
    const WavData out = ProcessStereo({}, &report);
    const WavData& in = StereoInput();
    EXPECT_EQ(out.formatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.rate, 44100u);
    EXPECT_EQ(out.bits, 16);
    ASSERT_EQ(out.data.size(), in.data.size()) << "the lookahead's last frames are flushed at the end";
    EXPECT_TRUE(SameSamples(Samples16(out.data), EngineResult(qz::DefaultParamBlock(), in)));

    EXPECT_EQ(ReportLine(report, "input:"), "input:    \"" + Narrow(scratch.Path(L"stereo.wav")) +
                                                "\", 16-bit PCM, 2 channels, 44100 Hz");
    EXPECT_EQ(ReportLine(report, "applied:"), "applied:  nothing; the filter's defaults");
    EXPECT_EQ(ReportLine(report, "frames:"), "frames:   66150 written (1.500 s)");
    EXPECT_EQ(ReportLine(report, "over:"), "over:     no");
    int peak = 0;
    for (int16_t s : Samples16(out.data))
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_NEAR(ReportedPeak(report), peak / 32768.0, 1e-6) << report;
}

TEST_F(QzhostTest, MonoAt48kHzKeepsItsFormat)
{
    const WavData in = TestSignal(1, 48000, 30000, 0.5);
    const std::wstring inPath = WriteInput(L"mono.wav", in);
    std::string report;
    const WavData out = Process(inPath, scratch.Path(L"mono-out.wav"), {}, &report);
    EXPECT_EQ(out.formatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(out.channels, 1);
    EXPECT_EQ(out.rate, 48000u);
    EXPECT_EQ(out.bits, 16);
    ASSERT_EQ(out.data.size(), in.data.size());
    EXPECT_TRUE(SameSamples(Samples16(out.data), EngineResult(qz::DefaultParamBlock(), in)));
    EXPECT_EQ(ReportLine(report, "output:"), "output:   \"" + Narrow(scratch.Path(L"mono-out.wav")) +
                                                 "\", 16-bit PCM, 1 channel, 48000 Hz");
}

TEST_F(QzhostTest, CompressingValuesChangeTheOutputExactlyAsInTheEngine)
{
    const WavData defaults = ProcessStereo({});
    std::string report;
    const WavData compressed = ProcessStereo({L"--set", L"Threshold 1=0.5", L"--set", L"Ratio 1=0.13"}, &report);
    ASSERT_EQ(compressed.data.size(), StereoInput().data.size());
    EXPECT_NE(compressed.data, defaults.data) << "band 1 compresses 4.2:1 above -30 dB";
    EXPECT_TRUE(SameSamples(Samples16(compressed.data), EngineResult(BlockWith(kCompressing), StereoInput())));

    const std::vector<std::string> lines = Lines(report);
    const std::vector<std::string> applied = {"applied:  Threshold 1 = 0.5", "applied:  Ratio 1 = 0.13"};
    auto first = std::find(lines.begin(), lines.end(), applied[0]);
    ASSERT_NE(first, lines.end()) << report;
    ASSERT_NE(first + 1, lines.end());
    EXPECT_EQ(first[1], applied[1]) << "in the order given";
}

TEST_F(QzhostTest, LabelsAreFoundWhateverTheirLetterCase)
{
    const WavData exact = ProcessStereo({L"--set", L"Ratio 1=0.13", L"--set", L"Threshold 1=0.5"});
    const WavData anyCase = ProcessStereo({L"--set", L"RATIO 1=0.13", L"--set", L"threshold 1=0.5"});
    EXPECT_EQ(anyCase.data, exact.data);
}

TEST_F(QzhostTest, OverIndicatorReportsTheLimiterCuttingIn)
{
    // Output gain +24 dB drives the limiter hard; it keeps the peak at full scale.
    std::string report;
    const WavData loud = ProcessStereo({L"--set", L"OutputGain=1"}, &report);
    EXPECT_EQ(ReportLine(report, "over:"), "over:     yes: the limiter cut in or the output went above full scale");
    EXPECT_TRUE(SameSamples(Samples16(loud.data), EngineResult(BlockWith({{"OutputGain", 1.0f}}), StereoInput())));
    EXPECT_LE(ReportedPeak(report), 1.0);
    EXPECT_GT(ReportedPeak(report), 0.9);

    const WavData quiet = Process(WriteInput(L"quiet.wav", TestSignal(2, 44100, 20000, 0.25)),
                                  scratch.Path(L"quiet-out.wav"), {}, &report);
    EXPECT_EQ(ReportLine(report, "over:"), "over:     no");
}

TEST_F(QzhostTest, AnExistingOutputFileIsReplacedWhenTheRunSucceeds)
{
    const std::wstring out = scratch.Path(L"existing.wav");
    WriteBytes(out, {'o', 'l', 'd'});
    const WavData written = Process(WriteInput(L"short.wav", TestSignal(2, 44100, 5000, 0.5)), out, {});
    EXPECT_EQ(written.data.size(), 5000u * 4);
}

// The same file processed twice, the runs in different seconds, gives the same bytes:
// nothing in the output depends on when it was written.
TEST_F(QzhostTest, TheSameRunGivesTheSameBytesSecondsApart)
{
    const std::wstring in = WriteInput(L"same.wav", TestSignal(2, 44100, 5000, 0.9));
    const std::wstring first = scratch.Path(L"same-1.wav"), second = scratch.Path(L"same-2.wav");
    Process(in, first, {L"--set", L"Ratio 1=0.13"});
    const std::time_t firstRunEnded = std::time(nullptr);
    while (std::time(nullptr) == firstRunEnded)
        Sleep(20);
    Process(in, second, {L"--set", L"Ratio 1=0.13"});
    const std::vector<BYTE> a = ReadBytes(first), b = ReadBytes(second);
    EXPECT_FALSE(a.empty());
    EXPECT_TRUE(a == b) << "the outputs differ";
}

} // namespace
