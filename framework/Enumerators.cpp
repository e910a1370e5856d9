#include "Enumerators.h"

#include "BaseFilter.h"
#include "MediaType.h"
#include "Pins.h"

#include <vfwmsgs.h>

#include <new>

// ---------------------------------------------------------------- CEnumPins

HRESULT CEnumPins::Create(CBaseFilter* filter, IEnumPins** enumerator, int position)
{
    if (enumerator == nullptr)
        return E_POINTER;
    auto* created = new (std::nothrow) CEnumPins(filter, position);
    *enumerator = created;
    if (created == nullptr)
        return E_OUTOFMEMORY;
    created->NonDelegatingAddRef();
    return S_OK;
}

CEnumPins::CEnumPins(CBaseFilter* filter, int position) : CUnknown(nullptr), m_filter(filter), m_position(position)
{
    m_filter->AddRef();
}

CEnumPins::~CEnumPins()
{
    m_filter->Release();
}

STDMETHODIMP CEnumPins::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IEnumPins)
        return GetInterface(static_cast<IEnumPins*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched)
{
    if (pins == nullptr || (fetched == nullptr && count != 1))
        return E_POINTER;
    ULONG taken = 0;
    while (taken < count && m_position < m_filter->GetPinCount()) {
        pins[taken] = m_filter->GetPin(m_position++);
        pins[taken]->AddRef();
        ++taken;
    }
    if (fetched != nullptr)
        *fetched = taken;
    return taken == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG count)
{
    const int pins = m_filter->GetPinCount();
    if (count > static_cast<ULONG>(pins - m_position)) {
        m_position = pins;
        return S_FALSE;
    }
    m_position += static_cast<int>(count);
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset()
{
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** enumerator)
{
    return Create(m_filter, enumerator, m_position);
}

// ---------------------------------------------------------------- CEnumMediaTypes

HRESULT CEnumMediaTypes::Create(CBasePin* pin, IEnumMediaTypes** enumerator, int position)
{
    if (enumerator == nullptr)
        return E_POINTER;
    auto* created = new (std::nothrow) CEnumMediaTypes(pin, position);
    *enumerator = created;
    if (created == nullptr)
        return E_OUTOFMEMORY;
    created->NonDelegatingAddRef();
    return S_OK;
}

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, int position) : CUnknown(nullptr), m_pin(pin), m_position(position)
{
    m_pin->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes()
{
    m_pin->Release();
}

STDMETHODIMP CEnumMediaTypes::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IEnumMediaTypes)
        return GetInterface(static_cast<IEnumMediaTypes*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    if (types == nullptr || (fetched == nullptr && count != 1))
        return E_POINTER;
    ULONG taken = 0;
    CMediaType type;
    while (taken < count && m_pin->GetMediaType(m_position, &type) == S_OK) {
        types[taken] = CreateMediaType(&type);
        if (types[taken] == nullptr) {
            for (; taken > 0; --m_position)
                DeleteMediaType(types[--taken]);
            return E_OUTOFMEMORY;
        }
        ++m_position;
        ++taken;
    }
    if (fetched != nullptr)
        *fetched = taken;
    return taken == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG count)
{
    CMediaType type;
    for (; count > 0; --count, ++m_position) {
        if (m_pin->GetMediaType(m_position, &type) != S_OK)
            return S_FALSE;
    }
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset()
{
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** enumerator)
{
    return Create(m_pin, enumerator, m_position);
}
