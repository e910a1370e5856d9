// The pins of an in-place transform filter: identity, enumeration, connection rules
// and the checks that keep samples out while the stream may not flow.

#include "MemAllocator.h"
#include "TestFilters.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vfwmsgs.h>

#include <cwchar>

namespace {

std::string PinName(IPin* pin)
{
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info)))
        return "(no pin info)";
    if (info.pFilter != nullptr)
        info.pFilter->Release();
    std::string name;
    for (const WCHAR* c = info.achName; *c != L'\0'; ++c)
        name += static_cast<char>(*c);
    return name;
}

TEST(TransInPlacePins, AreInputAndOutputInThatOrder)
{
    ComPtr<CHalvingFilter> filter(new CHalvingFilter);
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(filter->EnumPins(pins.put()), S_OK);

    IPin* found[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(pins->Next(3, found, &fetched), S_FALSE) << "asking for more pins than there are";
    ASSERT_EQ(fetched, 2u);
    const PIN_DIRECTION directions[] = {PINDIR_INPUT, PINDIR_OUTPUT};
    const char* names[] = {"Input", "Output"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(PinName(found[i]), names[i]);
        PIN_INFO info{};
        ASSERT_EQ(found[i]->QueryPinInfo(&info), S_OK);
        EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(filter.get()));
        EXPECT_EQ(info.dir, directions[i]);
        info.pFilter->Release();
        PIN_DIRECTION direction;
        EXPECT_EQ(found[i]->QueryDirection(&direction), S_OK);
        EXPECT_EQ(direction, directions[i]);
        LPWSTR id = nullptr;
        ASSERT_EQ(found[i]->QueryId(&id), S_OK);
        ComPtr<IPin> byId;
        EXPECT_EQ(filter->FindPin(id, byId.put()), S_OK);
        EXPECT_EQ(byId.get(), found[i]) << "FindPin(QueryId) finds the same pin";
        CoTaskMemFree(id);
        found[i]->Release();
    }

    EXPECT_EQ(pins->Reset(), S_OK);
    EXPECT_EQ(pins->Skip(1), S_OK);
    ComPtr<IEnumPins> clone;
    ASSERT_EQ(pins->Clone(clone.put()), S_OK);
    ComPtr<IPin> second;
    EXPECT_EQ(clone->Next(1, second.put(), nullptr), S_OK);
    EXPECT_EQ(PinName(second.get()), "Output") << "a clone continues where its original stood";
    EXPECT_EQ(pins->Skip(2), S_FALSE) << "skipping past the end";
    EXPECT_EQ(pins->Next(1, second.put(), nullptr), S_FALSE);

    ComPtr<IPin> missing;
    EXPECT_EQ(filter->FindPin(L"Sideways", missing.put()), VFW_E_NOT_FOUND);
    EXPECT_FALSE(missing);
}

TEST(TransInPlacePins, AnswerNotConnectedBeforeConnection)
{
    ComPtr<CHalvingFilter> filter(new CHalvingFilter);
    for (IPin* pin : {static_cast<IPin*>(filter->InputPin()), static_cast<IPin*>(filter->OutputPin())}) {
        SCOPED_TRACE(PinName(pin));
        IPin* peer = reinterpret_cast<IPin*>(0x1);
        EXPECT_EQ(pin->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        EXPECT_EQ(peer, nullptr);
        AM_MEDIA_TYPE type;
        EXPECT_EQ(pin->ConnectionMediaType(&type), VFW_E_NOT_CONNECTED);
        EXPECT_EQ(type.majortype, GUID_NULL);
    }
    const CMediaType pcm16 = AudioType(WAVE_FORMAT_PCM, 2, 48000, 16);
    EXPECT_EQ(filter->InputPin()->QueryAccept(&pcm16), S_OK);
    EXPECT_EQ(filter->OutputPin()->QueryAccept(&pcm16), S_FALSE) << "the output follows a connected input only";
    EXPECT_TRUE(PreferredTypes(filter->OutputPin()).empty());
    EXPECT_TRUE(PreferredTypes(filter->InputPin()).empty());
}

class ConnectedPins : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(graph_.ok());
        ASSERT_EQ(graph_.Add(source_.get(), L"Source"), S_OK);
        ASSERT_EQ(graph_.Add(filter_.get(), L"Halving"), S_OK);
        ASSERT_EQ(graph_.Add(sink_.get(), L"Sink"), S_OK);
    }

    HRESULT ConnectInput()
    {
        return graph_.builder()->ConnectDirect(source_->GetPin(0), filter_->InputPin(), nullptr);
    }
    HRESULT ConnectOutput()
    {
        return graph_.builder()->ConnectDirect(filter_->OutputPin(), sink_->GetPin(0), nullptr);
    }

    const CMediaType type_ = AudioType(WAVE_FORMAT_PCM, 1, 22050, 16);
    TestGraph graph_;
    ComPtr<CPushSource> source_{new CPushSource(type_, {}, false)};
    ComPtr<CHalvingFilter> filter_{new CHalvingFilter};
    ComPtr<CRecordingSink> sink_{new CRecordingSink};
};

