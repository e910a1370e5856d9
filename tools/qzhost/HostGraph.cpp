#include "HostGraph.h"

#include "GraphClient.h"
#include "MediaType.h"
#include "WavFileWriter.h"
#include "WavWriterSink.h"

#include <evcode.h>
#include <uuids.h>

#include <cstdio>
#include <cstring>

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

// Brings the graph's events to the thread that made the graph: the graph posts a
// message to a message-only window, which the session's message loop (the editor's
// frame) dispatches. What an event calls for, stopping the graph at the end of the
// stream above all, is then done by the graph's own apartment between two of the
// page's messages, never by another thread while the page is busy with the filter.
class HostGraph::EventWindow {
public:
    EventWindow(IMediaEventEx* events, const std::function<void()>& atEndOfStream)
        : m_atEndOfStream(atEndOfStream), m_notify(events)
    {
        m_window = CreateWindowExW(0, WindowClass(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        if (m_window == nullptr)
            throw HostError("cannot create a window for the graph's events: " +
                            HrText(HRESULT_FROM_WIN32(GetLastError())));
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        const HRESULT hr = m_notify->SetNotifyWindow(reinterpret_cast<OAHWND>(m_window), kGraphEvent, 0);
        if (FAILED(hr)) {
            DestroyWindow(m_window);
            throw HostError("the graph does not post its events to a window: " + HrText(hr));
        }
    }
    ~EventWindow()
    {
        m_notify->SetNotifyWindow(0, 0, 0);
        DestroyWindow(m_window);
    }
    EventWindow(const EventWindow&) = delete;
    EventWindow& operator=(const EventWindow&) = delete;

    // Reads what the session's loop left in the queue (the stream may have ended as
    // the session did) and answers how the run ended.
    Ending Finish()
    {
        m_notify->SetNotifyWindow(0, 0, 0);
        ReadQueuedEvents();
        return m_ending;
    }

private:
    static constexpr UINT kGraphEvent = WM_APP + 1;

    static const wchar_t* WindowClass()
    {
        static const wchar_t* const name = [] {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = Procedure;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"qzhost graph events";
            RegisterClassW(&windowClass);
            return windowClass.lpszClassName;
        }();
        return name;
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<EventWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == kGraphEvent && self != nullptr) {
            self->ReadQueuedEvents();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void ReadQueuedEvents()
    {
        LONG code = 0;
        LONG_PTR first = 0, second = 0;
        while (m_notify->GetEvent(&code, &first, &second, 0) == S_OK) {
            if (code == EC_COMPLETE && !m_ending.complete) {
                m_ending.complete = true;
                m_atEndOfStream();
            } else if ((code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED) && m_ending.failure.empty()) {
                m_ending.failure = "the stream stopped: " + HrText(static_cast<HRESULT>(first));
            }
            m_notify->FreeEventParams(code, first, second);
        }
    }

    const std::function<void()> m_atEndOfStream;
    IMediaEventEx* const m_notify;
    HWND m_window = nullptr;
    Ending m_ending;
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
    m_events = m_graph.As<IMediaEventEx>(IID_IMediaEventEx);
    if (!m_control || !m_events)
        throw HostError("the system's filter graph manager lacks IMediaControl or IMediaEventEx");
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
    return Stream(outputPath, true, [&] {
        // The session's message loop brings the graph's events. When the file has
        // ended the graph stops, as a host's transport stops at the end of a song: the
        // filter ends its stream, and its meters fall.
        EventWindow events(m_events.get(), [&] {
            m_control->Stop();
            atEndOfStream();
        });
        session();
        return events.Finish();
    });
}

} // namespace qzhost
