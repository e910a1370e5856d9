// Helpers of the framework tests: readable result codes, audio media
// types and WAV files, and Wine's own filter graph with its file source and parser.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <mmreg.h>

#include "ComPtr.h"
#include "GraphClient.h"
#include "MediaType.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

std::string HrText(HRESULT hr);
std::string GuidText(const GUID& guid);

// An audio media type with a WAVEFORMATEX format block (cbSize 0).
CMediaType AudioType(WORD formatTag, WORD channels, DWORD rate, WORD bits);
const WAVEFORMATEX& WaveFormat(const AM_MEDIA_TYPE& type);

// Writes a canonical RIFF/WAVE file: a 16-byte fmt chunk and one data chunk.
void WriteWavFile(const std::wstring& path, WORD formatTag, WORD channels, DWORD rate, WORD bits,
                  const std::vector<BYTE>& data);
// A path in the temporary folder, unique to this process and `name`.
std::wstring TempPath(const wchar_t* name);

// Interleaved 16-bit stereo frames, every value even and no two frames alike, so that
// halving is exact and a lost, repeated or reordered block shows.
std::vector<int16_t> StereoRamp16(size_t frames);
std::vector<BYTE> Bytes(const void* data, size_t size);

// A filter graph of the system's own filter graph manager.
class TestGraph {
public:
    TestGraph();
    ~TestGraph();

    bool ok() const { return static_cast<bool>(builder_); }
    IGraphBuilder* builder() const { return builder_.get(); }
    IMediaControl* control() const { return control_.get(); }
    IMediaEvent* events() const { return events_.get(); }

    HRESULT Add(IBaseFilter* filter, const wchar_t* name);
    // The system's File Source (Async) for `path`, connected to its WAVE Parser by
    // the graph's intelligent connect; answers the parser's output pin.
    HRESULT AddWavSource(const std::wstring& path, ComPtr<IPin>& parserOutput);

private:
    ComPtr<IGraphBuilder> builder_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaEvent> events_;
};

// The media types a pin prefers, as IEnumMediaTypes lists them.
std::vector<CMediaType> PreferredTypes(IPin* pin);
