#include "TestFilters.h"

#include "MemAllocator.h"
#include "TestSupport.h"

#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>

// ---------------------------------------------------------------- CHalvingFilter

// {6F0F5A52-3C0B-4D55-9C41-2B7E1D8E4A10}
const CLSID CHalvingFilter::kClsid = {0x6f0f5a52, 0x3c0b, 0x4d55, {0x9c, 0x41, 0x2b, 0x7e, 0x1d, 0x8e, 0x4a, 0x10}};

namespace {
const AMOVIESETUP_MEDIATYPE kAudio = {&MEDIATYPE_Audio, &GUID_NULL};
const AMOVIESETUP_PIN kHalvingPins[] = {
    {const_cast<LPWSTR>(L"Input"), FALSE, FALSE, FALSE, FALSE, &GUID_NULL, L"Output", 1, &kAudio},
    {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &GUID_NULL, L"Input", 1, &kAudio},
};
} // namespace

const AMOVIESETUP_FILTER CHalvingFilter::kSetup = {&CHalvingFilter::kClsid, L"qz framework test: halving",
                                                    MERIT_DO_NOT_USE, 2, kHalvingPins};

CHalvingFilter::CHalvingFilter(LPUNKNOWN outer, HRESULT* result) : CTransInPlaceFilter(outer, kClsid, result) {}

HRESULT CHalvingFilter::CheckInputType(const CMediaType* type)
{
    if (type->majortype != MEDIATYPE_Audio || type->formattype != FORMAT_WaveFormatEx ||
        type->cbFormat < 16)
        return E_INVALIDARG;
    const WAVEFORMATEX& format = WaveFormat(*type);
    const bool pcm16 = format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample == 16;
    const bool float32 = format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && format.wBitsPerSample == 32;
    if (!(pcm16 || float32) || format.nChannels < 1 || format.nChannels > 2)
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CHalvingFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* type)
{
    typesSet.push_back(direction);
    m_bits = WaveFormat(*type).wBitsPerSample;
    return S_OK;
}

HRESULT CHalvingFilter::StartStreaming()
{
    ++starts;
    return S_OK;
}

HRESULT CHalvingFilter::StopStreaming()
{
    ++stops;
    return S_OK;
}

HRESULT CHalvingFilter::Transform(IMediaSample* sample)
{
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr))
        return hr;
    const LONG length = sample->GetActualDataLength();
    if (m_bits == 16) {
        auto* values = reinterpret_cast<int16_t*>(data);
        for (LONG i = 0; i < length / 2; ++i)
            values[i] = static_cast<int16_t>(values[i] / 2);
    } else {
        auto* values = reinterpret_cast<float*>(data);
        for (LONG i = 0; i < length / 4; ++i)
            values[i] *= 0.5f;
    }
    ++transformed;
    return S_OK;
}

// ---------------------------------------------------------------- CRecordingSink

// {0B7C2B1E-5D3A-4E7F-8C21-6A4D9F1E2B33}
static const CLSID kSinkClsid = {0x0b7c2b1e, 0x5d3a, 0x4e7f, {0x8c, 0x21, 0x6a, 0x4d, 0x9f, 0x1e, 0x2b, 0x33}};

class CRecordingSink::Pin : public CBaseInputPin {
public:
    Pin(CRecordingSink* sink, bool ownAllocatorOnly)
        : CBaseInputPin(sink, L"In"), m_sink(sink), m_ownAllocatorOnly(ownAllocatorOnly)
    {
    }

