// The filter as a host drives it: a source pin of the test's own, fed by hand through
// Wine's memory allocator, the real filter from the DLL and a recording sink, in the
// system's filter graph. Buffers, flushes, segments and ends of stream go in when a
// test says so; automation, persistence and editor calls come from other threads.
#include "EngineTestSupport.h"
#include "FilterTestSupport.h"
#include "HostSource.h"
#include "TestFilters.h"

#include <gtest/gtest.h>

#include "ParamTable.h"
#include "qz_guids.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using qz::ITqPlugInProp;

constexpr DWORD kRate = 44100;
constexpr int kLookahead = 64;
constexpr DWORD kOutputGain = 1;  // parameter index: 0 .. 1 is -24 .. +24 dB

// Interleaved stereo (or mono) float frames of two tones.
std::vector<float> Tones(size_t frames, int channels, double amplitude, double phase = 0.0)
{
    std::vector<float> s(frames * channels);
    for (size_t n = 0; n < frames; ++n) {
        const double t = phase + static_cast<double>(n) / kRate;
        for (int c = 0; c < channels; ++c)
            s[n * channels + c] = static_cast<float>(amplitude * std::sin(2 * 3.141592653589793 * (220 + 110 * c) * t));
    }
    return s;
}

std::vector<float> Floats(const std::vector<BYTE>& bytes, size_t fromByte = 0)
{
    std::vector<float> samples((bytes.size() - fromByte) / sizeof(float));
    std::memcpy(samples.data(), bytes.data() + fromByte, samples.size() * sizeof(float));
    return samples;
}

// Source -> qz:Multiband -> recording sink, in the system's graph.
class Rig {
public:
    explicit Rig(FilterServer& server, const CMediaType& type = AudioType(WAVE_FORMAT_IEEE_FLOAT, 2, kRate, 32),
                 const ALLOCATOR_PROPERTIES& buffers = {2, 1 << 16, 1, 0})
        : type(type)
    {
        filter = server.Create<IBaseFilter>(IID_IBaseFilter);
        prop = As<ITqPlugInProp>(filter.get(), qz::kIID_ITqPlugInProp);
        params = As<IMediaParams>(filter.get(), qz::kIID_IMediaParams);
        source = ComPtr<CHostSource>(new CHostSource(type, buffers));
        sink = ComPtr<CRecordingSink>(new CRecordingSink());
        graph.Add(source.get(), L"Host");
        graph.Add(filter.get(), L"qz:Multiband");
        graph.Add(sink.get(), L"Sink");
    }

    // Source into the filter, filter into the sink; the first failure.
    HRESULT Connect()
    {
        HRESULT hr = graph.builder()->ConnectDirect(source->GetPin(0), Input().get(), nullptr);
        if (hr == S_OK)
            hr = graph.builder()->ConnectDirect(FindPinByDirection(filter.get(), PINDIR_OUTPUT).get(), sink->GetPin(0),
                                                nullptr);
        return hr;
    }
    // Connected and running, ready for buffers.
    ::testing::AssertionResult Start()
    {
        HRESULT hr = Connect();
        if (hr == S_OK)
            hr = graph.control()->Run();
        if (FAILED(hr))
            return ::testing::AssertionFailure() << HrText(hr);
        return ::testing::AssertionSuccess();
    }

    HRESULT Push(const std::vector<float>& audio, bool discontinuity = false, const REFERENCE_TIME* start = nullptr,
                 const AM_MEDIA_TYPE* attached = nullptr)
    {
        return source->Push({audio.data(), audio.size() * sizeof(float), discontinuity, start, attached});
    }
    // `audio` in buffers of `frames`, the first a discontinuity at time 0.
    void PushInBuffers(const std::vector<float>& audio, size_t frames, int channels = 2)
    {
        const REFERENCE_TIME zero = 0;
        for (size_t at = 0; at < audio.size(); at += frames * channels) {
            const size_t end = std::min(audio.size(), at + frames * channels);
            EXPECT_EQ(Push({audio.begin() + at, audio.begin() + end}, at == 0, at == 0 ? &zero : nullptr), S_OK);
        }
    }

