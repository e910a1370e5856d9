#pragma once
// Settings record files: the 240 bytes the filter stores in a host's project
// (IPersistStream), so that qzmb and hosts of the DLL share settings.

#include <string>
#include <vector>

#include "ParamBlock.h"

namespace qz::cli {

// Reads a record file into `block`, reading no more than a record's 240 bytes. Empty
// string on success, else the problem.
std::string ReadRecordFile(const std::string& path, ParamBlock& block);
// Writes `block` as a record file. A file already at `path` is replaced only when it
// is a settings record and none of `settingsFiles`.
std::string WriteRecordFile(const std::string& path, const ParamBlock& block,
                            const std::vector<std::string>& settingsFiles);

} // namespace qz::cli
