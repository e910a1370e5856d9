// The filter streaming in the system's own filter graph: Wine's file source and WAVE
// parser (16-bit PCM) or a push source of the test's own (float, read-only buffers),
// into a recording renderer. The output is compared with the engine's own result for
// the same audio, so every sample the graph delivers is checked.
#include "EngineTestSupport.h"
#include "FilterTestSupport.h"
#include "TestFilters.h"

#include <gtest/gtest.h>

#include "MediaParams.h"
#include "StandaloneEngine.h"
#include "qz_guids.h"

#include <dshow.h>
#include <evcode.h>
#include <qedit.h>
#include <uuids.h>

#include <cmath>
#include <cstring>
#include <mutex>

namespace {

using qz::ITqPlugInProp;

constexpr LONG kCompletionTimeoutMs = 20000;

// A test signal: a loud low tone and a quieter high one, every frame different.
template <typename Sample>
std::vector<Sample> Signal(size_t frames, int channels, double scale)
{
    std::vector<Sample> s(frames * channels);
    for (size_t n = 0; n < frames; ++n) {
        const double low = 0.8 * std::sin(2 * 3.141592653589793 * 110 * n / 44100.0);
        const double high = 0.3 * std::sin(2 * 3.141592653589793 * 3000 * n / 44100.0);
        for (int c = 0; c < channels; ++c)
            s[n * channels + c] = static_cast<Sample>((c == 0 ? low + high : low - high) * scale);
    }
    return s;
}

// Compressing settings: band 1 and 4 well above their thresholds, +6 dB out, limiter on.
void Compress(ITqPlugInProp* prop)
{
    prop->SetThreshold(-300, 0, FALSE);
    prop->SetRatio(60, 0, FALSE);
    prop->SetThreshold(-350, 3, FALSE);
    prop->SetRatio(40, 3, FALSE);
    prop->SetType(1, 3, FALSE);
    prop->SetOutputGain(60, FALSE);
}

qz::ParamBlock Settings(ITqPlugInProp* prop)
{
    qz::ParamBlock block;
    prop->GetParamBlock(&block);
    return block;
}

// What the engine makes of `input` in one block, then the flush.
template <typename Sample>
std::vector<Sample> Expected(const qz::ParamBlock& block, const WAVEFORMATEX& format, std::vector<Sample> input)
{
    qz::StandaloneEngine engine;
    engine.ApplyParamBlock(&block);
    engine.SetFormat(format);
    engine.BeginStreaming(format);
    qz::MediaBuffer buffer;
    buffer.data = reinterpret_cast<BYTE*>(input.data());
    buffer.capacity = buffer.length = static_cast<LONG>(input.size() * sizeof(Sample));
    buffer.discontinuity = buffer.hasStartTime = true;
    engine.TransformBuffer(buffer, false);
    std::vector<Sample> out(input.begin(), input.begin() + buffer.length / sizeof(Sample));
    std::vector<Sample> tail(input.size());
    qz::MediaBuffer flush;
    flush.data = reinterpret_cast<BYTE*>(tail.data());
    flush.capacity = static_cast<LONG>(tail.size() * sizeof(Sample));
    engine.TransformBuffer(flush, true);
    out.insert(out.end(), tail.begin(), tail.begin() + flush.length / sizeof(Sample));
    return out;
}

template <typename Sample>
std::vector<Sample> As(const std::vector<BYTE>& bytes)
{
    std::vector<Sample> samples(bytes.size() / sizeof(Sample));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(Sample));
    return samples;
}

