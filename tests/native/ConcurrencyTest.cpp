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

} // namespace
} // namespace qz::test
