#pragma once
// qzmb manifest merge: the manifests of a batch's shares joined into the manifest of
// the whole batch, with the files that are missing or were done twice.

#include <string>
#include <vector>

namespace qz::cli {

struct MergeReport {
    std::vector<std::string> problems;  // missing shares, missing and duplicated files
    size_t files = 0, done = 0;
};

// Reads the manifests at `paths` and writes the merged manifest to `outPath` (standard
// output when empty). Returns a problem that stopped the merge, else "".
std::string MergeManifests(const std::vector<std::string>& paths, const std::string& outPath, MergeReport& report);

} // namespace qz::cli
