#include "Pins.h"

#include "BaseFilter.h"
#include "Enumerators.h"
#include "MemAllocator.h"

#include <vfwmsgs.h>

#include <cstring>
#include <cwchar>
#include <utility>

// ---------------------------------------------------------------- CBasePin

CBasePin::CBasePin(CBaseFilter* filter, const WCHAR* name, PIN_DIRECTION direction)
    : m_filter(filter), m_lock(filter->FilterLock()), m_direction(direction)
{
    std::wcsncpy(m_name, name, MAX_PIN_NAME - 1);
    m_name[MAX_PIN_NAME - 1] = L'\0';
}

STDMETHODIMP CBasePin::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin)
        return GetInterface(static_cast<IPin*>(this), object);
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CBasePin::AddRef()
{
    return m_filter->GetOwner()->AddRef();
}

STDMETHODIMP_(ULONG) CBasePin::Release()
{
    return m_filter->GetOwner()->Release();
}

STDMETHODIMP CBasePin::Disconnect()
{
    CAutoLock lock(m_lock);
    if (!m_filter->IsStopped())
        return VFW_E_NOT_STOPPED;
    if (!m_connected)
        return S_FALSE;
    HRESULT hr = BreakConnect();
    if (FAILED(hr))
        return hr;
    ClearConnection();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pin)
{
    if (pin == nullptr)
        return E_POINTER;
    CAutoLock lock(&m_connectionLock);
    *pin = m_connected.get();
    if (*pin == nullptr)
        return VFW_E_NOT_CONNECTED;
    (*pin)->AddRef();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (type == nullptr)
        return E_POINTER;
    CAutoLock lock(m_lock);
    if (!m_connected) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* info)
{
    if (info == nullptr)
        return E_POINTER;
    info->pFilter = m_filter;
    m_filter->AddRef();
    info->dir = m_direction;
    std::wcscpy(info->achName, m_name);
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* direction)
{
    if (direction == nullptr)
        return E_POINTER;
    *direction = m_direction;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* id)
{
    if (id == nullptr)
        return E_POINTER;
    const size_t bytes = (std::wcslen(m_name) + 1) * sizeof(WCHAR);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*id == nullptr)
        return E_OUTOFMEMORY;
    std::memcpy(*id, m_name, bytes);
    return S_OK;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    if (type == nullptr)
        return E_POINTER;
    CAutoLock lock(m_lock);
    CMediaType proposed(*type);
    return CheckMediaType(&proposed) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** types)
{
    return CEnumMediaTypes::Create(this, types);
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin** /*pins*/, ULONG* /*count*/)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME /*start*/, REFERENCE_TIME /*stop*/, double /*rate*/)
{
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int position, CMediaType* /*type*/)
{
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::SetMediaType(const CMediaType* type)
{
    return m_mt.Set(*type);
}

HRESULT CBasePin::CheckConnect(IPin* pin)
{
    PIN_DIRECTION direction;
    HRESULT hr = pin->QueryDirection(&direction);
    if (FAILED(hr))
        return hr;
    return direction == m_direction ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin* /*pin*/)
{
    return S_OK;
}

HRESULT CBasePin::BreakConnect()
{
    return S_OK;
}

HRESULT CBasePin::Active()
{
    return S_OK;
}

HRESULT CBasePin::Inactive()
{
    return S_OK;
}

void CBasePin::ClearConnection()
{
    SetConnected(nullptr);
    m_mt.Clear();
}

void CBasePin::SetConnected(IPin* pin)
{
    ComPtr<IPin> previous(pin);
    {
        CAutoLock lock(&m_connectionLock);
        std::swap(m_connected, previous);
    }
    // The pin that was connected is released here, outside the lock.
}

// ---------------------------------------------------------------- CBaseInputPin

CBaseInputPin::CBaseInputPin(CBaseFilter* filter, const WCHAR* name) : CBasePin(filter, name, PINDIR_INPUT) {}

STDMETHODIMP CBaseInputPin::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IMemInputPin)
        return GetInterface(static_cast<IMemInputPin*>(this), object);
    return CBasePin::QueryInterface(iid, object);
}

