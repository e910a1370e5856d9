#pragma once
// qzmb's outputs go through the project's safe file writing, under the names qzmb's
// code knows them by.

#include "SafeFiles.h"

namespace qz::cli {

using files::CheckDestination;
using files::OutputFile;

} // namespace qz::cli
