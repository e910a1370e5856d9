// qzhost's renderer: the end of the graph. It takes 16-bit PCM or float audio in a
// WAVEFORMATEX type, writes every sample's bytes to a WAV file, measures the peak,
// and, as a renderer, reports when the stream has ended.
#pragma once

#include "Pins.h"
#include "RendererFilter.h"

#include <cstdint>
#include <mutex>

namespace qzhost {

class WavFileWriter;

class CWavWriterSink : public CRendererFilter {
public:
    CWavWriterSink();
    ~CWavWriterSink() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;
    IPin* InputPin();

    // The connection's format; false while not connected.
    bool ConnectedFormat(WAVEFORMATEX& format);
    // Where the audio goes from the next run on (not owned); a new writer starts a
    // new outcome. Set it while stopped; samples arriving without one are refused.
    void SetWriter(WavFileWriter* writer);

    struct Outcome {
        uint64_t frames = 0;      // frames written
        double peak = 0.0;        // largest magnitude written, full scale 1.0
        bool ended = false;       // the end of the stream arrived
        HRESULT failure = S_OK;   // why the stream was refused, if it was
    };
    Outcome Result();

private:
    class Pin;
    // From the streaming thread.
    HRESULT Consume(IMediaSample* sample);
    void EndOfStreamReached();
    // Records the first failure and asks the graph to stop.
    HRESULT Fail(HRESULT hr);

    Pin* m_pin;
    std::mutex m_lock;  // guards everything below
    WavFileWriter* m_writer = nullptr;
    Outcome m_outcome;
};

} // namespace qzhost
