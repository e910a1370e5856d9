#include "BaseFilter.h"

#include "Enumerators.h"
#include "Pins.h"

#include <vfwmsgs.h>

#include <cwchar>

CBaseFilter::CBaseFilter(LPUNKNOWN outer, REFCLSID clsid) : CUnknown(outer), m_clsid(clsid) {}

CBaseFilter::~CBaseFilter()
{
    if (m_clock != nullptr)
        m_clock->Release();
}

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IBaseFilter || iid == IID_IMediaFilter || iid == IID_IPersist)
        return GetInterface(static_cast<IBaseFilter*>(this), object);
    if (iid == IID_IAMovieSetup)
        return GetInterface(static_cast<IAMovieSetup*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* clsid)
{
    if (clsid == nullptr)
        return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Stop()
{
    CAutoLock lock(&m_csFilter);
    HRESULT result = S_OK;
    if (m_state != State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin->IsConnected())
                continue;
            HRESULT hr = pin->Inactive();
            if (FAILED(hr) && SUCCEEDED(result))
                result = hr;
        }
    }
    m_state = State_Stopped;
    return result;
}

STDMETHODIMP CBaseFilter::Pause()
{
    CAutoLock lock(&m_csFilter);
    if (m_state == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            if (!GetPin(i)->IsConnected())
                continue;
            HRESULT hr = GetPin(i)->Active();
            if (FAILED(hr)) {
                while (--i >= 0) {
                    if (GetPin(i)->IsConnected())
                        GetPin(i)->Inactive();
                }
                return hr;
            }
        }
    }
    m_state = State_Paused;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME start)
{
    CAutoLock lock(&m_csFilter);
    if (m_state == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    m_start = start;
    m_state = State_Running;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD /*timeout*/, FILTER_STATE* state)
{
    if (state == nullptr)
        return E_POINTER;
    *state = m_state;
    return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* clock)
{
    CAutoLock lock(&m_csFilter);
    if (clock != nullptr)
        clock->AddRef();
    if (m_clock != nullptr)
        m_clock->Release();
    m_clock = clock;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** clock)
{
    if (clock == nullptr)
        return E_POINTER;
    CAutoLock lock(&m_csFilter);
    *clock = m_clock;
    if (m_clock != nullptr)
        m_clock->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** pins)
{
    return CEnumPins::Create(this, pins);
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (id == nullptr || pin == nullptr)
        return E_POINTER;
    for (int i = 0; i < GetPinCount(); ++i) {
        if (std::wcscmp(GetPin(i)->Name(), id) == 0) {
            *pin = GetPin(i);
            (*pin)->AddRef();
            return S_OK;
        }
    }
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (info == nullptr)
        return E_POINTER;
    CAutoLock lock(&m_csFilter);
    std::wcscpy(info->achName, m_name);
    info->pGraph = m_graph;
    if (m_graph != nullptr)
        m_graph->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    CAutoLock lock(&m_csFilter);
    m_graph = graph;
    IMediaEventSink* sink = nullptr;
    if (graph != nullptr &&
        SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
        // Kept without a reference, like the graph itself.
        sink->Release();
    }
    m_eventSink = sink;
    m_name[0] = L'\0';
    if (name != nullptr) {
        std::wcsncpy(m_name, name, MAX_FILTER_NAME - 1);
        m_name[MAX_FILTER_NAME - 1] = L'\0';
    }
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR* info)
{
    if (info == nullptr)
        return E_POINTER;
    *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CBaseFilter::Register()
{
    const AMOVIESETUP_FILTER* setup = GetSetupData();
    return setup != nullptr ? framework::RegisterFilter(*setup, true) : S_FALSE;
}

STDMETHODIMP CBaseFilter::Unregister()
{
    const AMOVIESETUP_FILTER* setup = GetSetupData();
    return setup != nullptr ? framework::RegisterFilter(*setup, false) : S_FALSE;
}

const AMOVIESETUP_FILTER* CBaseFilter::GetSetupData()
{
    return nullptr;
}

HRESULT CBaseFilter::NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    IMediaEventSink* sink = m_eventSink;
    return sink != nullptr ? sink->Notify(code, param1, param2) : E_NOTIMPL;
}
