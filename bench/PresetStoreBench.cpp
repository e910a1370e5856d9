// Loading the preset store natively: qzmb reads a store of 1,000, 20,000 and 100,000
// presets (about 20 MB) from a file, with the reader of the store's bytes the plug-in
// uses, and lists its presets in order. The plug-in's own load under Wine is timed by
// preset_store_load.exe (PresetStoreLoadTiming.cpp) of the Windows build.
//
//   build/native/bench/qz_bench --benchmark_filter=PresetStoreLoad
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "PresetFiles.h"
#include "PresetStoreText.h"

namespace {

void PresetStoreLoad(benchmark::State& state)
{
    const int presets = static_cast<int>(state.range(0));
    const std::string path = "/tmp/qz-bench-store-" + std::to_string(getpid()) + ".ini";
    const std::string text = qz::bench::PresetStoreText(presets);
    FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file != nullptr)
        written = std::fclose(file) == 0 && written;
    if (!written) {
        std::remove(path.c_str());
        state.SkipWithError(("cannot write " + path).c_str());
        return;
    }
    for (auto _ : state) {
        std::string error;
        const qz::cli::PresetFileContents contents = qz::cli::ReadPresetFile(path, error);
        if (!error.empty() || contents.presets.size() != static_cast<size_t>(presets)) {
            state.SkipWithError(error.empty() ? "presets lost on the way" : error.c_str());
            break;
        }
        benchmark::DoNotOptimize(contents.presets.data());
    }
    std::remove(path.c_str());
    state.counters["presets"] = presets;
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}

BENCHMARK(PresetStoreLoad)->Arg(1000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