class FilterInGraph : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(graph.ok());
        ASSERT_TRUE(server.ok());
        filter = server.Create<IBaseFilter>(IID_IBaseFilter);
        ASSERT_TRUE(filter);
        prop = As<ITqPlugInProp>(filter.get(), qz::kIID_ITqPlugInProp);
        sink = ComPtr<CRecordingSink>(new CRecordingSink());
        ASSERT_EQ(graph.Add(filter.get(), L"qz:Multiband"), S_OK);
        ASSERT_EQ(graph.Add(sink.get(), L"Sink"), S_OK);
    }
    void TearDown() override
    {
        if (graph.ok())
            graph.control()->Stop();
        if (!wavPath.empty())
            DeleteFileW(wavPath.c_str());
    }

    void Connect(IPin* upstream)
    {
        HRESULT hr = graph.builder()->ConnectDirect(upstream, FindPinByDirection(filter.get(), PINDIR_INPUT).get(), nullptr);
        ASSERT_EQ(hr, S_OK) << "into the filter: " << HrText(hr);
        hr = graph.builder()->ConnectDirect(FindPinByDirection(filter.get(), PINDIR_OUTPUT).get(), sink->GetPin(0), nullptr);
        ASSERT_EQ(hr, S_OK) << "out of the filter: " << HrText(hr);
    }

    // `audio`, 16-bit, in a WAV file behind Wine's file source and WAVE parser; `parser`
    // receives the parser's output pin.
    void AddWavSource(const wchar_t* name, const std::vector<int16_t>& audio, WORD channels, DWORD rate,
                      ComPtr<IPin>& parser)
    {
        wavPath = TempPath(name);
        WriteWavFile(wavPath, WAVE_FORMAT_PCM, channels, rate, 16, Bytes(audio.data(), audio.size() * 2));
        ASSERT_EQ(graph.AddWavSource(wavPath, parser), S_OK);
    }

    void RunToCompletion()
    {
        HRESULT hr = graph.control()->Run();
        ASSERT_TRUE(SUCCEEDED(hr)) << HrText(hr);
        LONG code = 0;
        hr = graph.events()->WaitForCompletion(kCompletionTimeoutMs, &code);
        ASSERT_EQ(hr, S_OK) << "completion: " << HrText(hr);
        ASSERT_EQ(code, EC_COMPLETE);
    }

    TestGraph graph;
    FilterServer server;
    ComPtr<IBaseFilter> filter;
    ComPtr<ITqPlugInProp> prop;
    ComPtr<CRecordingSink> sink;
    std::wstring wavPath;
};

TEST_F(FilterInGraph, SixteenBitWavThroughWinesParserComesOutWholeAndExact)
{
    Compress(prop.get());
    const std::vector<int16_t> audio = Signal<int16_t>(30000, 2, 32767);
    ComPtr<IPin> parser;
    ASSERT_NO_FATAL_FAILURE(AddWavSource(L"pcm16.wav", audio, 2, 44100, parser));
    Connect(parser.get());

    WAVEFORMATEX format{};
    ASSERT_EQ(prop->GetFormat(&format), S_OK);
    EXPECT_EQ(format.nBlockAlign, 4);
    EXPECT_EQ(format.nAvgBytesPerSec, 4u * 44100);
    EXPECT_EQ(prop->IsProcessing(), S_FALSE) << "before any audio";
    RunToCompletion();

    const std::vector<int16_t> produced = As<int16_t>(sink->Recorded().data);
    const std::vector<int16_t> expected = Expected(Settings(prop.get()), format, audio);
    ASSERT_EQ(produced.size(), audio.size()) << "the end-of-stream flush delivers the 64 withheld frames";
    EXPECT_EQ(produced, expected);
    EXPECT_EQ(sink->Recorded().endOfStreams, 1);
    EXPECT_EQ(prop->IsProcessing(), S_FALSE) << "after the flush";
    LONG over = 0;
    prop->GetOverIndicator(&over, 0);
    EXPECT_EQ(over, 3) << "+6 dB drove the limiter";
}

