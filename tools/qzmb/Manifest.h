#pragma once
// The batch manifest: a JSON Lines file in the output folder. Its first line names the
// batch (which share of which input list it covers); then one line per file, keyed by
// the output's path relative to the output folder. Lines are appended as files
// complete, so a later line for the same output replaces an earlier one; a run
// rewrites the file when it starts and ends with one line per output, sorted.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ParamBlock.h"

namespace qz::cli {

// The first line.
struct ManifestHeader {
    int shard = 1, shardCount = 1;  // this manifest covers share `shard` of `shardCount`
    int64_t inputs = 0;             // files in the whole input list, every share together
    std::string listHash;           // identifies that list: the hash of its sorted output paths

    bool operator==(const ManifestHeader& other) const;
};

struct ManifestEntry {
    std::string output;  // the key: the output's path relative to the output folder
    std::string status;  // "done", "failed", or "pending" (not processed yet)
    std::string input;   // the input's path, as the batch was given it
    std::string error;   // why it failed

    // Known once the input was read.
    int64_t inputSize = -1;
    std::string inputHash;
    std::string settings;  // the settings record, 240 bytes in hex

    // Known when done.
    std::string outputHash;
    std::string plot;  // the picture's path, when one was drawn
    int64_t frames = 0;
    int sampleRate = 0;
    int channels = 0;
    double bandGain[kBandCount] = {1.0, 1.0, 1.0, 1.0, 1.0};  // linear, farthest from unity
    double outputPeak = 0.0;                                   // linear
    bool over = false;
    int64_t nonFiniteSamples = 0;
    double wallSeconds = 0.0;
    std::string engine;  // the engine's name and version

    bool done() const { return status == "done"; }
};

// The engine's name and version as manifests record it.
std::string EngineVersion();
// A settings block as the 240-byte record the filter stores, in hex.
std::string SettingsHex(const ParamBlock& settings);

std::string FormatHeader(const ManifestHeader& header);
std::string FormatEntry(const ManifestEntry& entry);
// Reads one line: a header or an entry. Returns the problem, or an empty string.
std::string ParseLine(const std::string& line, std::optional<ManifestHeader>& header,
                      std::optional<ManifestEntry>& entry);

// What a manifest file holds: its header and, per output, its latest entry.
struct ManifestContents {
    std::optional<ManifestHeader> header;
    std::map<std::string, ManifestEntry> entries;
    std::vector<std::string> notes;  // one line for each line that could not be read
};

// Reads a manifest file; a missing file is an empty manifest. Returns the problem.
std::string ReadManifest(const std::string& path, ManifestContents& contents);
// Writes `header` and `entries` to `path`, replacing it in one step.
std::string WriteManifest(const std::string& path, const ManifestHeader& header,
                          const std::map<std::string, ManifestEntry>& entries);

// The manifest of a running batch. It holds a lock on the file, so that two batches
// never write the same manifest.
class ManifestFile {
public:
    ManifestFile() = default;
    ~ManifestFile();
    ManifestFile(const ManifestFile&) = delete;
    ManifestFile& operator=(const ManifestFile&) = delete;

    // Opens (or creates) the manifest at `path`, locks it and reads it. `notes` gets a
    // line for every line that could not be read (that file is then processed again).
    std::string open(const std::string& path, std::vector<std::string>& notes);
    // The latest entry for an output. Safe from any thread.
    std::optional<ManifestEntry> find(const std::string& output) const;
    // Appends an entry. Safe from any thread. `diskFull`, when given, tells whether it
    // failed for want of space.
    std::string append(const ManifestEntry& entry, bool* diskFull = nullptr);
    // Keeps `entry` for an output that has none yet, until the next rewrite.
    void expect(const ManifestEntry& entry);
    // Rewrites the file as `header` and the latest entry of every output, sorted.
    std::string rewrite(const ManifestHeader& header);

private:
    std::string lock();

    std::string m_path;
    int m_descriptor = -1;
    mutable std::mutex m_mutex;
    std::map<std::string, ManifestEntry> m_entries;
};

} // namespace qz::cli