TEST_F(ConnectedPins, OutputCannotConnectBeforeTheInput)
{
    EXPECT_TRUE(FAILED(ConnectOutput()));
    EXPECT_FALSE(filter_->OutputPin()->IsConnected());
    EXPECT_FALSE(sink_->GetPin(0)->IsConnected());
}

TEST_F(ConnectedPins, OutputOffersAndCarriesTheInputType)
{
    ASSERT_EQ(ConnectInput(), S_OK);
    const std::vector<CMediaType> offered = PreferredTypes(filter_->OutputPin());
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_TRUE(offered[0] == type_);
    EXPECT_TRUE(filter_->ConnectionMediaType() == type_);
    EXPECT_EQ(filter_->OutputPin()->QueryAccept(&type_), S_OK);
    const CMediaType pcm8 = AudioType(WAVE_FORMAT_PCM, 1, 22050, 8);
    EXPECT_EQ(filter_->OutputPin()->QueryAccept(&pcm8), S_FALSE);

    ASSERT_EQ(ConnectOutput(), S_OK);
    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(filter_->OutputPin()->ConnectionMediaType(&connected), S_OK);
    EXPECT_TRUE(CMediaType(connected) == type_);
    FreeMediaType(connected);
    ComPtr<IPin> peer;
    EXPECT_EQ(filter_->OutputPin()->ConnectedTo(peer.put()), S_OK);
    EXPECT_EQ(peer.get(), static_cast<IPin*>(sink_->GetPin(0)));
    EXPECT_EQ((std::vector<PIN_DIRECTION>{PINDIR_INPUT, PINDIR_OUTPUT}), filter_->typesSet)
        << "SetMediaType for the input, then for the output";
    IPin* internal[2];
    ULONG count = 2;
    EXPECT_EQ(filter_->InputPin()->QueryInternalConnections(internal, &count), E_NOTIMPL);
}

TEST_F(ConnectedPins, DisconnectWaitsForTheStoppedState)
{
    ASSERT_EQ(ConnectInput(), S_OK);
    ASSERT_EQ(ConnectOutput(), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph_.control()->Pause()));
    EXPECT_EQ(filter_->InputPin()->Disconnect(), VFW_E_NOT_STOPPED);
    EXPECT_EQ(filter_->OutputPin()->Connect(sink_->GetPin(0), nullptr), VFW_E_ALREADY_CONNECTED);
    ASSERT_EQ(graph_.control()->Stop(), S_OK);

    EXPECT_EQ(filter_->OutputPin()->Disconnect(), S_OK);
    EXPECT_FALSE(filter_->OutputPin()->IsConnected());
    EXPECT_EQ(filter_->OutputPin()->PeekAllocator(), nullptr);
    EXPECT_EQ(filter_->OutputPin()->Disconnect(), S_FALSE) << "a second Disconnect";
}

// What an object's reference count is now, read through an AddRef and a Release.
template <typename Object>
ULONG ReferencesOf(Object* object)
{
    object->AddRef();
    return object->Release();
}

