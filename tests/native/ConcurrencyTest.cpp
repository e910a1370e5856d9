// The editor's thread changing parameters and recomputing while the streaming thread
// processes blocks. Run under ThreadSanitizer (the native-tsan build) this shows that no
// coefficient is read while another thread writes it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "MediaParams.h"

namespace qz::test {
namespace {

TEST(Concurrency, EditorRecomputesWhileBlocksRunAndChangesLandAtTheNextBlock)
{
    TestEngine engine(false);
    ParamBlock block = DefaultParamBlock();
    engine.ApplyParamBlock(&block);
    const WAVEFORMATEX format = MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 32, 2);
    engine.SetFormat(format);
    engine.BeginStreaming(format);

    std::atomic<bool> stop{false};
    std::thread editor([&] {
        LONG step = 0;
        while (!stop) {
            engine.SetThreshold(-(step % 600), step % kBandCount, TRUE);
            engine.SetRatio(4 + step % 290, (step + 2) % kBandCount, TRUE);
            engine.SetFreq(step % 300, step % kCrossoverCount, TRUE);
            engine.SetLimiter(step % 7 == 0 ? 0 : 1, TRUE);
            engine.RecomputeNow();
            MeterRecord meters;
            engine.GetMeters(&meters);
            ++step;
        }
    });
    std::vector<float> buffer(2 * 256);
    for (int round = 0; round < 400; ++round) {
        for (size_t k = 0; k < buffer.size(); ++k)
            buffer[k] = 0.5f * static_cast<float>((k * 7919 + round) % 200) / 200.0f;
        LONG frames = 256;
        ASSERT_EQ(engine.ProcessFloat32(BlockMode::Continuous, buffer.data(), &frames), S_OK);
        for (LONG k = 0; k < 2 * frames; ++k)
            ASSERT_TRUE(std::isfinite(buffer[k])) << "round " << round;
    }
    stop = true;
    editor.join();

    // The last setting is the one the next block works from.
    engine.SetRatio(123, 1, FALSE);
    std::vector<float> more(2 * 64, 0.1f);
    LONG frames = 64;
    engine.ProcessFloat32(BlockMode::Continuous, more.data(), &frames);
    ParamBlock now;
    engine.GetParamBlock(&now);
    EXPECT_EQ(now.Ratio[1], 123);
    const PathCoefficients expected = PathCoefficients::Compute(now, 44100);
    EXPECT_EQ(std::memcmp(&engine.Path().coefficients(), &expected, sizeof expected), 0);
}

TEST(Concurrency, HostEditorAndStreamAllAtOnce)
{
    // A host thread automating, an editor thread dragging controls, and the streaming
    // thread processing blocks, all against one engine and its automation object.
    StandaloneEngine engine(&CMediaParams::Create);
    ParamBlock block = DefaultParamBlock();
    engine.ApplyParamBlock(&block);
    CMediaParams& automation = *static_cast<CMediaParams*>(engine.Automation());
    const WAVEFORMATEX format = MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 32, 2);
    engine.SetFormat(format);
    engine.BeginStreaming(format);

    std::atomic<bool> done{false};
    std::thread host([&] {
        for (LONG round = 0; !done; ++round) {
            const REFERENCE_TIME start = (round % 50) * 2000000LL;
            MP_ENVELOPE_SEGMENT segments[2] = {
                {start, start + 1000000, 0.0f, 1.0f, MP_CURVE_LINEAR, 0},
                {start + 1000000, start + 3000000, 1.0f, 0.2f, MP_CURVE_SINE, 0},
            };
            automation.AddEnvelope(static_cast<DWORD>(round % kParamCount), 2, segments);
            automation.SetParam(static_cast<DWORD>((round * 7) % kParamCount), (round % 10) / 9.0f);
            if (round % 5 == 0)
                automation.FlushEnvelope(static_cast<DWORD>((round * 3) % kParamCount), 0, start);
            MP_DATA value;
            automation.GetParam(static_cast<DWORD>(round % kParamCount), &value);
        }
    });
    std::thread editor([&] {
        for (LONG round = 0; !done; ++round) {
            engine.SetCaptureMode(FALSE, round % 3 == 0);
            engine.UndoCheckpoint(round % 4);
            engine.SetGain(round % 360 - 180, round % kBandCount, TRUE);
            engine.SetThreshold(-(round % 600), (round + 1) % kBandCount, TRUE);
            engine.EndCapture();
            if (round % 11 == 0)
                engine.Undo();
            engine.QueryChanged();
        }
    });

    std::vector<float> audio(2 * 256);
    for (int round = 0; round < 3000; ++round) {
        for (size_t k = 0; k < audio.size(); ++k)
            audio[k] = 0.3f * static_cast<float>(((k + round) * 2654435761u) % 1000) / 1000.0f;
        MediaBuffer sample;
        sample.data = reinterpret_cast<BYTE*>(audio.data());
        sample.capacity = sample.length = static_cast<LONG>(audio.size() * sizeof(float));
        sample.discontinuity = round == 0;
        sample.hasStartTime = round == 0;
        ASSERT_EQ(engine.TransformBuffer(sample, false), S_OK);
        for (size_t k = 0; k < sample.length / sizeof(float); ++k)
            ASSERT_TRUE(std::isfinite(audio[k]));
    }
    done = true;
    host.join();
    editor.join();
    engine.SetCaptureMode(FALSE, FALSE);
    engine.EndCapture();
    for (int p = 0; p < kParamCount; ++p)
        EXPECT_FALSE(automation.Envelope(p).IsCaptured()) << "every gesture ended, parameter " << p;
}

} // namespace
} // namespace qz::test
