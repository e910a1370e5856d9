#include "MemAllocator.h"

#include "MediaType.h"

#include <vfwmsgs.h>

#include <cstdint>
#include <new>

// ---------------------------------------------------------------- CMediaSample

CMediaSample::CMediaSample(CMemAllocator* allocator, BYTE* buffer, LONG size)
    : m_allocator(allocator), m_buffer(buffer), m_size(size)
{
}

CMediaSample::~CMediaSample()
{
    DeleteMediaType(m_type);
}

STDMETHODIMP CMediaSample::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMediaSample)
        return GetInterface(static_cast<IMediaSample*>(this), object);
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaSample::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CMediaSample::Release()
{
    LONG count = InterlockedDecrement(&m_cRef);
    if (count == 0)
        m_allocator->ReleaseBuffer(this);
    return static_cast<ULONG>(count);
}

void CMediaSample::Reset()
{
    m_actualLength = 0;
    m_flags = 0;
    DeleteMediaType(m_type);
    m_type = nullptr;
}

void CMediaSample::SetFlag(DWORD flag, BOOL on)
{
    m_flags = on ? (m_flags | flag) : (m_flags & ~flag);
}

STDMETHODIMP CMediaSample::GetPointer(BYTE** buffer)
{
    if (buffer == nullptr)
        return E_POINTER;
    *buffer = m_buffer;
    return S_OK;
}

STDMETHODIMP_(LONG) CMediaSample::GetSize()
{
    return m_size;
}

STDMETHODIMP CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    if (start == nullptr || end == nullptr)
        return E_POINTER;
    if (!(m_flags & kStartTime))
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = m_start;
    if (!(m_flags & kStopTime)) {
        *end = m_start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *end = m_end;
    return S_OK;
}

STDMETHODIMP CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    // No start time clears both; a stop time without a start time means nothing.
    SetFlag(kStartTime, start != nullptr);
    SetFlag(kStopTime, start != nullptr && end != nullptr);
    if (start != nullptr)
        m_start = *start;
    if (start != nullptr && end != nullptr)
        m_end = *end;
    return S_OK;
}

STDMETHODIMP CMediaSample::IsSyncPoint()
{
    return (m_flags & kSyncPoint) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetSyncPoint(BOOL syncPoint)
{
    SetFlag(kSyncPoint, syncPoint);
    return S_OK;
}

STDMETHODIMP CMediaSample::IsPreroll()
{
    return (m_flags & kPreroll) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetPreroll(BOOL preroll)
{
    SetFlag(kPreroll, preroll);
    return S_OK;
}

STDMETHODIMP_(LONG) CMediaSample::GetActualDataLength()
{
    return m_actualLength;
}

STDMETHODIMP CMediaSample::SetActualDataLength(LONG length)
{
    if (length < 0 || length > m_size)
        return VFW_E_BUFFER_OVERFLOW;
    m_actualLength = length;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaType(AM_MEDIA_TYPE** type)
{
    if (type == nullptr)
        return E_POINTER;
    if (m_type == nullptr) {
        *type = nullptr;
        return S_FALSE;
    }
    *type = CreateMediaType(m_type);
    return *type != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMediaSample::SetMediaType(AM_MEDIA_TYPE* type)
{
    AM_MEDIA_TYPE* copy = nullptr;
    if (type != nullptr) {
        copy = CreateMediaType(type);
        if (copy == nullptr)
            return E_OUTOFMEMORY;
    }
    DeleteMediaType(m_type);
    m_type = copy;
    return S_OK;
}

STDMETHODIMP CMediaSample::IsDiscontinuity()
{
    return (m_flags & kDiscontinuity) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetDiscontinuity(BOOL discontinuity)
{
    SetFlag(kDiscontinuity, discontinuity);
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (start == nullptr || end == nullptr)
        return E_POINTER;
    if (!(m_flags & kMediaTime))
        return VFW_E_MEDIA_TIME_NOT_SET;
    *start = m_mediaStart;
    *end = m_mediaEnd;
    return S_OK;
}

STDMETHODIMP CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (start == nullptr) {
        SetFlag(kMediaTime, FALSE);
        return S_OK;
    }
    if (end == nullptr)
        return E_POINTER;
    m_mediaStart = *start;
    m_mediaEnd = *end;
    SetFlag(kMediaTime, TRUE);
    return S_OK;
}

// ---------------------------------------------------------------- CMemAllocator

HRESULT CMemAllocator::Create(IMemAllocator** allocator)
{
    if (allocator == nullptr)
        return E_POINTER;
    *allocator = nullptr;
    HANDLE signal = CreateSemaphoreW(nullptr, 0, 0x7fffffff, nullptr);
    if (signal == nullptr)
        return HRESULT_FROM_WIN32(GetLastError());
    auto* created = new (std::nothrow) CMemAllocator(signal);
    if (created == nullptr) {
        CloseHandle(signal);
        return E_OUTOFMEMORY;
    }
    *allocator = created;
    created->NonDelegatingAddRef();
    return S_OK;
}

CMemAllocator::CMemAllocator(HANDLE freeSignal) : CUnknown(nullptr), m_freeSignal(freeSignal) {}

CMemAllocator::~CMemAllocator()
{
    // Every sample holds a reference on its allocator while it is out, so all are back.
    FreeBuffers();
    CloseHandle(m_freeSignal);
}

STDMETHODIMP CMemAllocator::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IMemAllocator)
        return GetInterface(static_cast<IMemAllocator*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    if (request == nullptr || actual == nullptr)
        return E_POINTER;
    LONG align = request->cbAlign == 0 ? 1 : request->cbAlign;
    if (align < 0 || (align & (align - 1)) != 0)
        return VFW_E_BADALIGN;
    if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0)
        return E_INVALIDARG;

    CAutoLock lock(&m_lock);
    if (m_committed)
        return VFW_E_ALREADY_COMMITTED;
    if (!AllSamplesFree())
        return VFW_E_BUFFERS_OUTSTANDING;
    // Buffers of the previous properties are no longer wanted.
    FreeBuffers();
    m_properties.cBuffers = request->cBuffers == 0 ? 1 : request->cBuffers;
    m_properties.cbBuffer = request->cbBuffer;
    m_properties.cbAlign = align;
    m_properties.cbPrefix = request->cbPrefix;
    *actual = m_properties;
    return S_OK;
}

STDMETHODIMP CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties)
{
    if (properties == nullptr)
        return E_POINTER;
    CAutoLock lock(&m_lock);
    *properties = m_properties;
    return S_OK;
}

STDMETHODIMP CMemAllocator::Commit()
{
    CAutoLock lock(&m_lock);
    if (m_committed)
        return S_OK;
    if (m_properties.cbBuffer <= 0)
        return VFW_E_SIZENOTSET;
    if (m_memory == nullptr) {
        HRESULT hr = AllocateBuffers();
        if (FAILED(hr))
            return hr;
    }
    m_committed = true;
    return S_OK;
}

STDMETHODIMP CMemAllocator::Decommit()
{
    CAutoLock lock(&m_lock);
    if (!m_committed)
        return S_OK;
    m_committed = false;
    if (m_waiting > 0) {
        ReleaseSemaphore(m_freeSignal, m_waiting, nullptr);
        m_waiting = 0;
    }
    if (AllSamplesFree())
        FreeBuffers();
    return S_OK;
}

STDMETHODIMP CMemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* /*start*/,
                                      REFERENCE_TIME* /*end*/, DWORD flags)
{
    if (sample == nullptr)
        return E_POINTER;
    *sample = nullptr;
    CMediaSample* taken = nullptr;
    for (;;) {
        {
            CAutoLock lock(&m_lock);
            if (!m_committed)
                return VFW_E_NOT_COMMITTED;
            if (m_free != nullptr) {
                taken = m_free;
                m_free = taken->m_nextFree;
                taken->m_inUse = true;
                taken->m_cRef = 1;
                break;
            }
            if (flags & AM_GBF_NOWAIT)
                return VFW_E_TIMEOUT;
            ++m_waiting;
        }
        WaitForSingleObject(m_freeSignal, INFINITE);
    }
    // The sample keeps its allocator alive while it is out.
    NonDelegatingAddRef();
    *sample = taken;
    return S_OK;
}