    HRESULT CheckMediaType(const CMediaType* type) override
    {
        return type->majortype == MEDIATYPE_Audio ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override
    {
        HRESULT hr = CBaseInputPin::GetAllocator(allocator);
        if (SUCCEEDED(hr) && m_offered == nullptr)
            m_offered = *allocator;
        return hr;
    }

    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override
    {
        if (m_ownAllocatorOnly && allocator != m_offered)
            return E_FAIL;
        return CBaseInputPin::NotifyAllocator(allocator, readOnly);
    }

    HRESULT BreakConnect() override
    {
        m_offered = nullptr;
        return CBaseInputPin::BreakConnect();
    }

    STDMETHODIMP Receive(IMediaSample* sample) override
    {
        HRESULT hr = CBaseInputPin::Receive(sample);
        if (hr != S_OK)
            return hr;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
        m_sink->m_record.data.insert(m_sink->m_record.data.end(), data, data + sample->GetActualDataLength());
        m_sink->m_record.samples.push_back(sample);
        if (sample->IsDiscontinuity() == S_OK)
            ++m_sink->m_record.discontinuities;
        return S_OK;
    }

    STDMETHODIMP EndOfStream() override
    {
        HRESULT hr = CBaseInputPin::EndOfStream();
        if (hr == S_OK)
            m_sink->EndOfStreamReached();
        return hr;
    }

    STDMETHODIMP BeginFlush() override
    {
        Count(&Record::beginFlushes);
        return CBaseInputPin::BeginFlush();
    }

    STDMETHODIMP EndFlush() override
    {
        Count(&Record::endFlushes);
        return CBaseInputPin::EndFlush();
    }

    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override
    {
        {
            std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
            ++m_sink->m_record.segments;
            m_sink->m_record.segmentStart = start;
            m_sink->m_record.segmentStop = stop;
        }
        return CBaseInputPin::NewSegment(start, stop, rate);
    }

private:
    void Count(int Record::*counter)
    {
        std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
        ++(m_sink->m_record.*counter);
    }

    CRecordingSink* const m_sink;
    const bool m_ownAllocatorOnly;
    IMemAllocator* m_offered = nullptr;  // held by the base pin while connected
};

CRecordingSink::CRecordingSink(bool ownAllocatorOnly) : CRendererFilter(nullptr, kSinkClsid)
{
    m_pin = new Pin(this, ownAllocatorOnly);
}

CRecordingSink::~CRecordingSink()
{
    delete m_pin;
}

CBasePin* CRecordingSink::GetPin(int index)
{
    return index == 0 ? m_pin : nullptr;
}

void CRecordingSink::EndOfStreamReached()
{
    if (m_endOfStreamHook)
        m_endOfStreamHook();
    {
        std::lock_guard<std::mutex> record(m_recordLock);
        ++m_record.endOfStreams;
    }
    ReportEndOfStream();
}

CRecordingSink::Record CRecordingSink::Recorded()
{
    std::lock_guard<std::mutex> lock(m_recordLock);
    return m_record;
}

IMemAllocator* CRecordingSink::NotifiedAllocator()
{
    return m_pin->PeekAllocator();
}

// ---------------------------------------------------------------- CPushSource

// {3E9D1C47-7A2B-4F68-B5D0-91C3E8A6F402}
static const CLSID kPushSourceClsid = {0x3e9d1c47, 0x7a2b, 0x4f68, {0xb5, 0xd0, 0x91, 0xc3, 0xe8, 0xa6, 0xf4, 0x02}};

class CPushSource::Pin : public CBaseOutputPin {
public:
    Pin(CPushSource* source, const CMediaType& type, std::vector<std::vector<BYTE>> buffers, bool readOnly,
        bool markFirst)
        : CBaseOutputPin(source, L"Out"), m_source(source), m_type(type), m_buffers(std::move(buffers)),
          m_readOnly(readOnly), m_markFirst(markFirst), m_done(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
    }

    ~Pin() override
    {
        Join();
        CloseHandle(m_done);
    }

    HRESULT CheckMediaType(const CMediaType* type) override
    {
        return *type == m_type ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT GetMediaType(int position, CMediaType* type) override
    {
        if (position != 0)
            return CBaseOutputPin::GetMediaType(position, type);
        return type->Set(m_type);
    }

    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override
    {
        HRESULT hr = CMemAllocator::Create(allocator);
        if (FAILED(hr))
            return hr;
        ALLOCATOR_PROPERTIES request{};
        hr = DecideBufferSize(*allocator, &request);
        if (SUCCEEDED(hr))
            hr = pin->NotifyAllocator(*allocator, m_readOnly ? TRUE : FALSE);
        if (FAILED(hr)) {
            (*allocator)->Release();
            *allocator = nullptr;
        }
        return hr;
    }

    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* /*request*/) override
    {
        // At least one byte even with nothing to push: an allocator without a size
        // cannot be committed.
        ALLOCATOR_PROPERTIES wanted{2, 1, 1, 0};
        for (const auto& buffer : m_buffers)
            wanted.cbBuffer = std::max(wanted.cbBuffer, static_cast<LONG>(buffer.size()));
        ALLOCATOR_PROPERTIES actual{};
        return allocator->SetProperties(&wanted, &actual);
    }

