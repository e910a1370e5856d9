#include "TransInPlaceFilter.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>
#include <new>

// ---------------------------------------------------------------- CTransInPlaceInputPin

CTransInPlaceInputPin::CTransInPlaceInputPin(CTransInPlaceFilter* filter)
    : CBaseInputPin(filter, L"Input"), m_transform(filter)
{
}

HRESULT CTransInPlaceInputPin::CheckMediaType(const CMediaType* type)
{
    HRESULT hr = m_transform->CheckInputType(type);
    if (hr != S_OK)
        return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    CTransInPlaceOutputPin* output = m_transform->OutputPin();
    if (output->IsConnected() && output->GetConnected()->QueryAccept(type) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CTransInPlaceInputPin::SetMediaType(const CMediaType* type)
{
    HRESULT hr = CBaseInputPin::SetMediaType(type);
    return SUCCEEDED(hr) ? m_transform->SetMediaType(PINDIR_INPUT, type) : hr;
}

STDMETHODIMP CTransInPlaceInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    if (allocator == nullptr)
        return E_POINTER;
    ALLOCATOR_PROPERTIES properties{};
    HRESULT hr = allocator->GetProperties(&properties);
    if (FAILED(hr))
        return hr;
    if (properties.cbBuffer < m_transform->MinimumBufferSize())
        return VFW_E_BUFFER_OVERFLOW;
    return CBaseInputPin::NotifyAllocator(allocator, readOnly);
}

STDMETHODIMP CTransInPlaceInputPin::Receive(IMediaSample* sample)
{
    CAutoLock receive(&m_transform->m_csReceive);
    HRESULT hr = CBaseInputPin::Receive(sample);
    return hr == S_OK ? m_transform->Receive(sample) : hr;
}

STDMETHODIMP CTransInPlaceInputPin::EndOfStream()
{
    CAutoLock receive(&m_transform->m_csReceive);
    HRESULT hr = CBaseInputPin::EndOfStream();
    return hr == S_OK ? m_transform->EndOfStream() : hr;
}

// Not under the receive lock: the streaming thread may be blocked downstream until
// the flush reaches the filters there.
STDMETHODIMP CTransInPlaceInputPin::BeginFlush()
{
    CAutoLock lock(m_lock);
    CBaseInputPin::BeginFlush();
    return m_transform->BeginFlush();
}

STDMETHODIMP CTransInPlaceInputPin::EndFlush()
{
    CAutoLock lock(m_lock);
    HRESULT hr = m_transform->EndFlush();
    CBaseInputPin::EndFlush();
    return hr;
}

STDMETHODIMP CTransInPlaceInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return m_transform->NewSegment(start, stop, rate);
}

// ---------------------------------------------------------------- CTransInPlaceOutputPin

CTransInPlaceOutputPin::CTransInPlaceOutputPin(CTransInPlaceFilter* filter)
    : CBaseOutputPin(filter, L"Output"), m_transform(filter), m_seeking(this, filter->InputPin())
{
}

STDMETHODIMP CTransInPlaceOutputPin::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IMediaSeeking)
        return GetInterface(static_cast<IMediaSeeking*>(&m_seeking), object);
    if (iid == IID_IMediaPosition)
        return GetInterface(static_cast<IMediaPosition*>(&m_seeking), object);
    return CBaseOutputPin::QueryInterface(iid, object);
}

HRESULT CTransInPlaceOutputPin::CheckMediaType(const CMediaType* type)
{
    CTransInPlaceInputPin* input = m_transform->InputPin();
    if (!input->IsConnected())
        return VFW_E_NOT_CONNECTED;
    HRESULT hr = m_transform->CheckInputType(type);
    if (hr != S_OK)
        return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    return m_transform->CheckTransform(&input->CurrentMediaType(), type);
}