TEST_F(FilterInGraph, MonoSixteenBitWavThroughWinesParser)
{
    Compress(prop.get());
    const std::vector<int16_t> audio = Signal<int16_t>(12345, 1, 30000);
    ComPtr<IPin> parser;
    ASSERT_NO_FATAL_FAILURE(AddWavSource(L"mono16.wav", audio, 1, 22050, parser));
    Connect(parser.get());
    RunToCompletion();
    WAVEFORMATEX format{};
    prop->GetFormat(&format);
    EXPECT_EQ(format.nChannels, 1);
    EXPECT_EQ(As<int16_t>(sink->Recorded().data), Expected(Settings(prop.get()), format, audio));
}

TEST_F(FilterInGraph, FloatStreamsFromReadOnlyBuffersAreProcessedOnACopy)
{
    for (const auto& [bits, channels] : {std::pair<WORD, WORD>{32, 2}, {64, 2}, {32, 1}, {64, 1}}) {
        SCOPED_TRACE(testing::Message() << bits << "-bit float, " << channels << " channel(s)");
        TestGraph local;
        ComPtr<IBaseFilter> f = server.Create<IBaseFilter>(IID_IBaseFilter);
        ComPtr<ITqPlugInProp> p = As<ITqPlugInProp>(f.get(), qz::kIID_ITqPlugInProp);
        Compress(p.get());
        ComPtr<CRecordingSink> recorder(new CRecordingSink());
        std::vector<BYTE> bytes;
        if (bits == 32) {
            std::vector<float> a = Signal<float>(20000, channels, 1.0);
            bytes = Bytes(a.data(), a.size() * 4);
        } else {
            std::vector<double> a = Signal<double>(20000, channels, 1.0);
            bytes = Bytes(a.data(), a.size() * 8);
        }
        std::vector<std::vector<BYTE>> buffers;
        for (size_t at = 0; at < bytes.size(); at += 4096 * bits / 8)
            buffers.emplace_back(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + 4096 * bits / 8));
        ComPtr<CPushSource> source(new CPushSource(AudioType(WAVE_FORMAT_IEEE_FLOAT, channels, 44100, bits), buffers, true));
        ASSERT_EQ(local.Add(source.get(), L"Source"), S_OK);
        ASSERT_EQ(local.Add(f.get(), L"qz:Multiband"), S_OK);
        ASSERT_EQ(local.Add(recorder.get(), L"Sink"), S_OK);
        ASSERT_EQ(local.builder()->ConnectDirect(source->GetPin(0), FindPinByDirection(f.get(), PINDIR_INPUT).get(), nullptr),
                  S_OK);
        ASSERT_EQ(local.builder()->ConnectDirect(FindPinByDirection(f.get(), PINDIR_OUTPUT).get(), recorder->GetPin(0),
                                                 nullptr),
                  S_OK);
        ASSERT_TRUE(SUCCEEDED(local.control()->Run()));
        LONG code = 0;
        ASSERT_EQ(local.events()->WaitForCompletion(kCompletionTimeoutMs, &code), S_OK);
        local.control()->Stop();

        WAVEFORMATEX format{};
        p->GetFormat(&format);
        EXPECT_EQ(source->BuffersChangedDownstream(), 0) << "read-only buffers are never written";
        const std::vector<BYTE> produced = recorder->Recorded().data;
        ASSERT_EQ(produced.size(), bytes.size());
        if (bits == 32)
            EXPECT_EQ(As<float>(produced), Expected(Settings(p.get()), format, As<float>(bytes)));
        else
            EXPECT_EQ(As<double>(produced), Expected(Settings(p.get()), format, As<double>(bytes)));
    }
}

