// CMemAllocator and its samples against the IMemAllocator and IMediaSample contracts.

#include "MemAllocator.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vfwmsgs.h>

#include <cstdint>
#include <cstring>
#include <thread>

namespace {

class MemAllocator : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CMemAllocator::Create(allocator_.put()), S_OK); }

    void SetUpPool(LONG buffers, LONG size, LONG align = 1, LONG prefix = 0)
    {
        ALLOCATOR_PROPERTIES request{buffers, size, align, prefix}, actual{};
        ASSERT_EQ(allocator_->SetProperties(&request, &actual), S_OK);
        EXPECT_EQ(actual.cBuffers, buffers);
        EXPECT_EQ(actual.cbBuffer, size);
        EXPECT_EQ(actual.cbAlign, align);
        EXPECT_EQ(actual.cbPrefix, prefix);
        ASSERT_EQ(allocator_->Commit(), S_OK);
    }

    HRESULT Get(ComPtr<IMediaSample>& sample, DWORD flags = 0)
    {
        return allocator_->GetBuffer(sample.put(), nullptr, nullptr, flags);
    }

    ComPtr<IMemAllocator> allocator_;
};

TEST_F(MemAllocator, RefusesToWorkWithoutPropertiesOrCommit)
{
    ComPtr<IMediaSample> sample;
    EXPECT_EQ(allocator_->Commit(), VFW_E_SIZENOTSET) << "Commit before SetProperties";
    EXPECT_EQ(Get(sample), VFW_E_NOT_COMMITTED) << "GetBuffer before Commit";
    EXPECT_FALSE(sample);

    ALLOCATOR_PROPERTIES request{1, 100, 3, 0}, actual{};
    EXPECT_EQ(allocator_->SetProperties(&request, &actual), VFW_E_BADALIGN) << "alignment 3";
    SetUpPool(1, 100);
    request.cbAlign = 1;
    EXPECT_EQ(allocator_->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);

    ASSERT_EQ(Get(sample), S_OK);
    EXPECT_EQ(allocator_->Decommit(), S_OK);
    EXPECT_EQ(allocator_->SetProperties(&request, &actual), VFW_E_BUFFERS_OUTSTANDING);
    sample.reset();
    EXPECT_EQ(allocator_->SetProperties(&request, &actual), S_OK) << "all buffers back";
}

TEST_F(MemAllocator, HandsOutEachAlignedBufferOnceUntilItComesBack)
{
    SetUpPool(3, 1000, 16, 8);
    ComPtr<IMediaSample> samples[3];
    BYTE* pointers[3] = {};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Get(samples[i]), S_OK);
        ASSERT_EQ(samples[i]->GetPointer(&pointers[i]), S_OK);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(pointers[i]) % 16, 0u) << "buffer " << i;
        EXPECT_EQ(samples[i]->GetSize(), 1000);
        // The buffer and the prefix in front of it are ours to write.
        std::memset(pointers[i] - 8, i, 1008);
    }
    EXPECT_NE(pointers[0], pointers[1]);
    EXPECT_NE(pointers[1], pointers[2]);
    EXPECT_NE(pointers[0], pointers[2]);

    ComPtr<IMediaSample> fourth;
    EXPECT_EQ(Get(fourth, AM_GBF_NOWAIT), VFW_E_TIMEOUT) << "every buffer is out";
    BYTE* returned = pointers[1];
    samples[1].reset();
    ASSERT_EQ(Get(fourth, AM_GBF_NOWAIT), S_OK);
    BYTE* again = nullptr;
    fourth->GetPointer(&again);
    EXPECT_EQ(again, returned);
}

TEST_F(MemAllocator, WaitingGetBufferWakesWhenABufferReturns)
{
    SetUpPool(1, 16);
    ComPtr<IMediaSample> held;
    ASSERT_EQ(Get(held), S_OK);
    HRESULT waited = E_FAIL;
    std::thread waiter([&] {
        ComPtr<IMediaSample> sample;
        waited = Get(sample);
    });
    Sleep(50);
    held.reset();
    waiter.join();
    EXPECT_EQ(waited, S_OK);
}

TEST_F(MemAllocator, DecommitWakesAWaitingGetBuffer)
{
    SetUpPool(1, 16);
    ComPtr<IMediaSample> held;
    ASSERT_EQ(Get(held), S_OK);
    HRESULT waited = E_FAIL;
    std::thread waiter([&] {
        ComPtr<IMediaSample> sample;
        waited = Get(sample);
    });
    Sleep(50);
    EXPECT_EQ(allocator_->Decommit(), S_OK);
    waiter.join();
    EXPECT_EQ(waited, VFW_E_NOT_COMMITTED);
}

