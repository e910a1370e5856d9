#include "ContentHash.h"

#include <fcntl.h>
#include <nettle/sha2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace qz::cli {

namespace {

std::string Hex(const uint8_t (&digest)[SHA256_DIGEST_SIZE])
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text(2 * SHA256_DIGEST_SIZE, '0');
    for (size_t i = 0; i < SHA256_DIGEST_SIZE; ++i) {
        text[2 * i] = kDigits[digest[i] >> 4];
        text[2 * i + 1] = kDigits[digest[i] & 15];
    }
    return text;
}

void Digest(const void* data, size_t size, uint8_t (&digest)[SHA256_DIGEST_SIZE])
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, size, static_cast<const uint8_t*>(data));
    sha256_digest(&context, SHA256_DIGEST_SIZE, digest);
}

} // namespace

std::string HashDescriptor(int descriptor, std::string& problem)
{
    sha256_ctx context;
    sha256_init(&context);
    std::vector<uint8_t> chunk(1 << 20);
    for (off_t offset = 0;;) {
        const ssize_t got = pread(descriptor, chunk.data(), chunk.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            problem = std::strerror(errno);
            return "";
        }
        if (got == 0)
            break;
        sha256_update(&context, static_cast<size_t>(got), chunk.data());
        offset += got;
    }
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, SHA256_DIGEST_SIZE, digest);
    return Hex(digest);
}

std::string HashFile(const std::string& path, std::string& problem)
{
    // O_NONBLOCK: a pipe or device slipped in under the name is not waited for.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        problem = std::strerror(errno);
        return "";
    }
    struct stat info;
    std::string hash;
    if (fstat(descriptor, &info) != 0)
        problem = std::strerror(errno);
    else if (!S_ISREG(info.st_mode))
        problem = "not a regular file";
    else
        hash = HashDescriptor(descriptor, problem);
    close(descriptor);
    return hash;
}

std::string HashBytes(const void* data, size_t size)
{
    uint8_t digest[SHA256_DIGEST_SIZE];
    Digest(data, size, digest);
    return Hex(digest);
}

uint64_t StableHash64(const std::string& text)
{
    uint8_t digest[SHA256_DIGEST_SIZE];
    Digest(text.data(), text.size(), digest);
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = value << 8 | digest[i];
    return value;
}

} // namespace qz::cli