HRESULT CTransInPlaceOutputPin::GetMediaType(int position, CMediaType* type)
{
    CAutoLock lock(m_lock);
    CTransInPlaceInputPin* input = m_transform->InputPin();
    if (position < 0)
        return E_INVALIDARG;
    if (!input->IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    return type->Set(input->CurrentMediaType());
}

HRESULT CTransInPlaceOutputPin::SetMediaType(const CMediaType* type)
{
    HRESULT hr = CBaseOutputPin::SetMediaType(type);
    return SUCCEEDED(hr) ? m_transform->SetMediaType(PINDIR_OUTPUT, type) : hr;
}

HRESULT CTransInPlaceOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    CTransInPlaceInputPin* input = m_transform->InputPin();
    IMemAllocator* upstream = input->PeekAllocator();
    const bool readOnly = input->IsReadOnly();
    if (upstream != nullptr && !(readOnly && m_transform->ModifiesData()) &&
        SUCCEEDED(pin->NotifyAllocator(upstream, readOnly ? TRUE : FALSE))) {
        *allocator = upstream;
        upstream->AddRef();
        return S_OK;
    }
    return CBaseOutputPin::DecideAllocator(pin, allocator);
}

HRESULT CTransInPlaceOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    IMemAllocator* upstream = m_transform->InputPin()->PeekAllocator();
    ALLOCATOR_PROPERTIES upstreamProperties{};
    if (upstream == nullptr || FAILED(upstream->GetProperties(&upstreamProperties)))
        return VFW_E_NO_ALLOCATOR;

    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max<LONG>(wanted.cBuffers, 1);
    wanted.cbBuffer = std::max({wanted.cbBuffer, upstreamProperties.cbBuffer, m_transform->MinimumBufferSize()});
    wanted.cbAlign = std::max<LONG>(wanted.cbAlign, 1);
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer >= wanted.cbBuffer ? S_OK : VFW_E_SIZENOTSET;
}

bool CTransInPlaceOutputPin::UsesUpstreamAllocator() const
{
    return m_allocator && m_allocator.get() == m_transform->InputPin()->PeekAllocator();
}

HRESULT CTransInPlaceOutputPin::Active()
{
    return UsesUpstreamAllocator() ? S_OK : CBaseOutputPin::Active();
}

HRESULT CTransInPlaceOutputPin::Inactive()
{
    return UsesUpstreamAllocator() ? S_OK : CBaseOutputPin::Inactive();
}

// ---------------------------------------------------------------- CTransInPlaceFilter

CTransInPlaceFilter::CTransInPlaceFilter(LPUNKNOWN outer, REFCLSID clsid, HRESULT* result, bool modifiesData)
    : CBaseFilter(outer, clsid), m_modifiesData(modifiesData)
{
    m_input = new (std::nothrow) CTransInPlaceInputPin(this);
    m_output = new (std::nothrow) CTransInPlaceOutputPin(this);
    if ((m_input == nullptr || m_output == nullptr) && result != nullptr)
        *result = E_OUTOFMEMORY;
}

CTransInPlaceFilter::~CTransInPlaceFilter()
{
    delete m_input;
    delete m_output;
}

int CTransInPlaceFilter::GetPinCount()
{
    return m_input != nullptr && m_output != nullptr ? 2 : 0;
}

CBasePin* CTransInPlaceFilter::GetPin(int index)
{
    switch (index) {
    case 0:
        return m_input;
    case 1:
        return m_output;
    default:
        return nullptr;
    }
}

STDMETHODIMP CTransInPlaceFilter::Stop()
{
    CAutoLock lock(&m_csFilter);
    if (IsStopped())
        return S_OK;
    // Inactive pins refuse new samples and wake a streaming thread that waits for a
    // buffer; the receive lock then waits for the sample in progress.
    HRESULT hr = CBaseFilter::Stop();
    CAutoLock receive(&m_csReceive);
    HRESULT stopped = StopStreaming();
    return FAILED(hr) ? hr : stopped;
}

