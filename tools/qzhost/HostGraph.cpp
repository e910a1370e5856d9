#include "HostGraph.h"

#include "GraphClient.h"
#include "MediaType.h"
#include "WavFileWriter.h"
#include "WavWriterSink.h"

#include <evcode.h>
#include <uuids.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace qzhost {

namespace {

// WAVE_FORMAT_EXTENSIBLE with the IEEE float subformat (whose identifier is the
// float media subtype's).
bool IsExtensibleFloat(const AM_MEDIA_TYPE& type)
{
    if (type.formattype != FORMAT_WaveFormatEx || type.pbFormat == nullptr ||
        type.cbFormat < sizeof(WAVEFORMATEXTENSIBLE))
        return false;
    const auto* format = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(type.pbFormat);
    return format->Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
           IsEqualGUID(format->SubFormat, MEDIASUBTYPE_IEEE_FLOAT);
}

// Why the filter refused what the parser offers, in one line.
std::string RefusedInput(IPin* parserOutput, const std::wstring& inputPath, HRESULT hr)
{
    ComPtr<IEnumMediaTypes> types;
    AM_MEDIA_TYPE* offered = nullptr;
    if (SUCCEEDED(parserOutput->EnumMediaTypes(types.put())) && types->Next(1, &offered, nullptr) == S_OK) {
        std::string described;
        if (IsExtensibleFloat(*offered)) {
            DeleteMediaType(offered);
            return Quoted(inputPath) +
                   " is a float WAV file, which the system's WAVE Parser offers as WAVE_FORMAT_EXTENSIBLE, a form "
                   "the filter does not accept; use 16-bit PCM";
        }
        if (offered->formattype == FORMAT_WaveFormatEx && offered->pbFormat != nullptr && offered->cbFormat >= 16) {
            WAVEFORMATEX format{};
            std::memcpy(&format, offered->pbFormat, 16);
            described = " (" + DescribeFormat(format) + ")";
        }
        DeleteMediaType(offered);
        return "the filter does not accept the audio of " + Quoted(inputPath) + described +
               ": it takes 16-bit PCM or float with one or two channels; " + HrText(hr);
    }
    return "the filter does not accept the audio of " + Quoted(inputPath) + ": " + HrText(hr);
}

// The details of the event that ended a run, if the queue still holds it.
std::string EventDetails(IMediaEvent* events)
{
    LONG code = 0;
    LONG_PTR first = 0, second = 0;
    std::string details;
    while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
        if ((code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED) && details.empty())
            details = ": " + HrText(static_cast<HRESULT>(first));
        events->FreeEventParams(code, first, second);
    }
    return details;
}

} // namespace

// Reads the graph's events on a thread of its own until told to finish: notes the
// first failure, and calls `atEndOfStream` when the stream has completed.
class HostGraph::EventWatcher {
public:
    EventWatcher(IMediaEvent* events, HANDLE queued, const std::function<void()>& atEndOfStream)
        : m_events(events), m_queued(queued), m_atEndOfStream(atEndOfStream),
          m_finish(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        if (m_finish == nullptr)
            throw HostError("cannot create an event: " + HrText(HRESULT_FROM_WIN32(GetLastError())));
        m_thread = std::thread([this] { Watch(); });
    }
    ~EventWatcher()
    {
        if (m_thread.joinable()) {
            SetEvent(m_finish);
            m_thread.join();
        }
        CloseHandle(m_finish);
    }
    EventWatcher(const EventWatcher&) = delete;
    EventWatcher& operator=(const EventWatcher&) = delete;

    Ending Finish()
    {
        SetEvent(m_finish);
        m_thread.join();
        return m_ending;
    }

private:
    void Watch()
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const HANDLE handles[] = {m_finish, m_queued};
        // Once more after the finish: an event may have come with it.
        for (;;) {
            const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            ReadQueuedEvents();
            if (woken != WAIT_OBJECT_0 + 1)
                break;
        }
        CoUninitialize();
    }

    void ReadQueuedEvents()
    {
        LONG code = 0;
        LONG_PTR first = 0, second = 0;
        while (m_events->GetEvent(&code, &first, &second, 0) == S_OK) {
            if (code == EC_COMPLETE && !m_ending.complete) {
                m_ending.complete = true;
                m_atEndOfStream();
            } else if ((code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED) && m_ending.failure.empty()) {
                m_ending.failure = "the stream stopped: " + HrText(static_cast<HRESULT>(first));
            }
            m_events->FreeEventParams(code, first, second);
        }
    }

    IMediaEvent* const m_events;
    const HANDLE m_queued;
    const std::function<void()> m_atEndOfStream;
    const HANDLE m_finish;
    Ending m_ending;
    std::thread m_thread;
};

std::string DescribeFormat(const WAVEFORMATEX& format)
{
    std::string kind;
    if (format.wFormatTag == WAVE_FORMAT_PCM)
        kind = std::to_string(format.wBitsPerSample) + "-bit PCM";
    else if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT)
        kind = std::to_string(format.wBitsPerSample) + "-bit float";
    else {
        char tag[48];
        std::snprintf(tag, sizeof tag, "format tag 0x%04x, %u bits", format.wFormatTag, format.wBitsPerSample);
        kind = tag;
    }
    return kind + ", " + std::to_string(format.nChannels) + (format.nChannels == 1 ? " channel, " : " channels, ") +
           std::to_string(format.nSamplesPerSec) + " Hz";
}

HostGraph::HostGraph(IBaseFilter* filter) : m_filter(filter), m_sink(new CWavWriterSink())
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  m_graph.put_void());
    if (FAILED(hr))
        throw HostError("the system's filter graph manager is not available: " + HrText(hr));
    m_control = m_graph.As<IMediaControl>(IID_IMediaControl);
    m_events = m_graph.As<IMediaEvent>(IID_IMediaEvent);
    if (!m_control || !m_events)
        throw HostError("the system's filter graph manager lacks IMediaControl or IMediaEvent");
    hr = m_graph->AddFilter(m_filter.get(), L"qz:Multiband");
    if (FAILED(hr))
        throw HostError("the graph did not take the filter: " + HrText(hr));
    hr = m_graph->AddFilter(m_sink.get(), L"qzhost WAV writer");
    if (FAILED(hr))
        throw HostError("the graph did not take qzhost's WAV writer: " + HrText(hr));
}

HostGraph::~HostGraph()
{
    if (m_control)
        m_control->Stop();
}

WAVEFORMATEX HostGraph::Connect(const std::wstring& inputPath)
{
    ComPtr<IBaseFilter> source;
    HRESULT hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  source.put_void());
    if (FAILED(hr))
        throw HostError("the system's File Source (Async) is not available: " + HrText(hr));
    ComPtr<IFileSourceFilter> file = source.As<IFileSourceFilter>(IID_IFileSourceFilter);
    if (!file)
        throw HostError("the system's File Source (Async) lacks IFileSourceFilter");
    hr = m_graph->AddFilter(source.get(), L"File Source");
    if (FAILED(hr))
        throw HostError("the graph did not take the File Source: " + HrText(hr));
    hr = file->Load(FullPath(inputPath).c_str(), nullptr);
    if (FAILED(hr))
        throw HostError("the File Source cannot open " + Quoted(inputPath) + ": " + HrText(hr));

    ComPtr<IBaseFilter> parser;
    hr = CoCreateInstance(kCLSID_WAVEParser, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, parser.put_void());
    if (FAILED(hr))
        throw HostError("the system's WAVE Parser is not available: " + HrText(hr));
    hr = m_graph->AddFilter(parser.get(), L"WAVE Parser");
    if (FAILED(hr))
        throw HostError("the graph did not take the WAVE Parser: " + HrText(hr));

    ComPtr<IPin> sourceOutput = FindPinByDirection(source.get(), PINDIR_OUTPUT);
    ComPtr<IPin> parserInput = FindPinByDirection(parser.get(), PINDIR_INPUT);
    if (!sourceOutput || !parserInput)
        throw HostError("the File Source or the WAVE Parser has no pin to connect");
    hr = m_graph->ConnectDirect(sourceOutput.get(), parserInput.get(), nullptr);
    if (FAILED(hr))
        throw HostError(Quoted(inputPath) + " is not a WAV file the system's WAVE Parser can read: " + HrText(hr));

    ComPtr<IPin> parserOutput = FindPinByDirection(parser.get(), PINDIR_OUTPUT);
    ComPtr<IPin> filterInput = FindPinByDirection(m_filter.get(), PINDIR_INPUT);
    ComPtr<IPin> filterOutput = FindPinByDirection(m_filter.get(), PINDIR_OUTPUT);
    if (!parserOutput)
        throw HostError("the WAVE Parser found no audio stream in " + Quoted(inputPath));
    if (!filterInput || !filterOutput)
        throw HostError("the filter lacks its input or output pin");
    hr = m_graph->ConnectDirect(parserOutput.get(), filterInput.get(), nullptr);
    if (FAILED(hr))
        throw HostError(RefusedInput(parserOutput.get(), inputPath, hr));
    hr = m_graph->ConnectDirect(filterOutput.get(), m_sink->InputPin(), nullptr);
    if (FAILED(hr))
        throw HostError("the filter's output does not connect to qzhost's WAV writer: " + HrText(hr));

    WAVEFORMATEX format{};
    if (!m_sink->ConnectedFormat(format))
        throw HostError("qzhost's WAV writer is not connected");
    return format;
}

HostGraph::Result HostGraph::Stream(const std::wstring& outputPath, bool paced,
                                     const std::function<Ending()>& awaitEnding)
{
    WAVEFORMATEX format{};
    if (!m_sink->ConnectedFormat(format))
        throw HostError("the graph is not connected");
    WavFileWriter writer(outputPath, format);
    m_sink->SetWriter(&writer);
    m_sink->SetPaced(paced);
    struct Detach {
        CWavWriterSink* sink;
        IMediaControl* control;
        // Stopped before the writer goes, whatever happened.
        ~Detach()
        {
            control->Stop();
            sink->SetWriter(nullptr);
        }
    } detach{m_sink.get(), m_control.get()};

    HRESULT hr = m_control->Run();
    if (FAILED(hr))
        throw HostError("the graph did not start: " + HrText(hr));
    const Ending ending = awaitEnding();
    m_control->Stop();
    const CWavWriterSink::Outcome outcome = m_sink->Result();

    if (FAILED(outcome.failure))
        throw HostError("writing " + Quoted(writer.PartialPath()) + " failed: " + HrText(outcome.failure));
    if (!ending.failure.empty())
        throw HostError(ending.failure);
    if (ending.complete && !outcome.ended)
        throw HostError("the graph completed, but the end of the stream never reached qzhost's WAV writer");

    writer.Commit();
    return Result{outcome.frames, outcome.peak, outcome.ended};
}

HostGraph::Result HostGraph::Run(const std::wstring& outputPath, DWORD timeoutMs)
{
    return Stream(outputPath, false, [&] {
        LONG code = 0;
        const HRESULT hr = m_events->WaitForCompletion(static_cast<LONG>(timeoutMs), &code);
        const std::string details = EventDetails(m_events.get());
        Ending ending;
        ending.complete = hr == S_OK && code == EC_COMPLETE;
        if (hr == E_ABORT)
            ending.failure = "the graph did not complete within " + std::to_string(timeoutMs / 1000) + " s";
        else if (FAILED(hr))
            ending.failure = "waiting for the graph to complete failed: " + HrText(hr);
        else if (code != EC_COMPLETE) {
            char text[16];
            std::snprintf(text, sizeof text, "0x%02lx", static_cast<unsigned long>(code));
            ending.failure = std::string("the graph stopped with event ") + text + " instead of completing" + details;
        }
        return ending;
    });
}

HostGraph::Result HostGraph::RunInRealTime(const std::wstring& outputPath, const std::function<void()>& session,
                                           const std::function<void()>& atEndOfStream)
{
    OAEVENT queued = 0;
    HRESULT hr = m_events->GetEventHandle(&queued);
    if (FAILED(hr))
        throw HostError("the graph gives no event handle: " + HrText(hr));
    return Stream(outputPath, true, [&] {
        // A second thread reads the graph's events while the session holds this one.
        // When the file has ended it stops the graph, as a host's transport stops at
        // the end of a song: the filter ends its stream, and its meters fall.
        EventWatcher watcher(m_events.get(), reinterpret_cast<HANDLE>(queued), [&] {
            m_control->Stop();
            atEndOfStream();
        });
        session();
        return watcher.Finish();
    });
}

} // namespace qzhost
