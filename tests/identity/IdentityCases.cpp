#include "IdentityCases.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace qz::identity {

namespace {

const char kMagic[8] = {'q', 'z', 'i', 'd', 'e', 'n', 't', '1'};

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

// Little-endian fields on both builds' machines: the integers are written as they lie
// in memory.
template <typename T>
bool Put(FILE* f, const T& value) { return std::fwrite(&value, sizeof value, 1, f) == 1; }

template <typename T>
bool Get(FILE* f, T& value) { return std::fread(&value, sizeof value, 1, f) == 1; }

bool PutBytes(FILE* f, const void* data, uint32_t size)
{
    return Put(f, size) && (size == 0 || std::fwrite(data, 1, size, f) == size);
}

template <typename Container>
bool GetBytes(FILE* f, Container& data)
{
    uint32_t size;
    if (!Get(f, size) || size > (1u << 28))
        return false;
    data.resize(size);
    return size == 0 || std::fread(&data[0], 1, size, f) == size;
}

} // namespace

bool WriteIdentityCases(const std::string& path, const std::vector<IdentityCase>& cases)
{
    File f(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!f)
        return false;
    bool ok = std::fwrite(kMagic, sizeof kMagic, 1, f.get()) == 1 && Put(f.get(), static_cast<uint32_t>(cases.size()));
    for (const IdentityCase& c : cases) {
        ok = ok && PutBytes(f.get(), c.name.data(), static_cast<uint32_t>(c.name.size())) && Put(f.get(), c.block) &&
             Put(f.get(), c.formatTag) && Put(f.get(), c.channels) && Put(f.get(), c.bitsPerSample) &&
             Put(f.get(), c.sampleRate) && Put(f.get(), c.bufferFrames) &&
             PutBytes(f.get(), c.input.data(), static_cast<uint32_t>(c.input.size())) &&
             PutBytes(f.get(), c.output.data(), static_cast<uint32_t>(c.output.size()));
    }
    return std::fclose(f.release()) == 0 && ok;
}

bool ReadIdentityCases(const std::string& path, std::vector<IdentityCase>& cases)
{
    File f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f)
        return false;
    char magic[sizeof kMagic];
    uint32_t count;
    if (std::fread(magic, sizeof magic, 1, f.get()) != 1 || std::memcmp(magic, kMagic, sizeof magic) != 0 ||
        !Get(f.get(), count) || count > 1000)
        return false;
    cases.assign(count, IdentityCase{});
    for (IdentityCase& c : cases) {
        if (!(GetBytes(f.get(), c.name) && Get(f.get(), c.block) && Get(f.get(), c.formatTag) &&
              Get(f.get(), c.channels) && Get(f.get(), c.bitsPerSample) && Get(f.get(), c.sampleRate) &&
              Get(f.get(), c.bufferFrames) && GetBytes(f.get(), c.input) && GetBytes(f.get(), c.output)))
            return false;
        if (c.bufferFrames == 0 || c.bytesPerFrame() == 0)
            return false;
    }
    return std::fgetc(f.get()) == EOF;
}

} // namespace qz::identity