STDMETHODIMP CTransInPlaceFilter::Pause()
{
    CAutoLock lock(&m_csFilter);
    if (!IsStopped())
        return CBaseFilter::Pause();
    // No sample may reach Receive before StartStreaming has run.
    CAutoLock receive(&m_csReceive);
    HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr))
        return hr;
    hr = StartStreaming();
    if (FAILED(hr))
        CBaseFilter::Stop();
    return hr;
}

HRESULT CTransInPlaceFilter::CheckTransform(const CMediaType* /*input*/, const CMediaType* /*output*/)
{
    return S_OK;
}

LONG CTransInPlaceFilter::MinimumBufferSize()
{
    return 1;
}

HRESULT CTransInPlaceFilter::SetMediaType(PIN_DIRECTION /*direction*/, const CMediaType* /*type*/)
{
    return S_OK;
}

HRESULT CTransInPlaceFilter::StartStreaming()
{
    return S_OK;
}

HRESULT CTransInPlaceFilter::StopStreaming()
{
    return S_OK;
}

HRESULT CTransInPlaceFilter::Receive(IMediaSample* sample)
{
    IMediaSample* target = sample;
    if (m_output->IsConnected() && !m_output->UsesUpstreamAllocator()) {
        HRESULT hr = Copy(sample, &target);
        if (FAILED(hr))
            return hr;
    } else {
        target->AddRef();
    }
    HRESULT hr = Transform(target);
    if (hr == S_OK)
        hr = m_output->Deliver(target);
    else if (hr == S_FALSE)
        hr = S_OK;  // dropped by the transform
    target->Release();
    return hr;
}

HRESULT CTransInPlaceFilter::EndOfStream()
{
    return m_output->DeliverEndOfStream();
}

HRESULT CTransInPlaceFilter::BeginFlush()
{
    return m_output->IsConnected() ? m_output->DeliverBeginFlush() : S_OK;
}

HRESULT CTransInPlaceFilter::EndFlush()
{
    return m_output->IsConnected() ? m_output->DeliverEndFlush() : S_OK;
}

HRESULT CTransInPlaceFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return m_output->IsConnected() ? m_output->DeliverNewSegment(start, stop, rate) : S_OK;
}

HRESULT CTransInPlaceFilter::Copy(IMediaSample* source, IMediaSample** copy)
{
    if (source == nullptr || copy == nullptr)
        return E_POINTER;
    *copy = nullptr;
    IMediaSample* target = nullptr;
    HRESULT hr = m_output->GetDeliveryBuffer(&target);
    if (FAILED(hr))
        return hr;

    BYTE* from = nullptr;
    BYTE* to = nullptr;
    const LONG length = source->GetActualDataLength();
    hr = source->GetPointer(&from);
    if (SUCCEEDED(hr))
        hr = target->GetPointer(&to);
    if (SUCCEEDED(hr))
        hr = target->SetActualDataLength(length);
    if (FAILED(hr)) {
        target->Release();
        return hr;
    }
    std::memcpy(to, from, static_cast<size_t>(length));

    REFERENCE_TIME start, end;
    hr = source->GetTime(&start, &end);
    if (hr == S_OK)
        target->SetTime(&start, &end);
    else if (hr == VFW_S_NO_STOP_TIME)
        target->SetTime(&start, nullptr);
    LONGLONG mediaStart, mediaEnd;
    if (source->GetMediaTime(&mediaStart, &mediaEnd) == S_OK)
        target->SetMediaTime(&mediaStart, &mediaEnd);
    target->SetSyncPoint(source->IsSyncPoint() == S_OK);
    target->SetPreroll(source->IsPreroll() == S_OK);
    target->SetDiscontinuity(source->IsDiscontinuity() == S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    if (source->GetMediaType(&type) == S_OK && type != nullptr) {
        hr = target->SetMediaType(type);
        DeleteMediaType(type);
        if (FAILED(hr)) {
            target->Release();
            return hr;
        }
    }
    *copy = target;
    return S_OK;
}
