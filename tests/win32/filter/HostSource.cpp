#include "HostSource.h"

#include "TestSupport.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>

// {6A0F3C2D-91B4-4E57-A8D2-3C7E5B19F064}
static const CLSID kHostSourceClsid = {0x6a0f3c2d, 0x91b4, 0x4e57, {0xa8, 0xd2, 0x3c, 0x7e, 0x5b, 0x19, 0xf0, 0x64}};

class CHostSource::Pin : public CBaseOutputPin {
public:
    Pin(CHostSource* source, const CMediaType& type, const ALLOCATOR_PROPERTIES& buffers)
        : CBaseOutputPin(source, L"Out"), m_type(type), m_buffers(buffers)
    {
    }

    HRESULT CheckMediaType(const CMediaType* type) override
    {
        return *type == m_type ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT GetMediaType(int position, CMediaType* type) override
    {
        return position == 0 ? type->Set(m_type) : CBaseOutputPin::GetMediaType(position, type);
    }

    // Wine's memory allocator, whatever the input pin offers.
    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override
    {
        HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                      reinterpret_cast<void**>(allocator));
        if (FAILED(hr))
            return hr;
        ALLOCATOR_PROPERTIES request = m_buffers;
        hr = DecideBufferSize(*allocator, &request);
        if (SUCCEEDED(hr))
            hr = pin->NotifyAllocator(*allocator, FALSE);
        if (FAILED(hr)) {
            (*allocator)->Release();
            *allocator = nullptr;
        }
        return hr;
    }

    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        ALLOCATOR_PROPERTIES actual{};
        return allocator->SetProperties(request, &actual);
    }

    HRESULT Push(const Buffer& buffer)
    {
        IMediaSample* sample = nullptr;
        HRESULT hr = GetDeliveryBuffer(&sample);
        if (FAILED(hr))
            return hr;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        if (buffer.bytes > static_cast<size_t>(sample->GetSize())) {
            sample->Release();
            return E_INVALIDARG;
        }
        std::memcpy(data, buffer.data, buffer.bytes);
        sample->SetActualDataLength(static_cast<LONG>(buffer.bytes));
        if (buffer.start != nullptr)
            sample->SetTime(const_cast<REFERENCE_TIME*>(buffer.start), nullptr);
        sample->SetDiscontinuity(buffer.discontinuity);
        sample->SetSyncPoint(TRUE);
        if (buffer.attached != nullptr)
            sample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(buffer.attached));
        hr = Deliver(sample);
        sample->Release();
        return hr;
    }

private:
    const CMediaType m_type;
    const ALLOCATOR_PROPERTIES m_buffers;
};

CHostSource::CHostSource(const CMediaType& type, const ALLOCATOR_PROPERTIES& buffers)
    : CBaseFilter(nullptr, kHostSourceClsid), m_pin(new Pin(this, type, buffers))
{
}

CHostSource::~CHostSource() { delete m_pin; }

CBasePin* CHostSource::GetPin(int index) { return index == 0 ? m_pin : nullptr; }

HRESULT CHostSource::Push(const Buffer& buffer) { return m_pin->Push(buffer); }
HRESULT CHostSource::EndOfStream() { return m_pin->DeliverEndOfStream(); }
HRESULT CHostSource::BeginFlush() { return m_pin->DeliverBeginFlush(); }
HRESULT CHostSource::EndFlush() { return m_pin->DeliverEndFlush(); }

HRESULT CHostSource::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return m_pin->DeliverNewSegment(start, stop, rate);
}

IMemAllocator* CHostSource::Allocator() { return m_pin->PeekAllocator(); }