    std::vector<float> Out(size_t fromByte = 0) { return Floats(sink->Recorded().data, fromByte); }
    size_t BytesOut() { return sink->Recorded().data.size(); }
    ComPtr<IPin> Input() { return FindPinByDirection(filter.get(), PINDIR_INPUT); }

    const CMediaType type;
    TestGraph graph;
    ComPtr<IBaseFilter> filter;
    ComPtr<ITqPlugInProp> prop;
    ComPtr<IMediaParams> params;
    ComPtr<CHostSource> source;
    ComPtr<CRecordingSink> sink;
};

class HostDrivesTheFilter : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.ok()); }
    FilterServer server;
};

// --- Buffers too small for a frame ---------------------------------------------------

TEST_F(HostDrivesTheFilter, AnAllocatorWhoseBuffersCannotHoldAFrameIsRefused)
{
    // 16-bit stereo: 4 bytes a frame, the allocator's buffers 2 bytes.
    Rig rig(server, AudioType(WAVE_FORMAT_PCM, 2, kRate, 16), {1, 2, 1, 0});
    const HRESULT hr = rig.Connect();
    EXPECT_TRUE(FAILED(hr)) << HrText(hr);
    ComPtr<IPin> upstream;
    EXPECT_EQ(rig.Input()->ConnectedTo(upstream.put()), VFW_E_NOT_CONNECTED);

    Rig whole(server, AudioType(WAVE_FORMAT_PCM, 2, kRate, 16), {1, 4, 1, 0});
    EXPECT_EQ(whole.Connect(), S_OK) << "one frame is enough";
}

TEST_F(HostDrivesTheFilter, EndOfStreamEndsWhenTheBuffersShrinkBelowAFrameWithinAStream)
{
    Rig rig(server, AudioType(WAVE_FORMAT_PCM, 2, kRate, 16), {2, 4000, 1, 0});
    ASSERT_TRUE(rig.Start());
    std::vector<int16_t> audio(2 * 1000, 3000);
    const REFERENCE_TIME zero = 0;
    ASSERT_EQ(rig.source->Push({audio.data(), audio.size() * 2, true, &zero}), S_OK);

    // The host's allocator comes back with buffers of half a frame; the lookahead
    // still holds 64 frames.
    IMemAllocator* allocator = rig.source->Allocator();
    ASSERT_EQ(allocator->Decommit(), S_OK);
    ALLOCATOR_PROPERTIES tiny{2, 2, 1, 0}, actual{};
    ASSERT_EQ(allocator->SetProperties(&tiny, &actual), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);

    std::atomic<HRESULT> ended{E_PENDING};
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread streaming([&] {
        ended = rig.source->EndOfStream();
        SetEvent(done);
    });
    const bool returned = WaitForSingleObject(done, 30000) == WAIT_OBJECT_0;
    if (!returned)
        rig.graph.control()->Stop();  // the decommit ends an endless flush
    streaming.join();
    CloseHandle(done);
    ASSERT_TRUE(returned) << "EndOfStream never returned";
    EXPECT_EQ(ended.load(), VFW_E_BUFFER_OVERFLOW) << "the tail could not be delivered";
    EXPECT_EQ(rig.sink->Recorded().endOfStreams, 1) << "the end of stream still reaches downstream";
}

TEST_F(HostDrivesTheFilter, AnEndOfStreamWithoutOutputBuffersStillEndsTheStream)
{
    Rig rig(server);
    ASSERT_TRUE(rig.Start());
    const REFERENCE_TIME zero = 0;
    ASSERT_EQ(rig.Push(Tones(1000, 2, 0.5), true, &zero), S_OK);

    // The output's allocator gives no buffers for the tail the lookahead holds.
    IMemAllocator* output = rig.sink->NotifiedAllocator();
    ASSERT_NE(output, nullptr);
    ASSERT_EQ(output->Decommit(), S_OK);
    EXPECT_TRUE(FAILED(rig.source->EndOfStream())) << "the tail was not delivered";
    EXPECT_EQ(rig.sink->Recorded().endOfStreams, 1) << "the end of stream still reaches downstream";
    ASSERT_EQ(output->Commit(), S_OK);
}