    HRESULT Active() override
    {
        HRESULT hr = CBaseOutputPin::Active();
        if (FAILED(hr))
            return hr;
        ResetEvent(m_done);
        m_thread = std::thread([this] { Push(); });
        return S_OK;
    }

    // Decommitting wakes the worker if it waits for a buffer.
    HRESULT Inactive() override
    {
        HRESULT hr = CBaseOutputPin::Inactive();
        Join();
        return hr;
    }

    bool WaitUntilDone(DWORD milliseconds) { return WaitForSingleObject(m_done, milliseconds) == WAIT_OBJECT_0; }
    void BeforeEachBuffer(std::function<void(size_t)> hook) { m_beforeEach = std::move(hook); }

    std::vector<IMediaSample*> Delivered()
    {
        std::lock_guard<std::mutex> lock(m_deliveredLock);
        return m_delivered;
    }

private:
    void Push()
    {
        const WAVEFORMATEX& format = WaveFormat(m_type);
        REFERENCE_TIME start = 0;
        for (size_t i = 0; i < m_buffers.size(); ++i) {
            const std::vector<BYTE>& buffer = m_buffers[i];
            if (m_beforeEach)
                m_beforeEach(i);
            IMediaSample* sample = nullptr;
            HRESULT hr = GetDeliveryBuffer(&sample);
            if (FAILED(hr)) {
                m_source->m_lastResult = hr;
                return;
            }
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            std::memcpy(data, buffer.data(), buffer.size());
            sample->SetActualDataLength(static_cast<LONG>(buffer.size()));
            REFERENCE_TIME end = start + 10000000LL * static_cast<LONGLONG>(buffer.size()) /
                                             format.nAvgBytesPerSec;
            sample->SetTime(&start, &end);
            sample->SetSyncPoint(TRUE);
            sample->SetDiscontinuity(i == 0 && m_markFirst);
            start = end;
            {
                std::lock_guard<std::mutex> lock(m_deliveredLock);
                m_delivered.push_back(sample);
            }
            hr = Deliver(sample);
            if (std::memcmp(data, buffer.data(), buffer.size()) != 0)
                ++m_source->m_changed;
            sample->Release();
            m_source->m_lastResult = hr;
            if (FAILED(hr))
                return;
        }
        m_source->m_lastResult = DeliverEndOfStream();
        SetEvent(m_done);
    }

    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    CPushSource* const m_source;
    const CMediaType m_type;
    const std::vector<std::vector<BYTE>> m_buffers;
    const bool m_readOnly;
    const bool m_markFirst;
    const HANDLE m_done;
    std::function<void(size_t)> m_beforeEach;
    std::thread m_thread;
    std::mutex m_deliveredLock;
    std::vector<IMediaSample*> m_delivered;
};

CPushSource::CPushSource(const CMediaType& type, std::vector<std::vector<BYTE>> buffers, bool readOnly, bool markFirst)
    : CBaseFilter(nullptr, kPushSourceClsid)
{
    m_pin = new Pin(this, type, std::move(buffers), readOnly, markFirst);
}

CPushSource::~CPushSource()
{
    delete m_pin;
}

CBasePin* CPushSource::GetPin(int index)
{
    return index == 0 ? m_pin : nullptr;
}

void CPushSource::BeforeEachBuffer(std::function<void(size_t)> hook)
{
    m_pin->BeforeEachBuffer(std::move(hook));
}

bool CPushSource::WaitUntilDone(DWORD milliseconds)
{
    return m_pin->WaitUntilDone(milliseconds);
}

std::vector<IMediaSample*> CPushSource::Delivered()
{
    return m_pin->Delivered();
}

IMemAllocator* CPushSource::Allocator()
{
    return m_pin->PeekAllocator();
}