STDMETHODIMP CMemAllocator::ReleaseBuffer(IMediaSample* sample)
{
    if (sample == nullptr)
        return E_POINTER;
    {
        CAutoLock lock(&m_lock);
        CMediaSample* returned = m_pool;
        while (returned != nullptr && static_cast<IMediaSample*>(returned) != sample)
            returned = returned->m_nextInPool;
        if (returned == nullptr || !returned->m_inUse)
            return E_INVALIDARG;

        returned->Reset();
        returned->m_inUse = false;
        returned->m_nextFree = m_free;
        m_free = returned;
        if (m_waiting > 0) {
            --m_waiting;
            ReleaseSemaphore(m_freeSignal, 1, nullptr);
        }
        if (!m_committed && AllSamplesFree())
            FreeBuffers();
    }
    // Outside the lock: this may be the last reference.
    NonDelegatingRelease();
    return S_OK;
}

HRESULT CMemAllocator::AllocateBuffers()
{
    const LONG align = m_properties.cbAlign;
    // Each buffer starts aligned and has cbPrefix writable bytes in front of it.
    const uint64_t stride = (uint64_t(m_properties.cbPrefix) + m_properties.cbBuffer + align - 1) / align * align;
    const uint64_t bytes = stride * m_properties.cBuffers + align + m_properties.cbPrefix;
    if (bytes > 0x7fffffff)
        return E_OUTOFMEMORY;
    m_memory = new (std::nothrow) BYTE[static_cast<size_t>(bytes)];
    if (m_memory == nullptr)
        return E_OUTOFMEMORY;

    const uintptr_t first = (reinterpret_cast<uintptr_t>(m_memory) + m_properties.cbPrefix + align - 1) /
                            align * align;
    for (LONG i = 0; i < m_properties.cBuffers; ++i) {
        BYTE* buffer = reinterpret_cast<BYTE*>(first + i * static_cast<uintptr_t>(stride));
        auto* sample = new (std::nothrow) CMediaSample(this, buffer, m_properties.cbBuffer);
        if (sample == nullptr) {
            FreeBuffers();
            return E_OUTOFMEMORY;
        }
        sample->m_nextInPool = m_pool;
        m_pool = sample;
        sample->m_nextFree = m_free;
        m_free = sample;
    }
    return S_OK;
}

void CMemAllocator::FreeBuffers()
{
    while (m_pool != nullptr) {
        CMediaSample* next = m_pool->m_nextInPool;
        delete m_pool;
        m_pool = next;
    }
    m_free = nullptr;
    delete[] m_memory;
    m_memory = nullptr;
}

bool CMemAllocator::AllSamplesFree() const
{
    for (const CMediaSample* sample = m_pool; sample != nullptr; sample = sample->m_nextInPool) {
        if (sample->m_inUse)
            return false;
    }
    return true;
}