// --- Stopping while the end of stream goes downstream ----------------------------------

// A renderer asks upstream for the stop position when the end of stream reaches it
// (Wine's do); through the filter that question comes on the streaming thread, inside
// the filter's end of stream, while the graph may be stopping the filter. The stop
// waits for the streaming thread; the question must not wait for the stop.
TEST_F(HostDrivesTheFilter, AStopWhileARendererAsksForTheStopPositionAtTheEndOfStreamReturns)
{
    Rig rig(server);
    ASSERT_TRUE(rig.Start());
    const REFERENCE_TIME zero = 0;
    ASSERT_EQ(rig.Push(Tones(1000, 2, 0.5), true, &zero), S_OK);

    ComPtr<IMediaSeeking> seeking =
        As<IMediaSeeking>(FindPinByDirection(rig.filter.get(), PINDIR_OUTPUT).get(), IID_IMediaSeeking);
    ASSERT_TRUE(seeking);
    const HANDLE atEnd = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE stopping = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<HRESULT> asked{E_PENDING};
    rig.sink->OnEndOfStream([&] {
        SetEvent(atEnd);
        WaitForSingleObject(stopping, 20000);
        Sleep(200);  // lets the stop take the filter's lock first
        LONGLONG stop = 0;
        asked = seeking->GetStopPosition(&stop);
    });
    std::thread streaming([&] { rig.source->EndOfStream(); });
    ASSERT_EQ(WaitForSingleObject(atEnd, 20000), WAIT_OBJECT_0);

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        SetEvent(stopping);
        rig.filter->Stop();  // as the graph's Stop does
        stopped = true;
    });
    for (int waited = 0; !stopped && waited < 30000; waited += 50)
        Sleep(50);
    if (!stopped) {
        // The two threads wait for each other for ever: nothing can end this process.
        std::fprintf(stderr, "the filter's Stop and the end of stream wait for each other\n");
        std::fflush(stderr);
        ExitProcess(3);
    }
    stopper.join();
    streaming.join();
    EXPECT_EQ(asked, E_NOTIMPL) << "answered, by the host's source that cannot seek";
    EXPECT_EQ(rig.sink->Recorded().endOfStreams, 1);
    CloseHandle(atEnd);
    CloseHandle(stopping);
}

// --- Caller memory ---------------------------------------------------------------------

// Two adjacent pages: the first readable and writable, the second with `protection`.
class TwoPages {
public:
    explicit TwoPages(DWORD protection)
    {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        m_size = system.dwPageSize;
        m_base = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * m_size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        std::memset(m_base, 0xCD, 2 * m_size);
        DWORD previous;
        VirtualProtect(m_base + m_size, m_size, protection, &previous);
    }
    ~TwoPages() { VirtualFree(m_base, 0, MEM_RELEASE); }
    bool ok() const { return m_base != nullptr; }
    BYTE* boundary() const { return m_base + m_size; }  // the second page's first byte
    BYTE* first() const { return m_base; }
    // Whether the first page still holds nothing but the fill.
    bool firstUntouched() const
    {
        for (DWORD k = 0; k < m_size; ++k)
            if (m_base[k] != 0xCD)
                return false;
        return true;
    }
    DWORD protectionOfSecond() const
    {
        MEMORY_BASIC_INFORMATION region{};
        VirtualQuery(boundary(), &region, sizeof region);
        return region.Protect;
    }

private:
    BYTE* m_base = nullptr;
    DWORD m_size = 0;
};

