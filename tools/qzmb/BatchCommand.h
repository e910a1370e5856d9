#pragma once
// qzmb batch: many files through the engine on every core, with progress, a manifest
// that lets a stopped batch resume, and shares for many machines.

#include <string>
#include <vector>

#include "BatchInputs.h"
#include "BatchProgress.h"
#include "ParamBlock.h"

namespace qz::cli {

struct BatchOptions {
    InputSources sources;
    std::string outputFolder;
    int jobs = 0;  // 0: one per processor
    bool overwrite = false;
    int shard = 1, shardCount = 1;
    ProgressStyle progress = ProgressStyle::Plain;
    std::string plotFolder;  // empty: no pictures
};

// Takes the batch's own options out of `args` and leaves the settings options in
// `settingsArgs`. Returns a problem with the command line, or an empty string.
std::string ParseBatchOptions(const std::vector<std::string>& args, BatchOptions& options,
                              std::vector<std::string>& settingsArgs);

// Runs the batch. Exit status: 0 every file done, 1 some failed (or the batch could not
// run), 130 stopped by a signal before every file was done.
int RunBatch(const BatchOptions& options, const ParamBlock& settings, const std::vector<std::string>& settingsFiles);

// The manifest of a share: qzmb-manifest.jsonl, or qzmb-manifest-K-of-N.jsonl.
std::string ManifestName(int shard, int shardCount);

} // namespace qz::cli
