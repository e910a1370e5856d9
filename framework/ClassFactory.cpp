#include "ClassFactory.h"

#include <new>

CClassFactory::CClassFactory(const CFactoryTemplate* factoryTemplate)
    : CUnknown(nullptr), m_template(factoryTemplate)
{
}

STDMETHODIMP CClassFactory::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IClassFactory)
        return GetInterface(static_cast<IClassFactory*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CClassFactory::CreateInstance(LPUNKNOWN outer, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (outer != nullptr && iid != IID_IUnknown)
        return E_NOINTERFACE;

    HRESULT hr = S_OK;
    CUnknown* created = m_template->m_lpfnNew(outer, &hr);
    if (created == nullptr)
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    if (FAILED(hr)) {
        delete created;
        return hr;
    }
    // The temporary reference destroys the object when the interface is refused.
    created->NonDelegatingAddRef();
    hr = created->NonDelegatingQueryInterface(iid, object);
    created->NonDelegatingRelease();
    return hr;
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock)
{
    framework::LockServer(lock != FALSE);
    return S_OK;
}

namespace framework {

HRESULT GetClassObject(const CFactoryTemplate* templates, int count, REFCLSID clsid, REFIID iid,
                       void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory)
        return E_NOINTERFACE;

    for (int i = 0; i < count; ++i) {
        if (!templates[i].IsClassID(clsid))
            continue;
        auto* factory = new (std::nothrow) CClassFactory(&templates[i]);
        if (factory == nullptr)
            return E_OUTOFMEMORY;
        factory->NonDelegatingAddRef();
        HRESULT hr = factory->NonDelegatingQueryInterface(iid, object);
        factory->NonDelegatingRelease();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace framework