STDMETHODIMP CBaseInputPin::Connect(IPin* /*receivePin*/, const AM_MEDIA_TYPE* /*type*/)
{
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseInputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type)
{
    if (connector == nullptr || type == nullptr)
        return E_POINTER;
    CAutoLock lock(m_lock);
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!m_filter->IsStopped())
        return VFW_E_NOT_STOPPED;

    HRESULT hr = CheckConnect(connector);
    if (SUCCEEDED(hr)) {
        CMediaType proposed(*type);
        if (CheckMediaType(&proposed) != S_OK) {
            hr = VFW_E_TYPE_NOT_ACCEPTED;
        } else {
            SetConnected(connector);
            hr = SetMediaType(&proposed);
            if (SUCCEEDED(hr))
                hr = CompleteConnect(connector);
            if (FAILED(hr))
                ClearConnection();
        }
    }
    if (FAILED(hr))
        BreakConnect();
    return hr;
}

HRESULT CBaseInputPin::CheckStreaming()
{
    if (!m_connected)
        return VFW_E_NOT_CONNECTED;
    if (m_filter->IsStopped())
        return VFW_E_WRONG_STATE;
    if (m_flushing)
        return S_FALSE;
    if (m_atEndOfStream)
        return VFW_E_SAMPLE_REJECTED_EOS;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::EndOfStream()
{
    HRESULT hr = CheckStreaming();
    if (hr == S_OK)
        m_atEndOfStream = true;
    return hr;
}

STDMETHODIMP CBaseInputPin::BeginFlush()
{
    CAutoLock lock(m_lock);
    m_flushing = true;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush()
{
    CAutoLock lock(m_lock);
    m_flushing = false;
    m_atEndOfStream = false;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (allocator == nullptr)
        return E_POINTER;
    *allocator = nullptr;
    CAutoLock lock(m_lock);
    if (!m_allocator) {
        HRESULT hr = CMemAllocator::Create(m_allocator.put());
        if (FAILED(hr))
            return hr;
    }
    *allocator = m_allocator.get();
    (*allocator)->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    if (allocator == nullptr)
        return E_POINTER;
    CAutoLock lock(m_lock);
    m_allocator = allocator;
    m_readOnly = readOnly != FALSE;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* /*properties*/)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* sample)
{
    if (sample == nullptr)
        return E_POINTER;
    HRESULT hr = CheckStreaming();
    if (hr != S_OK)
        return hr;

    // A type attached to the sample changes the format from this sample on. It is
    // checked like a connection's type; taking it up is the filter's business (the
    // streaming thread cannot take the filter lock to change the connection's type).
    AM_MEDIA_TYPE* attached = nullptr;
    if (sample->GetMediaType(&attached) == S_OK && attached != nullptr) {
        const CMediaType type(*attached);
        DeleteMediaType(attached);
        if (type != m_mt && CheckMediaType(&type) != S_OK)
            return VFW_E_INVALIDMEDIATYPE;
    }
    return S_OK;
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed)
{
    if (samples == nullptr || processed == nullptr)
        return E_POINTER;
    *processed = 0;
    HRESULT hr = S_OK;
    while (*processed < count) {
        hr = Receive(samples[*processed]);
        if (hr != S_OK)
            break;
        ++*processed;
    }
    return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock()
{
    return S_OK;
}

HRESULT CBaseInputPin::BreakConnect()
{
    m_allocator.reset();
    m_readOnly = false;
    return S_OK;
}

HRESULT CBaseInputPin::Active()
{
    m_flushing = false;
    m_atEndOfStream = false;
    return S_OK;
}

HRESULT CBaseInputPin::Inactive()
{
    m_atEndOfStream = false;
    return m_allocator ? m_allocator->Decommit() : S_OK;
}

// ---------------------------------------------------------------- CBaseOutputPin

CBaseOutputPin::CBaseOutputPin(CBaseFilter* filter, const WCHAR* name) : CBasePin(filter, name, PINDIR_OUTPUT) {}

STDMETHODIMP CBaseOutputPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type)
{
    if (receivePin == nullptr)
        return E_POINTER;
    CAutoLock lock(m_lock);
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!m_filter->IsStopped())
        return VFW_E_NOT_STOPPED;

    HRESULT hr = CheckConnect(receivePin);
    if (SUCCEEDED(hr)) {
        if (type != nullptr && CMediaType::IsComplete(*type))
            hr = AttemptConnection(receivePin, CMediaType(*type));
        else
            hr = AgreeMediaType(receivePin, type);
    }
    if (FAILED(hr))
        BreakConnect();
    return hr;
}