TEST_F(FilterInGraph, MediaTypesTheFilterRefuses)
{
    ComPtr<IPin> input = FindPinByDirection(filter.get(), PINDIR_INPUT);
    const CMediaType stereo16 = AudioType(WAVE_FORMAT_PCM, 2, 96000, 16);
    const CMediaType mono64 = AudioType(WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 64);
    EXPECT_EQ(input->QueryAccept(&stereo16), S_OK);
    EXPECT_EQ(input->QueryAccept(&mono64), S_OK);
    const struct {
        CMediaType type;
        const char* what;
    } refused[] = {
        {AudioType(WAVE_FORMAT_PCM, 2, 44100, 24), "24-bit PCM"},
        {AudioType(WAVE_FORMAT_PCM, 2, 44100, 8), "8-bit PCM"},
        {AudioType(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 16), "16-bit float"},
        {AudioType(WAVE_FORMAT_PCM, 3, 44100, 16), "three channels"},
        {AudioType(WAVE_FORMAT_PCM, 2, 0, 16), "a sample rate of 0"},
    };
    for (const auto& r : refused)
        EXPECT_NE(input->QueryAccept(&r.type), S_OK) << r.what;
    CMediaType compressed = AudioType(WAVE_FORMAT_PCM, 2, 44100, 16);
    compressed.bTemporalCompression = TRUE;
    EXPECT_NE(input->QueryAccept(&compressed), S_OK) << "temporally compressed";
    CMediaType shortBlock = AudioType(WAVE_FORMAT_PCM, 2, 44100, 16);
    shortBlock.cbFormat = 14;
    EXPECT_NE(input->QueryAccept(&shortBlock), S_OK) << "a 14-byte format block";
    CMediaType video = AudioType(WAVE_FORMAT_PCM, 2, 44100, 16);
    video.majortype = MEDIATYPE_Video;
    EXPECT_NE(input->QueryAccept(&video), S_OK) << "not audio";
}

TEST_F(FilterInGraph, WrongBlockAlignIsStoredCorrectedAndEditorsAreTold)
{
    qz::test::TestWindow editor;
    prop->SetNotifyWindow(editor.handle(), 32700);
    CMediaType type = AudioType(WAVE_FORMAT_PCM, 2, 48000, 16);
    reinterpret_cast<WAVEFORMATEX*>(type.pbFormat)->nBlockAlign = 6;
    std::vector<int16_t> audio = Signal<int16_t>(1000, 2, 10000);
    ComPtr<CPushSource> source(new CPushSource(type, {Bytes(audio.data(), audio.size() * 2)}, false));
    ASSERT_EQ(graph.Add(source.get(), L"Source"), S_OK);
    Connect(source->GetPin(0));
    WAVEFORMATEX format{};
    ASSERT_EQ(prop->GetFormat(&format), S_OK);
    EXPECT_EQ(format.nBlockAlign, 4);
    EXPECT_EQ(format.nAvgBytesPerSec, 4u * 48000);
    EXPECT_EQ(format.nSamplesPerSec, 48000u);
    std::vector<WPARAM> told = editor.takeCommands();
    EXPECT_NE(std::find(told.begin(), told.end(), MAKEWPARAM(32700, 0)), told.end()) << "input type set";
    EXPECT_NE(std::find(told.begin(), told.end(), MAKEWPARAM(32700, 1)), told.end()) << "output type set";
    prop->SetNotifyWindow(editor.handle(), 0);
}

TEST_F(FilterInGraph, ARestartNeverReplaysTheEarlierRun)
{
    // Two runs of the same graph, from a source that marks no discontinuity. Whatever
    // the lookahead held from the first run must not come out of the second.
    std::vector<int16_t> loud = Signal<int16_t>(4000, 2, 30000);
    ComPtr<CPushSource> source(new CPushSource(AudioType(WAVE_FORMAT_PCM, 2, 44100, 16),
                                               {Bytes(loud.data(), loud.size() * 2)}, false, false));
    ASSERT_EQ(graph.Add(source.get(), L"Source"), S_OK);
    Connect(source->GetPin(0));
    ASSERT_TRUE(SUCCEEDED(graph.control()->Pause()));
    // Stop before the end of stream: the lookahead still holds the last 64 frames.
    ASSERT_TRUE(source->WaitUntilDone(kCompletionTimeoutMs));
    graph.control()->Stop();
    const size_t firstRun = sink->Recorded().data.size();

    RunToCompletion();  // the source pushes the same buffer again
    const std::vector<int16_t> all = As<int16_t>(sink->Recorded().data);
    const std::vector<int16_t> second(all.begin() + firstRun / 2, all.end());
    const std::vector<int16_t> fresh = Expected(Settings(prop.get()), WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0},
                                                loud);
    ASSERT_GE(second.size(), 2u * 64);
    EXPECT_TRUE(std::equal(second.begin(), second.begin() + 128, fresh.begin()))
        << "the second run starts like a fresh stream";
}