TEST_F(HostDrivesTheFilter, GetParamInfoChecksTheWholeRecordBeforeWritingIt)
{
    ComPtr<IBaseFilter> filter = server.Create<IBaseFilter>(IID_IBaseFilter);
    ComPtr<IMediaParamInfo> info = As<IMediaParamInfo>(filter.get(), qz::kIID_IMediaParamInfo);
    ASSERT_TRUE(info);
    MP_PARAMINFO expected{};
    ASSERT_EQ(info->GetParamInfo(3, &expected), S_OK);
    const size_t size = sizeof(MP_PARAMINFO);

    const struct {
        DWORD second;
        int offset;  // of the record from the boundary
        HRESULT result;
        const char* what;
    } cases[] = {
        {PAGE_NOACCESS, -static_cast<int>(size), S_OK, "ending just before an inaccessible page"},
        {PAGE_NOACCESS, -static_cast<int>(size) + 1, E_POINTER, "its last byte in an inaccessible page"},
        {PAGE_READONLY, -static_cast<int>(size) + 100, E_POINTER, "its end in a read-only page"},
        {PAGE_READONLY, 0, E_POINTER, "all of it in a read-only page"},
        {PAGE_READWRITE | PAGE_GUARD, -8, E_POINTER, "reaching into a guard page"},
    };
    for (const auto& c : cases) {
        TwoPages pages(c.second);
        ASSERT_TRUE(pages.ok());
        auto* record = reinterpret_cast<MP_PARAMINFO*>(pages.boundary() + c.offset);
        EXPECT_EQ(info->GetParamInfo(3, record), c.result) << c.what;
        if (c.result == S_OK) {
            EXPECT_EQ(std::memcmp(record, &expected, size), 0) << c.what;
        } else {
            EXPECT_TRUE(pages.firstUntouched()) << c.what << ": nothing written";
        }
        if (c.second & PAGE_GUARD) {
            EXPECT_NE(pages.protectionOfSecond() & PAGE_GUARD, 0u) << "the guard page is never touched";
        }
    }
}

TEST_F(HostDrivesTheFilter, AddEnvelopeChecksTheWholeArrayBeforeReadingIt)
{
    ComPtr<IBaseFilter> filter = server.Create<IBaseFilter>(IID_IBaseFilter);
    ComPtr<IMediaParams> params = As<IMediaParams>(filter.get(), qz::kIID_IMediaParams);
    ASSERT_TRUE(params);
    const MP_ENVELOPE_SEGMENT segment{0, 10000000, 0.2f, 0.8f, MP_CURVE_LINEAR, 0};
    const int size = sizeof(MP_ENVELOPE_SEGMENT);

    const struct {
        DWORD second;
        DWORD index;
        DWORD count;
        HRESULT result;
        const char* what;
    } cases[] = {
        {PAGE_NOACCESS, 4, 1, S_OK, "one segment, just before an inaccessible page"},
        {PAGE_NOACCESS, 4, 2, E_POINTER, "a second segment in an inaccessible page"},
        {PAGE_NOACCESS, 0xFFFFFFFFu, 2, E_POINTER, "every parameter, the array running out"},
        {PAGE_READWRITE | PAGE_GUARD, 4, 2, E_POINTER, "a second segment in a guard page"},
        {PAGE_READONLY, 4, 2, S_OK, "a second segment in a read-only page: readable"},
    };
    for (const auto& c : cases) {
        TwoPages pages(c.second);
        ASSERT_TRUE(pages.ok());
        std::memcpy(pages.boundary() - size, &segment, size);
        if (c.second == PAGE_READONLY) {
            DWORD previous;
            VirtualProtect(pages.boundary(), size, PAGE_READWRITE, &previous);
            std::memcpy(pages.boundary(), &segment, size);
            reinterpret_cast<MP_ENVELOPE_SEGMENT*>(pages.boundary())->rtStart += 20000000;
            VirtualProtect(pages.boundary(), size, PAGE_READONLY, &previous);
        }
        auto* array = reinterpret_cast<MP_ENVELOPE_SEGMENT*>(pages.boundary() - size);
        EXPECT_EQ(params->AddEnvelope(c.index, c.count, array), c.result) << c.what;
        if (c.second & PAGE_GUARD) {
            EXPECT_NE(pages.protectionOfSecond() & PAGE_GUARD, 0u) << "the guard page is never touched";
        }
    }
}

