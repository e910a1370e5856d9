// The graph qzhost plays: the system's filter graph manager with its File Source
// (Async) and WAVE Parser, the qz:Multiband filter, and qzhost's WAV writer.
#pragma once

#include "HostSupport.h"

#include <strmif.h>
#include <control.h>
#include <mmreg.h>

#include <cstdint>
#include <functional>
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
        uint64_t frames = 0;    // frames written
        double peak = 0.0;      // full scale 1.0
        bool complete = false;  // the whole stream, its end included, reached the file
    };
    // Runs the graph until the stream has ended, stops it, and gives the WAV file
    // `outputPath` its content. Waits at most `timeoutMs`. Throws HostError; the
    // output is then left as it was.
    Result Run(const std::wstring& outputPath, DWORD timeoutMs);
    // Runs the graph in real time, paced by the graph's clock, for as long as
    // `session` runs on this thread, whose message loop must dispatch the graph's
    // events. When the whole stream has been written the graph stops and
    // `atEndOfStream` is called (on this thread, from that loop); the session goes on.
    // When it ends, stops the graph and gives the WAV file `outputPath` what was
    // written until then. Throws HostError; the output is
    // then left as it was.
    Result RunInRealTime(const std::wstring& outputPath, const std::function<void()>& session,
                         const std::function<void()>& atEndOfStream);

private:
    // How a run ended, as far as the graph's events tell.
    struct Ending {
        std::string failure;    // empty: none
        bool complete = false;  // EC_COMPLETE arrived
    };
    class EventWindow;
    // Writes the stream to `outputPath` while `awaitEnding` waits for the run to end.
    Result Stream(const std::wstring& outputPath, bool paced, const std::function<Ending()>& awaitEnding);


    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaEventEx> m_events;
    ComPtr<IBaseFilter> m_filter;
    ComPtr<CWavWriterSink> m_sink;
};

} // namespace qzhost
