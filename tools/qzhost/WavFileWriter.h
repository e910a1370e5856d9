// A canonical WAV file written as the audio arrives: RIFF, a "fmt " chunk, for float
// data a "fact" chunk, and one "data" chunk. It is written under a temporary name and
// only takes its own name when complete; a writer destroyed before that removes it.
#pragma once

#include "HostSupport.h"

#include <mmreg.h>

#include <cstdint>
#include <string>

namespace qzhost {

class WavFileWriter {
public:
    // Creates `path` + ".partial" for audio in `format` (PCM or IEEE float; only its
    // tag, channels, rate and bits are used). Throws HostError.
    WavFileWriter(const std::wstring& path, const WAVEFORMATEX& format);
    ~WavFileWriter();
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // Appends audio bytes. S_OK, or the failure (the file has then failed for good).
    HRESULT Write(const BYTE* data, DWORD length);
    // Completes the header, closes the file and gives it its name, replacing any
    // file of that name. Throws HostError.
    void Commit();

    uint64_t DataBytes() const { return m_dataBytes; }
    const std::wstring& PartialPath() const { return m_partial; }

private:
    HRESULT WriteHeader();
    void Discard();

    std::wstring m_path;
    std::wstring m_partial;
    WAVEFORMATEX m_format{};
    HANDLE m_file = INVALID_HANDLE_VALUE;
    uint64_t m_dataBytes = 0;
    HRESULT m_failure = S_OK;
};

} // namespace qzhost
