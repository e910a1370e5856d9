// The streaming path against a host adding automation: while another thread adds
// 100,000 segments to one parameter, the streaming thread brings all 53 envelopes to
// each buffer's position, as it does before every buffer. Reports the longest such
// update ("longest_update_us": the longest the streaming thread waited for, or held,
// an envelope's lock in one buffer), how many updates ran during the addition, and
// how long the addition took. With calls 0 nothing is added for half a second: the
// longest update of a streaming thread that waits for nobody, this machine's noise.
//
//   build/native/bench/qz_bench --benchmark_filter=StreamingWhileAdding
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "MediaParams.h"
#include "StandaloneEngine.h"

namespace {

using namespace qz;
using Clock = std::chrono::steady_clock;

constexpr DWORD kSegments = 100000;

// Segments ahead of the stream, given in reverse order so that they must be sorted.
std::vector<MP_ENVELOPE_SEGMENT> FutureSegments()
{
    std::vector<MP_ENVELOPE_SEGMENT> segments;
    for (DWORD k = 0; k < kSegments; ++k) {
        const REFERENCE_TIME start = (kSegments - k) * 1000000LL;
        segments.push_back({start, start + 1000000, 0.4f, 0.6f, MP_CURVE_LINEAR, 0});
    }
    return segments;
}

// calls: how many AddEnvelope calls carry the 100,000 segments (0: none).
void StreamingWhileAdding(benchmark::State& state)
{
    const DWORD calls = static_cast<DWORD>(state.range(0));
    std::vector<MP_ENVELOPE_SEGMENT> segments = FutureSegments();
    double longest = 0, adding = 0;
    long long updates = 0;
    for (auto _ : state) {
        StandaloneEngine engine(&CMediaParams::Create);
        IEngineAutomation* automation = engine.Automation();
        std::atomic<bool> done{false};
        const Clock::time_point begin = Clock::now();
        std::thread host([&] {
            if (calls == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            for (DWORD c = 0; c < calls; ++c)
                automation->AddEnvelope(1, kSegments / calls, segments.data() + c * (kSegments / calls));
            adding = std::chrono::duration<double>(Clock::now() - begin).count();
            done = true;
        });
        for (int64_t position = 0; !done; position += 512, ++updates) {
            const Clock::time_point start = Clock::now();
            automation->UpdateToSample(position);
            longest = std::max(longest, std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        host.join();
    }
    state.counters["longest_update_us"] = longest;
    state.counters["updates_while_adding"] = benchmark::Counter(static_cast<double>(updates), benchmark::Counter::kAvgIterations);
    state.counters["adding_s"] = benchmark::Counter(adding);
}

BENCHMARK(StreamingWhileAdding)->ArgName("calls")->Arg(0)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
