// The enumerators a filter and its pins hand out: IEnumPins over the filter's pins
// and IEnumMediaTypes over a pin's preferred types. Each keeps its filter alive.
#pragma once

#include "Unknown.h"

#include <strmif.h>

class CBaseFilter;
class CBasePin;

class CEnumPins : public CUnknown, public IEnumPins {
public:
    // A new enumerator with one reference, at the first pin.
    static HRESULT Create(CBaseFilter* filter, IEnumPins** enumerator, int position = 0);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** enumerator) override;

private:
    CEnumPins(CBaseFilter* filter, int position);
    ~CEnumPins() override;

    CBaseFilter* const m_filter;
    int m_position;
};

// Media types are fetched from the pin as the enumeration proceeds, so an output
// pin whose type follows its input's shows the type of the moment.
class CEnumMediaTypes : public CUnknown, public IEnumMediaTypes {
public:
    static HRESULT Create(CBasePin* pin, IEnumMediaTypes** enumerator, int position = 0);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // Each type is allocated with CoTaskMemAlloc; free it with DeleteMediaType.
    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** enumerator) override;

private:
    CEnumMediaTypes(CBasePin* pin, int position);
    ~CEnumMediaTypes() override;

    CBasePin* const m_pin;
    int m_position;
};
