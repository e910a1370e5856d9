// A filter at the end of a graph: it says it is a renderer (IAMFilterMiscFlags), so
// the graph manager waits for it, and it reports EC_COMPLETE once its stream has ended
// and the graph runs. Sources push while the graph is only paused, so an end of stream
// can arrive before Run; the completion is then held until Run.
#pragma once

#include "BaseFilter.h"

class CRendererFilter : public CBaseFilter, public IAMFilterMiscFlags {
public:
    CRendererFilter(LPUNKNOWN outer, REFCLSID clsid) : CBaseFilter(outer, clsid) {}

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) GetMiscFlags() override;

    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP Stop() override;

protected:
    // The input's end of stream arrived (called by the derived filter's pin).
    void ReportEndOfStream();

private:
    void NotifyComplete();

    bool m_completePending = false;  // under the filter lock
};
