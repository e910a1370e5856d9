#pragma once
// The table the native engine and the DLLs must agree on bit for bit: each case is a
// setting, a stream format, an input signal and the engine's output for it, as the
// native build computed them. The native build writes the table to a file; the
// Windows builds stream every input through the DLL in the system's filter graph and
// compare the output with the file's, byte for byte.

#include <cstdint>
#include <string>
#include <vector>

#include "ParamBlock.h"

namespace qz::identity {

struct IdentityCase {
    std::string name;
    ParamBlock block{};
    uint16_t formatTag = 0;  // 1 PCM, 3 IEEE float
    uint16_t channels = 0;
    uint16_t bitsPerSample = 0;
    uint32_t sampleRate = 0;
    uint32_t bufferFrames = 0;   // frames per media sample the input is cut into
    std::vector<uint8_t> input;  // interleaved frames
    std::vector<uint8_t> output; // every frame written, the end-of-stream flush included

    uint32_t bytesPerFrame() const { return channels * bitsPerSample / 8u; }
};

// Both return false on any failure (a short, missing or foreign file included).
bool WriteIdentityCases(const std::string& path, const std::vector<IdentityCase>& cases);
bool ReadIdentityCases(const std::string& path, std::vector<IdentityCase>& cases);

} // namespace qz::identity
