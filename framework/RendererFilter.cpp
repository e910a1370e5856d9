#include "RendererFilter.h"

#include <evcode.h>

STDMETHODIMP CRendererFilter::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IAMFilterMiscFlags)
        return GetInterface(static_cast<IAMFilterMiscFlags*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP_(ULONG) CRendererFilter::GetMiscFlags() { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

void CRendererFilter::NotifyComplete()
{
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

void CRendererFilter::ReportEndOfStream()
{
    CAutoLock lock(&m_csFilter);
    if (State() == State_Running)
        NotifyComplete();
    else
        m_completePending = true;
}

STDMETHODIMP CRendererFilter::Run(REFERENCE_TIME start)
{
    CAutoLock lock(&m_csFilter);
    const HRESULT hr = CBaseFilter::Run(start);
    if (SUCCEEDED(hr) && m_completePending) {
        m_completePending = false;
        NotifyComplete();
    }
    return hr;
}

STDMETHODIMP CRendererFilter::Stop()
{
    CAutoLock lock(&m_csFilter);
    m_completePending = false;
    return CBaseFilter::Stop();
}