TEST_F(FilterInGraph, AnEnvelopeChangesTheAudioAtTheBufferItReaches)
{
    // Output gain jumps to +12 dB at 0.25 s; buffers are 0.1 s long, and envelopes are
    // evaluated at each buffer's first frame, so the fourth buffer is the first louder one.
    prop->SetLimiter(0, FALSE);
    const CMediaType type = AudioType(WAVE_FORMAT_PCM, 2, 44100, 16);
    const std::vector<int16_t> audio = Signal<int16_t>(6 * 4410, 2, 4000);
    std::vector<std::vector<BYTE>> buffers;
    for (int b = 0; b < 6; ++b)
        buffers.push_back(Bytes(audio.data() + b * 4410 * 2, 4410 * 4));
    MP_ENVELOPE_SEGMENT jump{2500000, 100000000, 0.75f, 0.75f, MP_CURVE_JUMP, 0};
    const qz::ParamBlock settings = Settings(prop.get());
    ComPtr<IMediaParams> params = As<IMediaParams>(filter.get(), qz::kIID_IMediaParams);
    ASSERT_EQ(params->AddEnvelope(1, 1, &jump), S_OK);
    ComPtr<CPushSource> source(new CPushSource(type, buffers, false));
    ASSERT_EQ(graph.Add(source.get(), L"Source"), S_OK);
    Connect(source->GetPin(0));
    RunToCompletion();
    const std::vector<int16_t> produced = As<int16_t>(sink->Recorded().data);

    // The same engine code, called directly with the same buffers and envelope.
    qz::StandaloneEngine engine(&qz::CMediaParams::Create);
    engine.ApplyParamBlock(&settings);
    engine.Automation()->AddEnvelope(1, 1, &jump);
    const WAVEFORMATEX& format = WaveFormat(type);
    engine.SetFormat(format);
    engine.BeginStreaming(format);
    std::vector<int16_t> expected;
    for (int b = 0; b < 6; ++b) {
        std::vector<int16_t> chunk(audio.begin() + b * 4410 * 2, audio.begin() + (b + 1) * 4410 * 2);
        qz::MediaBuffer buffer;
        buffer.data = reinterpret_cast<BYTE*>(chunk.data());
        buffer.capacity = buffer.length = 4410 * 4;
        buffer.discontinuity = buffer.hasStartTime = b == 0;
        engine.TransformBuffer(buffer, false);
        expected.insert(expected.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(produced, expected);

    const std::vector<int16_t> plain = Expected(settings, format, audio);  // without the envelope
    ASSERT_EQ(produced.size(), plain.size());
    EXPECT_TRUE(std::equal(produced.begin(), produced.begin() + 3 * 4410 * 2, plain.begin()))
        << "the first three buffers are untouched";
    int louder = 0;
    for (size_t k = 3 * 4410 * 2; k < produced.size(); ++k)
        louder += std::abs(produced[k]) > std::abs(plain[k]) * 3;
    EXPECT_GT(louder, 4410) << "from the fourth buffer on the audio is 12 dB up";

    // Saving after playback stores the automated value, not the one set before.
    ComPtr<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    ASSERT_EQ(As<IPersistStream>(filter.get(), IID_IPersistStream)->Save(stream.get(), TRUE), S_OK);
    HGLOBAL memory = nullptr;
    GetHGlobalFromStream(stream.get(), &memory);
    int32_t outputGain = 0;
    std::memcpy(&outputGain, static_cast<const BYTE*>(GlobalLock(memory)) + 20 + 4 * qz::BlockIndex::OutputGain, 4);
    GlobalUnlock(memory);
    EXPECT_EQ(settings.OutputGain, 0);
    EXPECT_EQ(outputGain, 120) << "+12 dB from the envelope";
}

// Defined by the DirectShow identifier library; qedit.h declares only the interfaces.
extern "C" const CLSID CLSID_SampleGrabber;
extern "C" const CLSID CLSID_NullRenderer;

// Wine's Sample Grabber calls this with every buffer it passes on to the renderer.
class GrabbedBuffers : public ISampleGrabberCB {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (iid != IID_IUnknown && iid != IID_ISampleGrabberCB) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives on the test's stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double, IMediaSample* sample) override
    {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        REFERENCE_TIME start = -1, stop = -1;
        sample->GetTime(&start, &stop);
        std::lock_guard<std::mutex> lock(m_lock);
        m_buffers.push_back({std::vector<BYTE>(data, data + sample->GetActualDataLength()), start});
        return S_OK;
    }
    STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

    struct Buffer {
        std::vector<BYTE> data;
        REFERENCE_TIME start;
    };
    std::vector<Buffer> Since(size_t first)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return std::vector<Buffer>(m_buffers.begin() + std::min(first, m_buffers.size()), m_buffers.end());
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_buffers.size();
    }

private:
    std::mutex m_lock;
    std::vector<Buffer> m_buffers;
};

TEST_F(FilterInGraph, AGraphSeeksThroughTheFilterAndTheEnvelopesFollow)
{
    // Wine's file source, WAVE parser, the filter, Wine's Sample Grabber and Null
    // Renderer: the renderer asks upstream for seeking, through the filter.
    const std::vector<int16_t> audio = Signal<int16_t>(4 * 44100, 2, 20000);
    ComPtr<IPin> parser;
    ASSERT_NO_FATAL_FAILURE(AddWavSource(L"seek.wav", audio, 2, 44100, parser));
    ComPtr<IBaseFilter> grabber, renderer;
    ASSERT_EQ(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, grabber.put_void()),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, renderer.put_void()),
              S_OK);
    GrabbedBuffers grabbed;
    ASSERT_EQ(As<ISampleGrabber>(grabber.get(), IID_ISampleGrabber)->SetCallback(&grabbed, 0), S_OK);
    ASSERT_EQ(graph.Add(grabber.get(), L"Sample Grabber"), S_OK);
    ASSERT_EQ(graph.Add(renderer.get(), L"Null Renderer"), S_OK);
    IGraphBuilder* builder = graph.builder();
    ASSERT_EQ(builder->ConnectDirect(parser.get(), FindPinByDirection(filter.get(), PINDIR_INPUT).get(), nullptr), S_OK);
    ASSERT_EQ(builder->ConnectDirect(FindPinByDirection(filter.get(), PINDIR_OUTPUT).get(),
                                     FindPinByDirection(grabber.get(), PINDIR_INPUT).get(), nullptr),
              S_OK);
    ASSERT_EQ(builder->ConnectDirect(FindPinByDirection(grabber.get(), PINDIR_OUTPUT).get(),
                                     FindPinByDirection(renderer.get(), PINDIR_INPUT).get(), nullptr),
              S_OK);

    // Output gain +6 dB from 2.5 s on; the limiter off, so every buffer keeps its length.
    prop->SetLimiter(0, FALSE);
    MP_ENVELOPE_SEGMENT jump{25000000, 100000000, 0.625f, 0.625f, MP_CURVE_JUMP, 0};
    ASSERT_EQ(As<IMediaParams>(filter.get(), qz::kIID_IMediaParams)->AddEnvelope(1, 1, &jump), S_OK);
    const qz::ParamBlock settings = Settings(prop.get());

    // Paused, the renderer holds the first buffer; the seek flushes it away.
    ComPtr<IMediaSeeking> seeking = As<IMediaSeeking>(builder, IID_IMediaSeeking);
    ASSERT_TRUE(SUCCEEDED(graph.control()->Pause()));
    OAFilterState state;
    ASSERT_EQ(graph.control()->GetState(kCompletionTimeoutMs, &state), S_OK);
    const size_t beforeSeek = grabbed.Count();
    LONGLONG position = 10000000, none = 0;
    HRESULT hr = seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, &none, AM_SEEKING_NoPositioning);
    ASSERT_EQ(hr, S_OK) << "seeking through the filter: " << HrText(hr);
    LONGLONG current = -1, stop = -1;
    ASSERT_EQ(seeking->GetPositions(&current, &stop), S_OK);
    EXPECT_EQ(stop, 40000000) << "the file's four seconds";

    // Wine's Null Renderer never reports the end as complete: the audio from 1 s to
    // the end has come through once the grabber has seen as many bytes.
    const size_t expectedBytes = (audio.size() - 2 * 44100) * 2;
    ASSERT_TRUE(SUCCEEDED(graph.control()->Run()));
    auto bytesAfterSeek = [&] {
        size_t bytes = 0;
        for (const auto& b : grabbed.Since(beforeSeek))
            bytes += b.data.size();
        return bytes;
    };
    for (DWORD waited = 0; bytesAfterSeek() < expectedBytes && waited < kCompletionTimeoutMs; waited += 50)
        Sleep(50);
    graph.control()->Stop();

    // The engine's own result for the file from 1 s on, a fresh stream at 1 s, in the
    // buffers the grabber saw.
    const std::vector<GrabbedBuffers::Buffer> after = grabbed.Since(beforeSeek);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front().start, 0) << "the parser stamps from the segment's start";
    qz::StandaloneEngine engine(&qz::CMediaParams::Create);
    engine.ApplyParamBlock(&settings);
    engine.Automation()->AddEnvelope(1, 1, &jump);
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    engine.SetFormat(format);
    engine.BeginStreaming(format);
    std::vector<int16_t> produced, expected;
    size_t at = 44100 * 2;
    for (size_t b = 0; b < after.size(); ++b) {
        const std::vector<int16_t> out = As<int16_t>(after[b].data);
        produced.insert(produced.end(), out.begin(), out.end());
        std::vector<int16_t> chunk(audio.begin() + std::min(at, audio.size()),
                                   audio.begin() + std::min(at + out.size(), audio.size()));
        at += chunk.size();
        qz::MediaBuffer buffer;
        buffer.data = reinterpret_cast<BYTE*>(chunk.data());
        buffer.capacity = buffer.length = static_cast<LONG>(chunk.size() * 2);
        buffer.discontinuity = buffer.hasStartTime = b == 0;
        buffer.startTime = 10000000;
        engine.TransformBuffer(buffer, false);
        expected.insert(expected.end(), chunk.begin(), chunk.end());
    }
    ASSERT_EQ(produced.size(), audio.size() - 44100 * 2) << "from 1 s to the end";
    EXPECT_EQ(produced, expected) << "the audio after the seek, with the envelope at its media time";
}

