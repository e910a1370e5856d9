// The filter object: IBaseFilter with its state machine, graph membership and pin
// enumeration. Derived filters own their pins and list them through GetPinCount and
// GetPin; the pins take part in state changes through Active and Inactive.
#pragma once

#include "CritSec.h"
#include "Registration.h"
#include "Unknown.h"

#include <strmif.h>

#include <atomic>

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
public:
    CBaseFilter(LPUNKNOWN outer, REFCLSID clsid);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    // IBaseFilter, IMediaFilter, IPersist and IAMovieSetup.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    STDMETHODIMP GetClassID(CLSID* clsid) override;

    // Leaving the stopped state activates the connected pins, entering it
    // deactivates them; Run from stopped pauses first (through the virtual Pause).
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    // The state is reached at once: S_OK.
    STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    // The pin whose name is `id`, or VFW_E_NOT_FOUND.
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    // The graph is not referenced: it holds the filter, not the other way round.
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

    // Registers or unregisters GetSetupData() with the filter mapper; S_FALSE when
    // the filter has no registration record.
    STDMETHODIMP Register() override;
    STDMETHODIMP Unregister() override;

    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int index) = 0;
    virtual const AMOVIESETUP_FILTER* GetSetupData();

    // Reports an event to the graph (IMediaEventSink::Notify); E_NOTIMPL outside a graph.
    HRESULT NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2);

    CCritSec* FilterLock() { return &m_csFilter; }
    FILTER_STATE State() const { return m_state; }
    bool IsStopped() const { return m_state == State_Stopped; }
    // The stream time the graph gave with Run.
    REFERENCE_TIME StartTime() const { return m_start; }

protected:
    // Guards state changes, connections and graph membership.
    CCritSec m_csFilter;

private:
    const CLSID m_clsid;
    // Read without the lock by the streaming thread.
    std::atomic<FILTER_STATE> m_state{State_Stopped};
    REFERENCE_TIME m_start = 0;
    IReferenceClock* m_clock = nullptr;
    IFilterGraph* m_graph = nullptr;
    // Read without the lock when a pin reports an event from the streaming thread.
    std::atomic<IMediaEventSink*> m_eventSink{nullptr};
    WCHAR m_name[MAX_FILTER_NAME] = {};
};