// --- What a save would store ---------------------------------------------------------

TEST_F(HostDrivesTheFilter, WhateverASaveWouldStoreDifferentlyMakesTheFilterDirty)
{
    Rig rig(server);
    ASSERT_TRUE(rig.Start());
    ComPtr<IPersistStream> persist = As<IPersistStream>(rig.filter.get(), IID_IPersistStream);
    ComPtr<IMediaParamsUICallback> relay = As<IMediaParamsUICallback>(rig.filter.get(), qz::kIID_IMediaParamsUICallback);
    auto save = [&] {
        ComPtr<IStream> stream;
        CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
        ASSERT_EQ(persist->Save(stream.get(), TRUE), S_OK);
        ASSERT_EQ(persist->IsDirty(), S_FALSE) << "just saved";
    };
    auto fromAnotherThread = [](auto call) { std::thread(call).join(); };

    save();
    fromAnotherThread([&] { rig.params->SetParam(kOutputGain, 0.9f); });
    EXPECT_EQ(persist->IsDirty(), S_OK) << "after the host's SetParam";
    save();
    fromAnotherThread([&] { rig.params->SetParam(kOutputGain, 0.9f); });
    EXPECT_EQ(persist->IsDirty(), S_FALSE) << "the same value again: a save would store the same";

    fromAnotherThread([&] {
        DWORD index = kOutputGain;
        MP_DATA value = 0.25f;
        relay->ParamsChanged(&index, 1, &value);
    });
    EXPECT_EQ(persist->IsDirty(), S_OK) << "after a relayed change";
    save();

    MP_ENVELOPE_SEGMENT jump{0, 100000000, 0.75f, 0.75f, MP_CURVE_JUMP, 0};
    fromAnotherThread([&] { rig.params->AddEnvelope(kOutputGain, 1, &jump); });
    const REFERENCE_TIME zero = 0;
    ASSERT_EQ(rig.Push(Tones(1000, 2, 0.1), true, &zero), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_OK) << "after an envelope moved the value";
}

// --- Flushes -------------------------------------------------------------------------------

TEST_F(HostDrivesTheFilter, NothingFromBeforeAFlushComesOutAfterIt)
{
    // The source marks no discontinuity after the flush, as some do not.
    Rig rig(server);
    ASSERT_TRUE(rig.Start());
    const REFERENCE_TIME zero = 0;
    ASSERT_EQ(rig.Push(Tones(1000, 2, 0.5), true, &zero), S_OK);
    ASSERT_EQ(rig.BytesOut(), (1000u - kLookahead) * 8) << "the lookahead holds 64 frames";
    ASSERT_EQ(rig.source->BeginFlush(), S_OK);
    ASSERT_EQ(rig.source->EndFlush(), S_OK);
    const size_t flushedAt = rig.BytesOut();

    const std::vector<float> after = Tones(2000, 2, 0.3, 0.37);
    ASSERT_EQ(rig.Push(after), S_OK);
    ASSERT_EQ(rig.source->EndOfStream(), S_OK);
    const std::vector<float> out = rig.Out(flushedAt);
    ASSERT_EQ(out.size(), after.size()) << "exactly the frames given after the flush";

    // What a fresh stream of the same settings makes of them.
    qz::ParamBlock settings{};
    rig.prop->GetParamBlock(&settings);
    Rig fresh(server);
    fresh.prop->ApplyParamBlock(&settings);
    ASSERT_TRUE(fresh.Start());
    ASSERT_EQ(fresh.Push(after, true, &zero), S_OK);
    ASSERT_EQ(fresh.source->EndOfStream(), S_OK);
    const std::vector<float> expected = fresh.Out();
    ASSERT_EQ(expected.size(), out.size());
    for (size_t k = 0; k < out.size(); ++k)
        ASSERT_NEAR(out[k], expected[k], 1e-6) << "sample " << k;
}

TEST_F(HostDrivesTheFilter, AnEndOfStreamRightAfterAFlushDeliversNothingFromBeforeIt)
{
    Rig rig(server);
    ASSERT_TRUE(rig.Start());
    const REFERENCE_TIME zero = 0;
    ASSERT_EQ(rig.Push(Tones(1000, 2, 0.5), true, &zero), S_OK);
    qz::MeterRecord meters{};
    ASSERT_EQ(rig.source->BeginFlush(), S_OK);
    ASSERT_EQ(rig.source->EndFlush(), S_OK);
    rig.prop->GetMeters(&meters);
    const size_t flushedAt = rig.BytesOut();
    ASSERT_EQ(rig.source->EndOfStream(), S_OK);
    EXPECT_EQ(rig.BytesOut(), flushedAt) << "the 64 held frames are gone with the flush";
    EXPECT_EQ(rig.sink->Recorded().endOfStreams, 1);

    EXPECT_EQ(meters.outputLeft, 0.0) << "the meters start again from nothing";
    EXPECT_EQ(meters.outputRight, 0.0);
    for (const qz::BandMeter& band : meters.band) {
        EXPECT_EQ(band.left, 0.0);
        EXPECT_EQ(band.gain, 1.0);
    }
}

// --- Time --------------------------------------------------------------------------------

TEST_F(HostDrivesTheFilter, AutomationLandsOnTheSameInputFrameWithTheLimiterOnOrOff)
{
    // +6 dB from input frame 22,950 on; buffers of 1,000 frames, so the change lands
    // at the buffer starting at 23,000 either way. Quiet audio: the limiter only delays.
    const std::vector<float> audio = Tones(30000, 2, 0.1);
    MP_ENVELOPE_SEGMENT jump{22950LL * 10000000 / kRate, 100000000, 0.625f, 0.625f, MP_CURVE_JUMP, 0};
    std::vector<float> out[2];
    for (LONG limiter : {0, 1}) {
        Rig rig(server);
        rig.prop->SetLimiter(limiter, FALSE);
        ASSERT_EQ(rig.params->AddEnvelope(kOutputGain, 1, &jump), S_OK);
        ASSERT_TRUE(rig.Start());
        rig.PushInBuffers(audio, 1000);
        ASSERT_EQ(rig.source->EndOfStream(), S_OK);
        out[limiter] = rig.Out();
        ASSERT_EQ(out[limiter].size(), audio.size()) << "limiter " << limiter;
    }
    auto peak = [&](size_t fromFrame) {
        float highest = 0;
        for (size_t k = 2 * fromFrame; k < 2 * (fromFrame + 1000); ++k)
            highest = std::max(highest, std::fabs(out[0][k]));
        return highest;
    };
    EXPECT_GT(peak(24000), 1.8f * peak(21000)) << "+6 dB after the change";
    for (size_t k = 0; k < audio.size(); ++k)
        ASSERT_EQ(out[1][k], out[0][k]) << "sample " << k << ": the limiter delays, it never moves the automation";
}

TEST_F(HostDrivesTheFilter, ARateChangeWithinTheStreamKeepsTheAutomationTime)
{
    // A linear envelope 0 .. 1 over two seconds; one second at 44.1 kHz, then 48 kHz.
    Rig rig(server, AudioType(WAVE_FORMAT_IEEE_FLOAT, 1, kRate, 32));
    MP_ENVELOPE_SEGMENT ramp{0, 20000000, 0.0f, 1.0f, MP_CURVE_LINEAR, 0};
    ASSERT_EQ(rig.params->AddEnvelope(kOutputGain, 1, &ramp), S_OK);
    ASSERT_TRUE(rig.Start());
    rig.PushInBuffers(Tones(kRate, 1, 0.1), 4410, 1);
    const CMediaType faster = AudioType(WAVE_FORMAT_IEEE_FLOAT, 1, 48000, 32);
    ASSERT_EQ(rig.Push(Tones(4800, 1, 0.1), false, nullptr, &faster), S_OK);
    MP_DATA value = -1;
    ASSERT_EQ(rig.params->GetParam(kOutputGain, &value), S_OK);
    EXPECT_NEAR(value, 0.5f, 1e-6) << "the buffer after one second is read at 1 s";
    ASSERT_EQ(rig.Push(Tones(4800, 1, 0.1)), S_OK);
    ASSERT_EQ(rig.params->GetParam(kOutputGain, &value), S_OK);
    EXPECT_NEAR(value, 0.55f, 1e-6) << "and 4,800 frames later at 1.1 s";
}

