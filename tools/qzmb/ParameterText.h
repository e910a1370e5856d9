#pragma once
// Parameters as people write them: "Threshold 3=-20dB", "Ratio 3=4:1", "Release 2=80ms",
// "Freq 1=120Hz", "TCR=on", "Type 5=Vintage", or a bare number in engine units
// ("Threshold 3=-200"). And the reverse: an engine value in physical units.

#include <string>

#include "ParamBlock.h"

namespace qz::cli {

// Sets one parameter of `block` from "LABEL=VALUE". Returns an empty string on
// success, otherwise a one-line description of what is wrong. `note` receives a line
// worth showing for a bare number that its natural unit would read very differently
// ("Ratio 1=4" is 0.4:1), else it is emptied.
std::string ApplySetting(const std::string& setting, ParamBlock& block, std::string& note);

// An engine value of a parameter in physical units, e.g. "-20.0 dB", "4.0:1".
std::string DescribeValue(int paramIndex, int32_t engineValue);

// What a parameter's engine unit is, e.g. "0.1 dB", "frequency step".
const char* EngineUnit(int paramIndex);

} // namespace qz::cli
