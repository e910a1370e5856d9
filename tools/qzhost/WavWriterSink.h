// qzhost's renderer: the end of the graph. It takes 16-bit PCM or float audio in a
// WAVEFORMATEX type, writes every sample's bytes to a WAV file, measures the peak,
// and, as a renderer, reports when the stream has ended. Paced, it renders in real
// time by the graph's reference clock, as a sound card would take the audio.
#pragma once

#include "ComPtr.h"
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
    // Whether each sample waits until the graph's clock reaches its place in the
    // stream before it is written. Set it while stopped.
    void SetPaced(bool paced) { m_paced = paced; }

    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;

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
    // Waits until the stream time reaches `frame` frames at `rate`: S_OK, or S_FALSE
    // when the graph stops or flushes first.
    HRESULT WaitUntilDue(uint64_t frame, DWORD rate);
    // Wakes a waiting streaming thread to look at the state again.
    void WakeStreamingThread() { SetEvent(m_stateChanged); }
    // Records the first failure and asks the graph to stop.
    HRESULT Fail(HRESULT hr);

    Pin* m_pin;
    bool m_paced = false;
    HANDLE m_stateChanged;  // manual reset: set by every state change and flush
    std::mutex m_lock;  // guards everything below
    WavFileWriter* m_writer = nullptr;
    Outcome m_outcome;
    ComPtr<IReferenceClock> m_clock;  // the graph's, taken at Run
};

} // namespace qzhost
