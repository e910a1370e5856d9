// The graph qzhost plays: the system's filter graph manager with its File Source
// (Async) and WAVE Parser, the qz:Multiband filter, and qzhost's WAV writer.
#pragma once

#include "HostSupport.h"

#include <strmif.h>
#include <control.h>
#include <mmreg.h>

#include <cstdint>
#include <string>

namespace qzhost {

class CWavWriterSink;

// "16-bit PCM, 2 channels, 44100 Hz"
std::string DescribeFormat(const WAVEFORMATEX& format);

class HostGraph {
public:
    // A graph holding `filter` and the WAV writer. Throws HostError.
    explicit HostGraph(IBaseFilter* filter);
    ~HostGraph();
    HostGraph(const HostGraph&) = delete;
    HostGraph& operator=(const HostGraph&) = delete;

    // Reads `inputPath` with the system's source and parser and connects parser,
    // filter and writer. Answers the stream's format. Throws HostError.
    WAVEFORMATEX Connect(const std::wstring& inputPath);

    struct Result {
        uint64_t frames = 0;  // frames written
        double peak = 0.0;    // full scale 1.0
    };
    // Runs the graph until the stream has ended, stops it, and gives the WAV file
    // `outputPath` its content. Waits at most `timeoutMs`. Throws HostError; the
    // output is then left as it was.
    Result Run(const std::wstring& outputPath, DWORD timeoutMs);

private:
    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaEvent> m_events;
    ComPtr<IBaseFilter> m_filter;
    ComPtr<CWavWriterSink> m_sink;
};

} // namespace qzhost
