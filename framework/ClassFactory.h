// The class factory and the template table that drives it: the server lists each
// class it publishes in a CFactoryTemplate, and DllGetClassObject hands out a
// CClassFactory for the template whose class is asked for.
#pragma once

#include "Registration.h"
#include "Unknown.h"

// Creates an object for `outer` (null when not aggregated). A failure is stored in
// *result; the factory then discards the object, if one was returned.
typedef CUnknown* (CALLBACK* LPFNNewCOMObject)(LPUNKNOWN outer, HRESULT* result);

class CFactoryTemplate {
public:
    const WCHAR* m_Name;
    const CLSID* m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    // Registered with the filter mapper when present.
    const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;

    bool IsClassID(REFCLSID clsid) const { return *m_ClsID == clsid; }
};

class CClassFactory : public CUnknown, public IClassFactory {
public:
    explicit CClassFactory(const CFactoryTemplate* factoryTemplate);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // An aggregating caller must ask for IID_IUnknown (E_NOINTERFACE otherwise).
    STDMETHODIMP CreateInstance(LPUNKNOWN outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    const CFactoryTemplate* const m_template;
};

namespace framework {

// DllGetClassObject for a template table: a new CClassFactory for the template of
// `clsid`, asked for as IUnknown or IClassFactory.
HRESULT GetClassObject(const CFactoryTemplate* templates, int count, REFCLSID clsid, REFIID iid,
                       void** object);

} // namespace framework
