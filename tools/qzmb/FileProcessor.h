#pragma once
// Runs an audio file through the engine exactly as the filter would: the same sample
// formats and block modes, and the end-of-stream flush so that no audio is lost to the
// limiter's lookahead.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "MeterFeed.h"
#include "ParamBlock.h"

namespace qz::files {
class OutputFile;
}

namespace qz::cli {

class LevelTrace;
using files::OutputFile;

struct ProcessReport {
    int64_t frames = 0;       // in, and out: the flush returns every withheld frame
    int channels = 0;
    int sampleRate = 0;
    std::string sampleKind;   // how the engine saw the samples: "16-bit PCM", ...
    MeterRecord loudest{};    // band peaks and output peaks: the largest of all blocks;
                              // band gains: the farthest from unity of all blocks
    bool over = false;        // the limiter acted, or the output went above full scale
    int latencyFrames = 0;    // the lookahead the flush made up for
    long long nonFiniteSamples = 0;  // NaN or infinite input samples, taken as silence
    bool diskFull = false;    // the run failed because the output's file system is full
};

// What a caller sees of a run and how it stops one. Every member may stay empty.
struct ProcessHooks {
    std::function<void(double fraction)> progress;  // after each block: the fraction of the input read
    std::function<bool()> stop;                      // before each block: true abandons the run
    LevelTrace* trace = nullptr;                     // receives the levels and gains, block by block
};

// Processes `inputPath` into `outputPath` with `settings`. The output takes the input's
// sample format (8-bit as the container stores it); its container follows the output's
// extension (.wav, .aif/.aiff, .flac), and any other name is refused. Neither the input
// nor `settingsFiles` (the files the settings came from) is ever written. Returns an
// empty string, or the problem in one line; on failure `outputPath` is as it was.
std::string ProcessFile(const std::string& inputPath, const std::string& outputPath,
                        const std::vector<std::string>& settingsFiles, const ParamBlock& settings,
                        ProcessReport& report, const ProcessHooks& hooks = {});

// The same up to the last step: the complete output is left in `output`'s temporary
// file, for the caller to look at and then commit or discard.
std::string ProcessIntoTemporary(const std::string& inputPath, const std::string& outputPath,
                                 const std::vector<std::string>& settingsFiles, const ParamBlock& settings,
                                 OutputFile& output, ProcessReport& report, const ProcessHooks& hooks);

} // namespace qz::cli