TEST_F(FilterInGraph, APositionInSecondsGoesThroughTheFilterToTheParser)
{
    // What a renderer of the older kind asks of the pin feeding it: IMediaPosition.
    const std::vector<int16_t> audio = Signal<int16_t>(4 * 44100, 2, 20000);
    ComPtr<IPin> parser;
    ASSERT_NO_FATAL_FAILURE(AddWavSource(L"position.wav", audio, 2, 44100, parser));
    ComPtr<IMediaPosition> position =
        As<IMediaPosition>(FindPinByDirection(filter.get(), PINDIR_OUTPUT).get(), IID_IMediaPosition);
    ASSERT_TRUE(position);
    REFTIME duration = -1;
    EXPECT_EQ(position->get_Duration(&duration), VFW_E_NOT_CONNECTED) << "nothing feeds the filter yet";

    Connect(parser.get());
    ASSERT_EQ(position->get_Duration(&duration), S_OK);
    EXPECT_DOUBLE_EQ(duration, 4.0) << "the file's four seconds";
    HRESULT hr = position->put_CurrentPosition(1.5);
    ASSERT_EQ(hr, S_OK) << HrText(hr);
    REFTIME current = -1;
    ASSERT_EQ(position->get_CurrentPosition(&current), S_OK);
    EXPECT_DOUBLE_EQ(current, 1.5);
    LONGLONG atParser = -1;
    ASSERT_EQ(As<IMediaSeeking>(parser.get(), IID_IMediaSeeking)->GetCurrentPosition(&atParser), S_OK);
    EXPECT_EQ(atParser, 15000000) << "the parser itself is at 1.5 s";

    ASSERT_EQ(position->put_StopTime(3.25), S_OK);
    REFTIME stop = -1;
    ASSERT_EQ(position->get_StopTime(&stop), S_OK);
    EXPECT_DOUBLE_EQ(stop, 3.25);
    LONG can = OAFALSE;
    ASSERT_EQ(position->CanSeekBackward(&can), S_OK);
    EXPECT_EQ(can, OATRUE);
    EXPECT_EQ(position->put_CurrentPosition(std::nan("")), E_INVALIDARG);
    EXPECT_EQ(position->put_CurrentPosition(1e300), E_INVALIDARG) << "beyond what 100-ns units hold";
    ASSERT_EQ(position->get_CurrentPosition(&current), S_OK);
    EXPECT_DOUBLE_EQ(current, 1.5) << "a refused position moves nothing";
}

