#include "WavWriterSink.h"

#include "WavFileWriter.h"

#include <evcode.h>
#include <mmreg.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cmath>
#include <cstring>

namespace qzhost {

namespace {

// {599224C0-61AD-4769-B622-34C9167B5ADD}
const CLSID kCLSID_WavWriterSink = {0x599224c0, 0x61ad, 0x4769, {0xb6, 0x22, 0x34, 0xc9, 0x16, 0x7b, 0x5a, 0xdd}};

// The formats the sink writes: what the filter streams.
bool IsWritable(const AM_MEDIA_TYPE& type)
{
    if (type.majortype != MEDIATYPE_Audio || type.formattype != FORMAT_WaveFormatEx || type.pbFormat == nullptr ||
        type.cbFormat < 16)
        return false;
    WAVEFORMATEX format{};
    std::memcpy(&format, type.pbFormat, 16);
    const bool pcm16 = format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample == 16;
    const bool isFloat =
        format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && (format.wBitsPerSample == 32 || format.wBitsPerSample == 64);
    return (pcm16 || isFloat) && format.nChannels >= 1 && format.nSamplesPerSec > 0;
}

// The first 16 bytes of a wave format block; the rest is not needed here.
WAVEFORMATEX FormatOf(const AM_MEDIA_TYPE& type)
{
    WAVEFORMATEX format{};
    std::memcpy(&format, type.pbFormat, 16);
    format.cbSize = 0;
    return format;
}

bool SameLayout(const WAVEFORMATEX& a, const WAVEFORMATEX& b)
{
    return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.wBitsPerSample == b.wBitsPerSample;
}

// The largest magnitude among `length` bytes of samples, full scale 1.0.
double PeakOf(const WAVEFORMATEX& format, const BYTE* data, LONG length)
{
    double peak = 0.0;
    if (format.wFormatTag == WAVE_FORMAT_PCM) {
        for (LONG i = 0; i + 1 < length; i += 2) {
            int16_t s;
            std::memcpy(&s, data + i, 2);
            peak = std::fmax(peak, std::fabs(s / 32768.0));
        }
    } else if (format.wBitsPerSample == 32) {
        for (LONG i = 0; i + 3 < length; i += 4) {
            float x;
            std::memcpy(&x, data + i, 4);
            peak = std::fmax(peak, std::fabs(static_cast<double>(x)));
        }
    } else {
        for (LONG i = 0; i + 7 < length; i += 8) {
            double x;
            std::memcpy(&x, data + i, 8);
            peak = std::fmax(peak, std::fabs(x));
        }
    }
    return peak;
}

} // namespace

class CWavWriterSink::Pin : public CBaseInputPin {
public:
    explicit Pin(CWavWriterSink* sink) : CBaseInputPin(sink, L"In"), m_sink(sink) {}

    HRESULT CheckMediaType(const CMediaType* type) override
    {
        return IsWritable(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    STDMETHODIMP Receive(IMediaSample* sample) override
    {
        const HRESULT hr = CBaseInputPin::Receive(sample);
        if (hr != S_OK)
            return hr;
        return m_sink->Consume(sample);
    }

    STDMETHODIMP BeginFlush() override
    {
        const HRESULT hr = CBaseInputPin::BeginFlush();
        m_sink->WakeStreamingThread();
        return hr;
    }

    STDMETHODIMP EndOfStream() override
    {
        const HRESULT hr = CBaseInputPin::EndOfStream();
        if (hr == S_OK)
            m_sink->EndOfStreamReached();
        return hr;
    }

private:
    CWavWriterSink* const m_sink;
};

CWavWriterSink::CWavWriterSink()
    : CRendererFilter(nullptr, kCLSID_WavWriterSink), m_pin(new Pin(this)),
      m_stateChanged(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (m_stateChanged == nullptr)
        throw HostError("cannot create an event: " + HrText(HRESULT_FROM_WIN32(GetLastError())));
}

CWavWriterSink::~CWavWriterSink()
{
    delete m_pin;
    CloseHandle(m_stateChanged);
}

STDMETHODIMP CWavWriterSink::Stop()
{
    const HRESULT hr = CRendererFilter::Stop();
    WakeStreamingThread();
    return hr;
}

STDMETHODIMP CWavWriterSink::Pause()
{
    const HRESULT hr = CRendererFilter::Pause();
    WakeStreamingThread();
    return hr;
}

STDMETHODIMP CWavWriterSink::Run(REFERENCE_TIME start)
{
    const HRESULT hr = CRendererFilter::Run(start);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_clock.reset();
        GetSyncSource(m_clock.put());
    }
    WakeStreamingThread();
    return hr;
}

CBasePin* CWavWriterSink::GetPin(int index) { return index == 0 ? m_pin : nullptr; }

IPin* CWavWriterSink::InputPin() { return m_pin; }

bool CWavWriterSink::ConnectedFormat(WAVEFORMATEX& format)
{
    CAutoLock lock(&m_csFilter);
    if (!m_pin->IsConnected())
        return false;
    format = FormatOf(m_pin->CurrentMediaType());
    return true;
}

void CWavWriterSink::SetWriter(WavFileWriter* writer)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_writer = writer;
    if (writer != nullptr)
        m_outcome = Outcome{};
}

CWavWriterSink::Outcome CWavWriterSink::Result()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_outcome;
}

HRESULT CWavWriterSink::Fail(HRESULT hr)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (SUCCEEDED(m_outcome.failure))
            m_outcome.failure = hr;
    }
    // The graph manager ends WaitForCompletion with this event.
    NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
}

HRESULT CWavWriterSink::Consume(IMediaSample* sample)
{
    // The pin has checked the connection and the state; the format must be the one
    // the file is being written in.
    const WAVEFORMATEX format = FormatOf(m_pin->CurrentMediaType());
    AM_MEDIA_TYPE* attached = nullptr;
    if (sample->GetMediaType(&attached) == S_OK && attached != nullptr) {
        const bool same = IsWritable(*attached) && SameLayout(FormatOf(*attached), format);
        DeleteMediaType(attached);
        if (!same)
            return Fail(VFW_E_INVALIDMEDIATYPE);
    }
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr))
        return Fail(hr);
    const LONG length = sample->GetActualDataLength();
    if (length <= 0)
        return S_OK;
    if (m_paced) {
        // The sample plays when the stream time reaches its first frame: the frames
        // written before it, which also places the tail the filter delivers at the
        // end of the stream.
        hr = WaitUntilDue(Result().frames, format.nSamplesPerSec);
        if (hr != S_OK)
            return hr;
    }

    std::unique_lock<std::mutex> hold(m_lock);
    if (m_writer == nullptr) {
        hold.unlock();
        return Fail(VFW_E_WRONG_STATE);
    }
    hr = m_writer->Write(data, static_cast<DWORD>(length));
    if (FAILED(hr)) {
        hold.unlock();
        return Fail(hr);
    }
    const WORD blockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
    m_outcome.frames = m_writer->DataBytes() / blockAlign;
    m_outcome.peak = std::fmax(m_outcome.peak, PeakOf(format, data, length));
    return S_OK;
}

HRESULT CWavWriterSink::WaitUntilDue(uint64_t frame, DWORD rate)
{
    const REFERENCE_TIME due = static_cast<REFERENCE_TIME>(frame * 10000000 / rate);
    for (;;) {
        // Reset before looking, so that a change made after the look ends the wait.
        ResetEvent(m_stateChanged);
        if (IsStopped() || m_pin->IsFlushing())
            return S_FALSE;
        DWORD waitMs = INFINITE;  // paused: until the graph runs or stops
        if (State() == State_Running) {
            ComPtr<IReferenceClock> clock;
            {
                std::lock_guard<std::mutex> hold(m_lock);
                clock = m_clock;
            }
            REFERENCE_TIME now = 0;
            // Without a clock there is nothing to keep time by: the sample goes at once.
            if (!clock || FAILED(clock->GetTime(&now)))
                return S_OK;
            const REFERENCE_TIME ahead = due - (now - StartTime());
            if (ahead <= 0)
                return S_OK;
            waitMs = static_cast<DWORD>(ahead / 10000 + 1);
        }
        WaitForSingleObject(m_stateChanged, waitMs);
    }
}

void CWavWriterSink::EndOfStreamReached()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_outcome.ended = true;
    }
    ReportEndOfStream();
}

} // namespace qzhost
