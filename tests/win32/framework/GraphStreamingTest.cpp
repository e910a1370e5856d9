// Streams through the system's filter graph manager: Wine's File Source (Async) and
// WAVE Parser, or a push source of our own, into the halving filter and on to a
// recording renderer.

#include "TestFilters.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <evcode.h>
#include <vfwmsgs.h>

#include <cstring>

namespace {

const LONG kCompletionTimeoutMs = 10000;

std::vector<int16_t> Halved(const std::vector<int16_t>& samples)
{
    std::vector<int16_t> halved;
    for (int16_t value : samples)
        halved.push_back(static_cast<int16_t>(value / 2));
    return halved;
}

std::vector<int16_t> AsSamples16(const std::vector<BYTE>& bytes)
{
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Splits `bytes` into buffers of at most `size` bytes.
std::vector<std::vector<BYTE>> Chunks(const std::vector<BYTE>& bytes, size_t size)
{
    std::vector<std::vector<BYTE>> chunks;
    for (size_t at = 0; at < bytes.size(); at += size)
        chunks.emplace_back(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + size));
    return chunks;
}

class GraphStreaming : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(graph_.ok()) << "CoCreateInstance(CLSID_FilterGraph) failed"; }

    void TearDown() override
    {
        for (const std::wstring& path : files_)
            DeleteFileW(path.c_str());
    }

    // Writes a WAV file and connects Wine's source and parser for it.
    ComPtr<IPin> WavSource(const wchar_t* name, WORD tag, WORD channels, DWORD rate, WORD bits,
                           const std::vector<BYTE>& data)
    {
        files_.push_back(TempPath(name));
        WriteWavFile(files_.back(), tag, channels, rate, bits, data);
        ComPtr<IPin> output;
        HRESULT hr = graph_.AddWavSource(files_.back(), output);
        EXPECT_EQ(hr, S_OK) << "file source and WAVE parser for " << bits << "-bit, " << channels
                            << "-channel WAV: " << HrText(hr);
        return output;
    }

    // Adds the halving filter and the sink, and connects upstream -> filter -> sink.
    void ConnectThroughFilter(IPin* upstream)
    {
        ASSERT_EQ(graph_.Add(filter_.get(), L"Halving"), S_OK);
        ASSERT_EQ(graph_.Add(sink_.get(), L"Sink"), S_OK);
        HRESULT hr = graph_.builder()->ConnectDirect(upstream, filter_->InputPin(), nullptr);
        ASSERT_EQ(hr, S_OK) << "connecting upstream to the filter's input: " << HrText(hr);
        hr = graph_.builder()->ConnectDirect(filter_->OutputPin(), sink_->GetPin(0), nullptr);
        ASSERT_EQ(hr, S_OK) << "connecting the filter's output to the sink: " << HrText(hr);
    }

    void RunToCompletion()
    {
        HRESULT hr = graph_.control()->Run();
        ASSERT_TRUE(SUCCEEDED(hr)) << "IMediaControl::Run: " << HrText(hr);
        LONG code = 0;
        hr = graph_.events()->WaitForCompletion(kCompletionTimeoutMs, &code);
        ASSERT_EQ(hr, S_OK) << "WaitForCompletion: " << HrText(hr);
        EXPECT_EQ(code, EC_COMPLETE);
    }

    // Connects a push source of `buffers` through the filter to the sink.
    ComPtr<CPushSource> PushSource(const CMediaType& type, const std::vector<BYTE>& data, bool readOnly)
    {
        ComPtr<CPushSource> source(new CPushSource(type, Chunks(data, 4096), readOnly));
        EXPECT_EQ(graph_.Add(source.get(), L"Push source"), S_OK);
        return source;
    }

    TestGraph graph_;
    ComPtr<CHalvingFilter> filter_{new CHalvingFilter};
    ComPtr<CRecordingSink> sink_{new CRecordingSink};
    std::vector<std::wstring> files_;
};

TEST_F(GraphStreaming, WavFileThroughWinesParserArrivesHalvedInOrderAndComplete)
{
    const std::vector<int16_t> samples = StereoRamp16(44100);
    ComPtr<IPin> parser = WavSource(L"ramp16.wav", WAVE_FORMAT_PCM, 2, 44100, 16,
                                    Bytes(samples.data(), samples.size() * 2));
    ASSERT_TRUE(parser);
    ConnectThroughFilter(parser.get());
    RunToCompletion();

    const CRecordingSink::Record record = sink_->Recorded();
    EXPECT_EQ(AsSamples16(record.data), Halved(samples));
    EXPECT_EQ(record.endOfStreams, 1);
    EXPECT_GE(record.samples.size(), 1u);
    EXPECT_EQ(filter_->transformed, static_cast<int>(record.samples.size()));

    // Nothing read-only came from the parser, so its buffers went all the way.
    EXPECT_FALSE(filter_->IsUpstreamReadOnly());
    EXPECT_TRUE(filter_->OutputPin()->UsesUpstreamAllocator());
    EXPECT_EQ(sink_->NotifiedAllocator(), filter_->InputPin()->PeekAllocator());
    EXPECT_EQ(graph_.control()->Stop(), S_OK);
}