// A connection holds the peer pin, its IMemInputPin and the allocator; breaking the
// connections gives every one of them back.
TEST_F(ConnectedPins, DisconnectGivesBackThePeersAndTheAllocator)
{
    const ULONG sourceReferences = ReferencesOf(source_.get());
    const ULONG filterReferences = ReferencesOf(filter_.get());
    const ULONG sinkReferences = ReferencesOf(sink_.get());
    ASSERT_EQ(ConnectInput(), S_OK);
    ASSERT_EQ(ConnectOutput(), S_OK);
    EXPECT_GT(ReferencesOf(sink_.get()), sinkReferences) << "the filter's output holds the sink's pin";
    ComPtr<IMemAllocator> allocator(filter_->OutputPin()->PeekAllocator());
    ASSERT_TRUE(allocator);

    CBasePin* const pins[] = {source_->GetPin(0), filter_->InputPin(), filter_->OutputPin(), sink_->GetPin(0)};
    for (CBasePin* pin : pins)
        EXPECT_EQ(pin->Disconnect(), S_OK) << PinName(pin);
    EXPECT_EQ(ReferencesOf(source_.get()), sourceReferences);
    EXPECT_EQ(ReferencesOf(filter_.get()), filterReferences);
    EXPECT_EQ(ReferencesOf(sink_.get()), sinkReferences);
    EXPECT_EQ(allocator.detach()->Release(), 0u) << "no pin still holds the allocator";
}

// Samples reach the filter only while it is paused or running, not flushing and
// not past the end of the stream; a sample may change the type only to one the
// filter accepts.
TEST_F(ConnectedPins, InputRefusesSamplesWhileTheStreamMayNotFlow)
{
    ASSERT_EQ(ConnectInput(), S_OK);
    ASSERT_EQ(ConnectOutput(), S_OK);
    IMemInputPin* input = filter_->InputPin();

    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(CMemAllocator::Create(allocator.put()), S_OK);
    ALLOCATOR_PROPERTIES properties{2, 64, 1, 0}, actual{};
    ASSERT_EQ(allocator->SetProperties(&properties, &actual), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(allocator->GetBuffer(sample.put(), nullptr, nullptr, 0), S_OK);
    sample->SetActualDataLength(64);

    EXPECT_EQ(input->Receive(sample.get()), VFW_E_WRONG_STATE) << "stopped";

    // Paused, the source has nothing to push and ends its stream at once.
    ASSERT_TRUE(SUCCEEDED(graph_.control()->Pause()));
    ASSERT_TRUE(source_->WaitUntilDone(5000));
    EXPECT_EQ(sink_->Recorded().endOfStreams, 1) << "the end of stream goes downstream";
    EXPECT_EQ(input->Receive(sample.get()), VFW_E_SAMPLE_REJECTED_EOS) << "after the end of stream";

    EXPECT_EQ(filter_->InputPin()->BeginFlush(), S_OK);
    EXPECT_EQ(input->Receive(sample.get()), S_FALSE) << "flushing";
    EXPECT_EQ(filter_->InputPin()->EndFlush(), S_OK);

    IMediaSample* both[] = {sample.get(), sample.get()};
    LONG processed = 0;
    EXPECT_EQ(input->ReceiveMultiple(both, 2, &processed), S_OK) << "after the flush";
    EXPECT_EQ(processed, 2);
    EXPECT_EQ(sink_->Recorded().data.size(), 128u);

    const CMediaType refused = AudioType(WAVE_FORMAT_PCM, 1, 22050, 8);
    ASSERT_EQ(sample->SetMediaType(const_cast<CMediaType*>(&refused)), S_OK);
    EXPECT_EQ(input->Receive(sample.get()), VFW_E_INVALIDMEDIATYPE) << "a sample with a refused type";
    const CMediaType stereo = AudioType(WAVE_FORMAT_PCM, 2, 22050, 16);
    ASSERT_EQ(sample->SetMediaType(const_cast<CMediaType*>(&stereo)), S_OK);
    EXPECT_EQ(input->Receive(sample.get()), S_OK) << "a sample with another acceptable type";
    EXPECT_TRUE(filter_->ConnectionMediaType() == type_) << "the connection keeps its type";
    EXPECT_EQ(graph_.control()->Stop(), S_OK);
}

} // namespace