TEST(FilterLifetime, NothingIsLeftAliveAfterTheGraphIsReleased)
{
    FilterServer server;
    ASSERT_TRUE(server.ok());
    {
        TestGraph graph;
        ComPtr<IBaseFilter> filter = server.Create<IBaseFilter>(IID_IBaseFilter);
        ComPtr<CRecordingSink> sink(new CRecordingSink());
        const std::vector<int16_t> audio = Signal<int16_t>(5000, 2, 20000);
        ComPtr<CPushSource> source(new CPushSource(AudioType(WAVE_FORMAT_PCM, 2, 44100, 16),
                                                   {Bytes(audio.data(), audio.size() * 2)}, false));
        ASSERT_EQ(graph.Add(source.get(), L"Source"), S_OK);
        ASSERT_EQ(graph.Add(filter.get(), L"qz:Multiband"), S_OK);
        ASSERT_EQ(graph.Add(sink.get(), L"Sink"), S_OK);
        ASSERT_EQ(graph.builder()->ConnectDirect(source->GetPin(0), FindPinByDirection(filter.get(), PINDIR_INPUT).get(),
                                                 nullptr),
                  S_OK);
        ASSERT_EQ(graph.builder()->ConnectDirect(FindPinByDirection(filter.get(), PINDIR_OUTPUT).get(), sink->GetPin(0),
                                                 nullptr),
                  S_OK);
        ASSERT_TRUE(SUCCEEDED(graph.control()->Run()));
        LONG code = 0;
        ASSERT_EQ(graph.events()->WaitForCompletion(kCompletionTimeoutMs, &code), S_OK);
        graph.control()->Stop();
        EXPECT_EQ(server.CanUnloadNow(), S_FALSE) << "the filter is in the graph";
    }
    server.ReleaseFactory();
    EXPECT_EQ(server.CanUnloadNow(), S_OK) << "every object of the DLL is gone with the graph";
}

} // namespace