TEST_F(GraphStreaming, StateChangesStartAndStopStreamingOncePerTransition)
{
    const std::vector<int16_t> samples = StereoRamp16(4410);
    ComPtr<IPin> parser = WavSource(L"states.wav", WAVE_FORMAT_PCM, 2, 44100, 16,
                                    Bytes(samples.data(), samples.size() * 2));
    ASSERT_TRUE(parser);
    ConnectThroughFilter(parser.get());
    IMediaControl* control = graph_.control();

    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    EXPECT_EQ(filter_->starts, 1) << "after Pause from stopped";
    EXPECT_EQ(filter_->stops, 0) << "after Pause from stopped";
    FILTER_STATE state;
    EXPECT_EQ(filter_->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);

    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_EQ(filter_->starts, 1) << "Run and Pause between active states start nothing";
    EXPECT_EQ(filter_->stops, 0) << "Run and Pause between active states stop nothing";
    EXPECT_EQ(filter_->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);

    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(filter_->stops, 1) << "after Stop";
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(filter_->stops, 1) << "a second Stop";
    EXPECT_EQ(filter_->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);

    // Run from stopped passes through paused: one start.
    RunToCompletion();
    EXPECT_EQ(filter_->starts, 2) << "after Run from stopped";
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(filter_->stops, 2);
}

// Wine's parser offers these as plain PCM. (It offers nothing at all for three
// channels; complete types from a push source cover that below.)
TEST_F(GraphStreaming, WinesParserTypesTheFilterRefusesDoNotConnect)
{
    const struct {
        const wchar_t* file;
        WORD bits;
    } refused[] = {
        {L"pcm8.wav", 8},
        {L"pcm24.wav", 24},
    };
    ASSERT_EQ(graph_.Add(filter_.get(), L"Halving"), S_OK);
    for (const auto& wav : refused) {
        SCOPED_TRACE(testing::Message() << wav.bits << "-bit stereo PCM");
        const std::vector<BYTE> silence(4410 * 2 * wav.bits / 8, wav.bits == 8 ? 0x80 : 0);
        ComPtr<IPin> parser = WavSource(wav.file, WAVE_FORMAT_PCM, 2, 44100, wav.bits, silence);
        ASSERT_TRUE(parser);

        const std::vector<CMediaType> offered = PreferredTypes(parser.get());
        EXPECT_FALSE(offered.empty()) << "the parser offers no type";
        for (const CMediaType& type : offered) {
            EXPECT_EQ(WaveFormat(type).wBitsPerSample, wav.bits) << "the parser offers another format";
            EXPECT_EQ(filter_->InputPin()->QueryAccept(&type), S_FALSE);
        }

        HRESULT hr = graph_.builder()->ConnectDirect(parser.get(), filter_->InputPin(), nullptr);
        EXPECT_TRUE(FAILED(hr)) << "ConnectDirect answered " << HrText(hr);
        EXPECT_FALSE(filter_->InputPin()->IsConnected());
        EXPECT_TRUE(filter_->typesSet.empty());
    }
}

TEST_F(GraphStreaming, CompleteTypesTheFilterRefusesAreNotAccepted)
{
    const CMediaType refused[] = {
        AudioType(WAVE_FORMAT_PCM, 2, 44100, 8),
        AudioType(WAVE_FORMAT_PCM, 2, 44100, 24),
        AudioType(WAVE_FORMAT_PCM, 3, 44100, 16),
        AudioType(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 64),
    };
    ASSERT_EQ(graph_.Add(filter_.get(), L"Halving"), S_OK);
    for (const CMediaType& type : refused) {
        const WAVEFORMATEX& format = WaveFormat(type);
        SCOPED_TRACE(testing::Message() << "format tag " << format.wFormatTag << ", " << format.wBitsPerSample
                                        << " bits, " << format.nChannels << " channels");
        ComPtr<CPushSource> source(new CPushSource(type, {}, false));
        ASSERT_EQ(graph_.Add(source.get(), nullptr), S_OK);
        HRESULT hr = graph_.builder()->ConnectDirect(source->GetPin(0), filter_->InputPin(), &type);
        EXPECT_EQ(hr, VFW_E_TYPE_NOT_ACCEPTED) << HrText(hr);
        EXPECT_FALSE(filter_->InputPin()->IsConnected());
        EXPECT_EQ(graph_.builder()->RemoveFilter(source.get()), S_OK);
    }
}

TEST_F(GraphStreaming, FloatStreamFromAPushSourceArrivesHalved)
{
    std::vector<float> samples;
    for (int i = 0; i < 2 * 22050; ++i)
        samples.push_back(static_cast<float>(i % 2000 - 1000) / 1024.0f);
    ComPtr<CPushSource> source =
        PushSource(AudioType(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 32), Bytes(samples.data(), samples.size() * 4), false);
    ConnectThroughFilter(source->GetPin(0));
    RunToCompletion();
    EXPECT_EQ(source->LastDeliveryResult(), S_OK);

    const CRecordingSink::Record record = sink_->Recorded();
    std::vector<float> received(record.data.size() / 4);
    std::memcpy(received.data(), record.data.data(), received.size() * 4);
    std::vector<float> expected;
    for (float value : samples)
        expected.push_back(value * 0.5f);
    EXPECT_EQ(received, expected);
    EXPECT_EQ(record.discontinuities, 1);
}

