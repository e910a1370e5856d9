// COM object basics of the framework: the non-delegating IUnknown that makes an
// object aggregatable, and the module-wide counts behind DllCanUnloadNow.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace framework {

// Every COM object of the module counts itself while it is alive, whether it is a
// CUnknown or not; portable code counts through qz::ModuleObjectCreated, the same
// count.
void ObjectCreated();
void ObjectDestroyed();
// IClassFactory::LockServer.
void LockServer(bool lock);
// S_OK when no object is alive and no lock is held, else S_FALSE.
HRESULT CanUnloadNow();

} // namespace framework

// The IUnknown an aggregated object hands to its outer object only: its own
// identity and reference count. Its three slots have IUnknown's layout and calling
// convention, so a pointer to it can be returned as the inner IUnknown.
struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

// Base of the module's COM objects. The interfaces a derived class implements answer
// their IUnknown operations through GetOwner(): the outer unknown when the object is
// aggregated, else the object's own non-delegating IUnknown (see DECLARE_IUNKNOWN).
class CUnknown : public INonDelegatingUnknown {
public:
    explicit CUnknown(LPUNKNOWN outer);
    virtual ~CUnknown();
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    // Answers IID_IUnknown with the non-delegating IUnknown; derived classes add their
    // interfaces and fall back to this.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    LPUNKNOWN GetOwner() const { return m_owner; }

protected:
    volatile LONG m_cRef = 0;

private:
    const LPUNKNOWN m_owner;
};

// Hands out `unknown` (already cast to the interface asked for) with a reference.
HRESULT GetInterface(LPUNKNOWN unknown, void** object);

// The IUnknown operations of every interface a CUnknown-derived class implements.
#define DECLARE_IUNKNOWN                                                             \
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override                  \
    {                                                                                \
        return GetOwner()->QueryInterface(iid, object);                              \
    }                                                                                \
    STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); }          \
    STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }
