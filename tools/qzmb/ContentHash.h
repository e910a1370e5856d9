#pragma once
// Content hashes for the batch manifest: SHA-256 (nettle's), as 64 lower-case hex
// digits.

#include <cstdint>
#include <string>

namespace qz::cli {

// The hash of everything `descriptor` holds, read from its start whatever its offset.
// Empty, and `problem` set, when it cannot be read.
std::string HashDescriptor(int descriptor, std::string& problem);
// The hash of the file at `path`, which must be a regular file.
std::string HashFile(const std::string& path, std::string& problem);
// The hash of some bytes.
std::string HashBytes(const void* data, size_t size);
// The first 64 bits of HashBytes, as a number: a hash that is the same on every machine.
uint64_t StableHash64(const std::string& text);

} // namespace qz::cli