TEST_F(GraphStreaming, WritableUpstreamBuffersTravelThroughUnchangedInIdentity)
{
    const std::vector<int16_t> samples = StereoRamp16(11025);
    ComPtr<CPushSource> source =
        PushSource(AudioType(WAVE_FORMAT_PCM, 2, 44100, 16), Bytes(samples.data(), samples.size() * 2), false);
    ConnectThroughFilter(source->GetPin(0));
    EXPECT_FALSE(filter_->IsUpstreamReadOnly());
    EXPECT_TRUE(filter_->OutputPin()->UsesUpstreamAllocator());
    EXPECT_EQ(sink_->NotifiedAllocator(), source->Allocator());
    RunToCompletion();

    const CRecordingSink::Record record = sink_->Recorded();
    EXPECT_EQ(AsSamples16(record.data), Halved(samples));
    EXPECT_EQ(record.samples, source->Delivered()) << "the sink must see the source's own samples";
    EXPECT_EQ(source->BuffersChangedDownstream(), static_cast<int>(record.samples.size()))
        << "the filter transforms the source's buffers in place";
}

TEST_F(GraphStreaming, ReadOnlyUpstreamBuffersAreCopiedNotWritten)
{
    const std::vector<int16_t> samples = StereoRamp16(11025);
    ComPtr<CPushSource> source =
        PushSource(AudioType(WAVE_FORMAT_PCM, 2, 44100, 16), Bytes(samples.data(), samples.size() * 2), true);
    ConnectThroughFilter(source->GetPin(0));
    EXPECT_TRUE(filter_->IsUpstreamReadOnly());
    EXPECT_FALSE(filter_->OutputPin()->UsesUpstreamAllocator());
    EXPECT_NE(sink_->NotifiedAllocator(), source->Allocator());
    RunToCompletion();

    const CRecordingSink::Record record = sink_->Recorded();
    EXPECT_EQ(AsSamples16(record.data), Halved(samples));
    EXPECT_EQ(source->BuffersChangedDownstream(), 0);
    for (IMediaSample* sample : record.samples) {
        const std::vector<IMediaSample*> delivered = source->Delivered();
        EXPECT_EQ(std::count(delivered.begin(), delivered.end(), sample), 0) << "the sink got a source buffer";
    }
}

TEST_F(GraphStreaming, DownstreamThatInsistsOnItsOwnAllocatorGetsCopies)
{
    sink_ = ComPtr<CRecordingSink>(new CRecordingSink(true));
    const std::vector<int16_t> samples = StereoRamp16(11025);
    ComPtr<CPushSource> source =
        PushSource(AudioType(WAVE_FORMAT_PCM, 1, 22050, 16), Bytes(samples.data(), samples.size() * 2), false);
    ConnectThroughFilter(source->GetPin(0));
    EXPECT_FALSE(filter_->OutputPin()->UsesUpstreamAllocator());
    RunToCompletion();

    EXPECT_EQ(AsSamples16(sink_->Recorded().data), Halved(samples));
    EXPECT_EQ(source->BuffersChangedDownstream(), 0);
}

TEST_F(GraphStreaming, FlushAndNewSegmentArePassedDownstream)
{
    ComPtr<CPushSource> source = PushSource(AudioType(WAVE_FORMAT_PCM, 2, 44100, 16), {}, false);
    ConnectThroughFilter(source->GetPin(0));

    EXPECT_EQ(filter_->InputPin()->NewSegment(1000, 5000, 1.0), S_OK);
    EXPECT_EQ(filter_->InputPin()->BeginFlush(), S_OK);
    EXPECT_TRUE(filter_->InputPin()->IsFlushing());
    EXPECT_EQ(filter_->InputPin()->EndFlush(), S_OK);
    EXPECT_FALSE(filter_->InputPin()->IsFlushing());

    const CRecordingSink::Record record = sink_->Recorded();
    EXPECT_EQ(record.segments, 1);
    EXPECT_EQ(record.segmentStart, 1000);
    EXPECT_EQ(record.segmentStop, 5000);
    EXPECT_EQ(record.beginFlushes, 1);
    EXPECT_EQ(record.endFlushes, 1);
}

TEST_F(GraphStreaming, StopWhileStreamingReturnsAndStopsOnce)
{
    const std::vector<int16_t> samples = StereoRamp16(441000);
    ComPtr<CPushSource> source =
        PushSource(AudioType(WAVE_FORMAT_PCM, 2, 44100, 16), Bytes(samples.data(), samples.size() * 2), true);
    ConnectThroughFilter(source->GetPin(0));
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(SUCCEEDED(graph_.control()->Run()));
        ASSERT_EQ(graph_.control()->Stop(), S_OK);
        EXPECT_EQ(filter_->starts, round);
        EXPECT_EQ(filter_->stops, round);
    }
}

} // namespace
