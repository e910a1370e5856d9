#pragma once
// Settings record files: the 240 bytes the filter stores in a host's project
// (IPersistStream), so that qzmb and hosts of the DLL share settings.

#include <string>

#include "ParamBlock.h"

namespace qz::cli {

// Reads a record file into `block`. Empty string on success, else the problem.
std::string ReadRecordFile(const std::string& path, ParamBlock& block);
std::string WriteRecordFile(const std::string& path, const ParamBlock& block);

} // namespace qz::cli