HRESULT CBaseOutputPin::AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* partial)
{
    // Ours first: a filter whose output follows its input (an in-place transform)
    // knows the one right type, while the receiver may prefer something else.
    CMediaType candidate;
    for (int position = 0; GetMediaType(position, &candidate) == S_OK; ++position) {
        if ((partial == nullptr || candidate.MatchesPartial(*partial)) &&
            SUCCEEDED(AttemptConnection(receivePin, candidate)))
            return S_OK;
    }

    ComPtr<IEnumMediaTypes> types;
    if (FAILED(receivePin->EnumMediaTypes(types.put())))
        return VFW_E_NO_ACCEPTABLE_TYPES;
    HRESULT hr = VFW_E_NO_ACCEPTABLE_TYPES;
    AM_MEDIA_TYPE* offered = nullptr;
    while (hr != S_OK && types->Next(1, &offered, nullptr) == S_OK) {
        candidate = *offered;
        DeleteMediaType(offered);
        if ((partial == nullptr || candidate.MatchesPartial(*partial)) &&
            SUCCEEDED(AttemptConnection(receivePin, candidate)))
            hr = S_OK;
    }
    return hr;
}

HRESULT CBaseOutputPin::AttemptConnection(IPin* receivePin, const CMediaType& type)
{
    HRESULT hr = CheckMediaType(&type);
    if (hr != S_OK)
        return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    hr = receivePin->ReceiveConnection(this, &type);
    if (FAILED(hr))
        return hr;

    SetConnected(receivePin);
    hr = SetMediaType(&type);
    if (SUCCEEDED(hr))
        hr = CompleteConnect(receivePin);
    if (FAILED(hr)) {
        receivePin->Disconnect();
        ClearConnection();
    }
    return hr;
}

STDMETHODIMP CBaseOutputPin::ReceiveConnection(IPin* /*connector*/, const AM_MEDIA_TYPE* /*type*/)
{
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::EndOfStream()
{
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::BeginFlush()
{
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::EndFlush()
{
    return E_UNEXPECTED;
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pin)
{
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr))
        return hr;
    if (FAILED(pin->QueryInterface(IID_IMemInputPin, m_inputPin.put_void())))
        return VFW_E_NO_TRANSPORT;
    return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin* /*pin*/)
{
    return DecideAllocator(m_inputPin.get(), m_allocator.put());
}

HRESULT CBaseOutputPin::BreakConnect()
{
    if (m_allocator)
        m_allocator->Decommit();
    m_allocator.reset();
    m_inputPin.reset();
    return S_OK;
}

HRESULT CBaseOutputPin::Active()
{
    return m_allocator ? m_allocator->Commit() : VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::Inactive()
{
    return m_allocator ? m_allocator->Decommit() : S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    ALLOCATOR_PROPERTIES requirements{};
    pin->GetAllocatorRequirements(&requirements);  // optional for the input pin

    // The input pin's allocator first; when it has none or refuses it, our own.
    ComPtr<IMemAllocator> chosen;
    HRESULT hr = pin->GetAllocator(chosen.put());
    if (SUCCEEDED(hr))
        hr = OfferAllocator(pin, chosen.get(), requirements);
    if (FAILED(hr)) {
        hr = CMemAllocator::Create(chosen.put());
        if (SUCCEEDED(hr))
            hr = OfferAllocator(pin, chosen.get(), requirements);
    }
    *allocator = SUCCEEDED(hr) ? chosen.detach() : nullptr;
    return hr;
}

HRESULT CBaseOutputPin::OfferAllocator(IMemInputPin* pin, IMemAllocator* allocator, ALLOCATOR_PROPERTIES request)
{
    HRESULT hr = DecideBufferSize(allocator, &request);
    return SUCCEEDED(hr) ? pin->NotifyAllocator(allocator, FALSE) : hr;
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample)
{
    if (sample == nullptr)
        return E_POINTER;
    if (!m_allocator) {
        *sample = nullptr;
        return VFW_E_NO_ALLOCATOR;
    }
    return m_allocator->GetBuffer(sample, nullptr, nullptr, 0);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample)
{
    return m_inputPin ? m_inputPin->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndOfStream()
{
    return m_connected ? m_connected->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverBeginFlush()
{
    return m_connected ? m_connected->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndFlush()
{
    return m_connected ? m_connected->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return m_connected ? m_connected->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}