TEST_F(HostDrivesTheFilter, ARunFromStoppedStartsInNoSegmentOfTheRunBefore)
{
    // Output gain 0 .. 1 over 20 s; the first run's segment starts at 10 s, the second
    // run's source announces none.
    Rig rig(server);
    MP_ENVELOPE_SEGMENT ramp{0, 200000000, 0.0f, 1.0f, MP_CURVE_LINEAR, 0};
    ASSERT_EQ(rig.params->AddEnvelope(kOutputGain, 1, &ramp), S_OK);
    ASSERT_TRUE(rig.Start());
    ASSERT_EQ(rig.source->NewSegment(100000000, 200000000, 1.0), S_OK);
    const REFERENCE_TIME zero = 0;
    ASSERT_EQ(rig.Push(Tones(1000, 2, 0.1), true, &zero), S_OK);
    MP_DATA value = -1;
    ASSERT_EQ(rig.params->GetParam(kOutputGain, &value), S_OK);
    EXPECT_NEAR(value, 0.5f, 1e-6) << "stamp 0 of a segment at 10 s";

    ASSERT_EQ(rig.graph.control()->Stop(), S_OK);
    ASSERT_TRUE(SUCCEEDED(rig.graph.control()->Run()));
    ASSERT_EQ(rig.Push(Tones(1000, 2, 0.1), true, &zero), S_OK);
    ASSERT_EQ(rig.params->GetParam(kOutputGain, &value), S_OK);
    EXPECT_NEAR(value, 0.0f, 1e-6) << "stamp 0 of the new run is the media's start";
}

TEST_F(HostDrivesTheFilter, SegmentsAsWideAsTimeItselfReadInRange)
{
    Rig rig(server);
    MP_ENVELOPE_SEGMENT wide{-9000000000000000000LL, 9000000000000000000LL, 0.0f, 1.0f, MP_CURVE_LINEAR, 0};
    ASSERT_EQ(rig.params->AddEnvelope(kOutputGain, 1, &wide), S_OK);
    ASSERT_TRUE(rig.Start());
    const REFERENCE_TIME zero = 0;
    ASSERT_EQ(rig.Push(Tones(1000, 2, 0.1), true, &zero), S_OK);
    MP_DATA value = -1;
    ASSERT_EQ(rig.params->GetParam(kOutputGain, &value), S_OK);
    EXPECT_NEAR(value, 0.5f, 1e-6) << "the middle of the segment";
}

// --- The format ------------------------------------------------------------------------------

TEST_F(HostDrivesTheFilter, TheConnectionTypeAttachedAgainChangesNothing)
{
    // A loud sine the limiter and band 1 work on: any reset of their state shows.
    const std::vector<float> audio = Tones(10000, 2, 2.0);
    std::vector<float> out[2];
    for (int attach : {0, 1}) {
        Rig rig(server);
        rig.prop->SetThreshold(-200, 0, FALSE);
        rig.prop->SetRatio(40, 0, FALSE);
        ASSERT_TRUE(rig.Start());
        for (size_t b = 0; b < 10; ++b) {
            const std::vector<float> buffer(audio.begin() + b * 2000, audio.begin() + (b + 1) * 2000);
            const REFERENCE_TIME zero = 0;
            ASSERT_EQ(rig.Push(buffer, b == 0, b == 0 ? &zero : nullptr, attach && b == 5 ? &rig.type : nullptr), S_OK);
        }
        ASSERT_EQ(rig.source->EndOfStream(), S_OK);
        out[attach] = rig.Out();
    }
    ASSERT_EQ(out[1].size(), out[0].size());
    for (size_t k = 0; k < out[0].size(); ++k)
        ASSERT_EQ(out[1][k], out[0][k]) << "sample " << k;
}

