#pragma once
// qzmb lv2-presets: a user's preset store (or any preset file of the plug-in) as an LV2
// preset bundle that LV2 hosts list beside the plug-in's built-in presets. Every
// preset carries the value of every control port and the 240-byte settings record as
// the plug-in's state, so the spare fields travel too; banks become preset banks.

#include <string>
#include <vector>

namespace qz::cli {

struct Lv2PresetReport {
    int presets = 0;
    int banks = 0;
    std::vector<std::string> warnings;  // sections skipped, values left at their defaults
};

// Writes the bundle folder `bundlePath` (manifest.ttl and presets.ttl) from the preset
// file `storePath`. An existing folder is replaced only when it is a bundle this
// command wrote, and only once the new one is complete. Returns an empty string, or
// the problem in one line; on failure `bundlePath` is as it was.
std::string WriteLv2PresetBundle(const std::string& storePath, const std::string& bundlePath,
                                 Lv2PresetReport& report);

} // namespace qz::cli
