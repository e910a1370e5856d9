// A memory allocator and its media samples: a fixed pool of equal buffers, handed
// out by GetBuffer and returned when a sample's last reference is released.
#pragma once

#include "CritSec.h"
#include "Unknown.h"

#include <strmif.h>

class CMemAllocator;

// One buffer of a CMemAllocator with the properties the stream attaches to it. The
// sample counts its own references; at zero it goes back to its allocator.
class CMediaSample final : public IMediaSample {
public:
    CMediaSample(CMemAllocator* allocator, BYTE* buffer, LONG size);
    ~CMediaSample();
    CMediaSample(const CMediaSample&) = delete;
    CMediaSample& operator=(const CMediaSample&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetPointer(BYTE** buffer) override;
    STDMETHODIMP_(LONG) GetSize() override;
    STDMETHODIMP GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    STDMETHODIMP SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    STDMETHODIMP IsSyncPoint() override;
    STDMETHODIMP SetSyncPoint(BOOL syncPoint) override;
    STDMETHODIMP IsPreroll() override;
    STDMETHODIMP SetPreroll(BOOL preroll) override;
    STDMETHODIMP_(LONG) GetActualDataLength() override;
    STDMETHODIMP SetActualDataLength(LONG length) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP IsDiscontinuity() override;
    STDMETHODIMP SetDiscontinuity(BOOL discontinuity) override;
    STDMETHODIMP GetMediaTime(LONGLONG* start, LONGLONG* end) override;
    STDMETHODIMP SetMediaTime(LONGLONG* start, LONGLONG* end) override;

private:
    friend class CMemAllocator;

    enum : DWORD {
        kSyncPoint = 1,
        kPreroll = 2,
        kDiscontinuity = 4,
        kStartTime = 8,
        kStopTime = 16,
        kMediaTime = 32,
    };

    // What a buffer looks like when GetBuffer hands it out: no data, no times, no flags.
    void Reset();
    void SetFlag(DWORD flag, BOOL on);

    CMemAllocator* const m_allocator;
    BYTE* const m_buffer;
    const LONG m_size;
    volatile LONG m_cRef = 0;
    LONG m_actualLength = 0;
    DWORD m_flags = 0;
    REFERENCE_TIME m_start = 0;
    REFERENCE_TIME m_end = 0;
    LONGLONG m_mediaStart = 0;
    LONGLONG m_mediaEnd = 0;
    AM_MEDIA_TYPE* m_type = nullptr;
    // The allocator's lists: every sample of the pool, and the free ones.
    CMediaSample* m_nextInPool = nullptr;
    CMediaSample* m_nextFree = nullptr;
    bool m_inUse = false;
};

class CMemAllocator : public CUnknown, public IMemAllocator {
public:
    // A new allocator with one reference.
    static HRESULT Create(IMemAllocator** allocator);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // Buffers are allocated on Commit, with the properties set last; a count or an
    // alignment of 0 is taken as 1.
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* properties) override;
    STDMETHODIMP Commit() override;
    // Wakes every GetBuffer that waits; the memory goes when the last sample is back.
    STDMETHODIMP Decommit() override;
    // Waits for a free buffer unless AM_GBF_NOWAIT is given. The time arguments are
    // hints this allocator does not use.
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                           DWORD flags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

private:
    explicit CMemAllocator(HANDLE freeSignal);
    ~CMemAllocator() override;

    HRESULT AllocateBuffers();
    void FreeBuffers();
    bool AllSamplesFree() const;

    CCritSec m_lock;
    ALLOCATOR_PROPERTIES m_properties{};
    bool m_committed = false;
    BYTE* m_memory = nullptr;
    CMediaSample* m_pool = nullptr;
    CMediaSample* m_free = nullptr;
    // GetBuffer calls waiting for a buffer, and the semaphore that lets them retry.
    LONG m_waiting = 0;
    const HANDLE m_freeSignal;
};