TEST_F(MemAllocator, AnOutstandingSampleKeepsItsAllocator)
{
    SetUpPool(1, 16);
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(Get(sample), S_OK);
    allocator_.reset();
    EXPECT_EQ(framework::CanUnloadNow(), S_FALSE) << "the allocator lives while its sample is out";
    BYTE* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    data[15] = 0x5a;
    sample.reset();
    EXPECT_EQ(framework::CanUnloadNow(), S_OK) << "the last sample took its allocator with it";
}

TEST_F(MemAllocator, SampleTimesFollowTheContract)
{
    SetUpPool(1, 16);
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(Get(sample), S_OK);
    REFERENCE_TIME start = -1, end = -1;
    EXPECT_EQ(sample->GetTime(&start, &end), VFW_E_SAMPLE_TIME_NOT_SET);

    REFERENCE_TIME setStart = 1000, setEnd = 3000;
    ASSERT_EQ(sample->SetTime(&setStart, nullptr), S_OK);
    EXPECT_EQ(sample->GetTime(&start, &end), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(start, 1000);
    EXPECT_EQ(end, 1001) << "no stop time reads as start + 1";

    ASSERT_EQ(sample->SetTime(&setStart, &setEnd), S_OK);
    EXPECT_EQ(sample->GetTime(&start, &end), S_OK);
    EXPECT_EQ(end, 3000);
    ASSERT_EQ(sample->SetTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(sample->GetTime(&start, &end), VFW_E_SAMPLE_TIME_NOT_SET);

    LONGLONG mediaStart = 0, mediaEnd = 0;
    EXPECT_EQ(sample->GetMediaTime(&mediaStart, &mediaEnd), VFW_E_MEDIA_TIME_NOT_SET);
    LONGLONG frame = 44100, nextFrame = 45100;
    ASSERT_EQ(sample->SetMediaTime(&frame, &nextFrame), S_OK);
    EXPECT_EQ(sample->GetMediaTime(&mediaStart, &mediaEnd), S_OK);
    EXPECT_EQ(mediaStart, 44100);
    EXPECT_EQ(mediaEnd, 45100);
    ASSERT_EQ(sample->SetMediaTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(sample->GetMediaTime(&mediaStart, &mediaEnd), VFW_E_MEDIA_TIME_NOT_SET);
}

TEST_F(MemAllocator, SampleFlagsLengthAndTypeResetWhenTheBufferIsReused)
{
    SetUpPool(1, 16);
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(Get(sample), S_OK);
    EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(sample->IsPreroll(), S_FALSE);
    EXPECT_EQ(sample->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(sample->GetActualDataLength(), 0);
    AM_MEDIA_TYPE* type = reinterpret_cast<AM_MEDIA_TYPE*>(0x1);
    EXPECT_EQ(sample->GetMediaType(&type), S_FALSE);
    EXPECT_EQ(type, nullptr);

    EXPECT_EQ(sample->SetSyncPoint(TRUE), S_OK);
    EXPECT_EQ(sample->SetPreroll(TRUE), S_OK);
    EXPECT_EQ(sample->SetDiscontinuity(TRUE), S_OK);
    EXPECT_EQ(sample->IsSyncPoint(), S_OK);
    EXPECT_EQ(sample->IsPreroll(), S_OK);
    EXPECT_EQ(sample->IsDiscontinuity(), S_OK);
    EXPECT_EQ(sample->SetActualDataLength(17), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(sample->SetActualDataLength(16), S_OK);
    EXPECT_EQ(sample->GetActualDataLength(), 16);
    CMediaType audio = AudioType(WAVE_FORMAT_PCM, 2, 44100, 16);
    ASSERT_EQ(sample->SetMediaType(&audio), S_OK);
    ASSERT_EQ(sample->GetMediaType(&type), S_OK);
    EXPECT_TRUE(CMediaType(*type) == audio);
    EXPECT_NE(type->pbFormat, audio.pbFormat) << "the caller gets a copy";
    DeleteMediaType(type);
    REFERENCE_TIME start = 5;
    sample->SetTime(&start, nullptr);

    sample.reset();
    ASSERT_EQ(Get(sample), S_OK);
    REFERENCE_TIME end;
    EXPECT_EQ(sample->GetTime(&start, &end), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(sample->IsPreroll(), S_FALSE);
    EXPECT_EQ(sample->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(sample->GetActualDataLength(), 0);
    EXPECT_EQ(sample->GetMediaType(&type), S_FALSE);
}

} // namespace