// --- The limiter switched within a stream ----------------------------------------------------

TEST_F(HostDrivesTheFilter, SwitchingTheLimiterOffWhileListeningDropsNothing)
{
    // A sine at 0.3: the limiter only delays it. The editor switches it off halfway.
    const std::vector<float> audio = Tones(10000, 2, 0.3);
    std::vector<float> out[2];
    for (int switched : {0, 1}) {
        Rig rig(server);
        ASSERT_TRUE(rig.Start());
        for (size_t b = 0; b < 10; ++b) {
            if (switched && b == 5)
                std::thread([&] { rig.prop->SetLimiter(0, TRUE); }).join();
            const std::vector<float> buffer(audio.begin() + b * 2000, audio.begin() + (b + 1) * 2000);
            const REFERENCE_TIME zero = 0;
            ASSERT_EQ(rig.Push(buffer, b == 0, b == 0 ? &zero : nullptr), S_OK);
        }
        ASSERT_EQ(rig.source->EndOfStream(), S_OK);
        out[switched] = rig.Out();
    }
    ASSERT_EQ(out[1].size(), audio.size()) << "every frame comes out";
    for (size_t k = 0; k < audio.size(); ++k)
        ASSERT_EQ(out[1][k], out[0][k]) << "sample " << k << ": the same delay, no jump";
}

// --- A host adding automation while the stream runs ----------------------------------------

TEST_F(HostDrivesTheFilter, AHundredThousandSegmentsAddedWhileTheStreamRunsAllComeIntoForce)
{
    // Whether the streaming thread waits for the adds is the envelope tests' matter
    // (and the automation benchmark's); here every buffer and every add must succeed
    // side by side, and the segments must play once the stream reaches them.
    Rig rig(server);
    ASSERT_TRUE(rig.Start());
    std::vector<MP_ENVELOPE_SEGMENT> segments;
    for (int k = 0; k < 100000; ++k) {
        const REFERENCE_TIME start = (100000 - k) * 1000000LL;  // from 0.1 s on, given backwards
        segments.push_back({start, start + 1000000, 0.7f, 0.9f, MP_CURVE_LINEAR, 0});
    }
    const DWORD automated[] = {kOutputGain, 2, 4};  // output gain, Q, the first crossover: held elsewhere

    std::atomic<bool> adding{true};
    std::atomic<HRESULT> added[3] = {E_PENDING, E_PENDING, E_PENDING};
    std::thread host([&] {
        for (DWORD p = 0; p < 3; ++p)
            added[p] = rig.params->AddEnvelope(automated[p], static_cast<DWORD>(segments.size()), segments.data());
        adding = false;
    });
    const std::vector<float> buffer = Tones(441, 2, 0.1);  // 10 ms
    const REFERENCE_TIME zero = 0;
    size_t pushed = 0;
    HRESULT pushedWhileAdding = S_OK;
    for (; adding && pushed < 5 && pushedWhileAdding == S_OK; ++pushed)  // the first 0.05 s, before every segment
        pushedWhileAdding = rig.Push(buffer, pushed == 0, pushed == 0 ? &zero : nullptr);
    host.join();
    ASSERT_EQ(pushedWhileAdding, S_OK);
    for (const auto& result : added)
        EXPECT_EQ(result.load(), S_OK);

    // Up to 0.15 s: halfway through the first segment, 0.1 .. 0.2 s.
    for (; pushed < 15; ++pushed)
        ASSERT_EQ(rig.Push(buffer, pushed == 0, pushed == 0 ? &zero : nullptr), S_OK);
    for (DWORD index : automated) {
        MP_DATA value = -1;
        ASSERT_EQ(rig.params->GetParam(index, &value), S_OK);
        EXPECT_GT(value, 0.7f) << "parameter " << index;
        EXPECT_LT(value, 0.9f) << "parameter " << index;
    }
}

} // namespace
