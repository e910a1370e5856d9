#include "ManifestMerge.h"

#include <cstdio>
#include <map>
#include <optional>

#include "Manifest.h"

namespace qz::cli {

namespace {

struct Source {
    ManifestEntry entry;
    std::string path;  // the manifest it came from
};

// Of two lines for one output, the one that says more: done over failed over pending.
int Rank(const ManifestEntry& entry) { return entry.done() ? 2 : entry.status == "failed" ? 1 : 0; }

} // namespace

std::string MergeManifests(const std::vector<std::string>& paths, const std::string& outPath, MergeReport& report)
{
    report = MergeReport{};
    std::optional<ManifestHeader> batch;
    std::map<int, std::string> shards;
    std::map<std::string, Source> merged;
    for (const std::string& path : paths) {
        ManifestContents contents;
        const std::string problem = ReadManifest(path, contents);
        if (!problem.empty())
            return problem;
        for (const std::string& note : contents.notes)
            std::fprintf(stderr, "qzmb manifest: warning: %s\n", note.c_str());
        if (!contents.header)
            return path + " is not a qzmb batch manifest (it has no header line)";
        const ManifestHeader& header = *contents.header;
        if (!batch) {
            batch = header;
        } else if (header.shardCount != batch->shardCount || header.inputs != batch->inputs ||
                   header.listHash != batch->listHash) {
            return path + " is a manifest of another batch: its input list or number of shares differs from " +
                   paths.front() + "'s";
        }
        const std::string share = std::to_string(header.shard) + "/" + std::to_string(header.shardCount);
        const auto given = shards.emplace(header.shard, path);
        if (!given.second)
            report.problems.push_back("share " + share + " is given twice: " + given.first->second + " and " + path);
        for (auto& item : contents.entries) {
            const auto found = merged.find(item.first);
            if (found == merged.end()) {
                merged.emplace(item.first, Source{item.second, path});
                continue;
            }
            report.problems.push_back("duplicated: " + item.first + " is in " + found->second.path + " and in " + path);
            if (Rank(item.second) > Rank(found->second.entry))
                found->second = Source{item.second, path};
        }
    }
    if (!batch)
        return "no manifests to merge";
    for (int shard = 1; shard <= batch->shardCount; ++shard)
        if (shards.count(shard) == 0)
            report.problems.push_back("missing: share " + std::to_string(shard) + "/" +
                                      std::to_string(batch->shardCount) + " (no manifest given for it)");

    std::map<std::string, ManifestEntry> entries;
    for (const auto& item : merged) {
        const ManifestEntry& entry = item.second.entry;
        entries.emplace(item.first, entry);
        ++report.files;
        if (entry.done())
            ++report.done;
        else if (entry.status == "failed")
            report.problems.push_back("missing: " + item.first + " failed: " + entry.error);
        else
            report.problems.push_back("missing: " + item.first + " was not processed");
    }

    const ManifestHeader whole{1, 1, batch->inputs, batch->listHash};
    if (!outPath.empty())
        return WriteManifest(outPath, whole, entries);
    std::printf("%s\n", FormatHeader(whole).c_str());
    for (const auto& item : entries)
        std::printf("%s\n", FormatEntry(item.second).c_str());
    return std::fflush(stdout) == 0 ? "" : "cannot write the merged manifest";
}

} // namespace qz::cli
