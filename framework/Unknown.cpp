#include "Unknown.h"

#include "qz_platform.h"

namespace {
volatile LONG g_locks = 0;
} // namespace

namespace framework {

// Objects are counted where the portable code counts its own (the automation object
// is no CUnknown), so that one count answers for the whole module.
void ObjectCreated() { qz::ModuleObjectCreated(); }
void ObjectDestroyed() { qz::ModuleObjectDestroyed(); }

void LockServer(bool lock)
{
    if (lock)
        InterlockedIncrement(&g_locks);
    else
        InterlockedDecrement(&g_locks);
}

HRESULT CanUnloadNow()
{
    return qz::ModuleObjectCount() == 0 && g_locks == 0 ? S_OK : S_FALSE;
}

} // namespace framework

CUnknown::CUnknown(LPUNKNOWN outer)
    : m_owner(outer != nullptr ? outer
                               : reinterpret_cast<LPUNKNOWN>(static_cast<INonDelegatingUnknown*>(this)))
{
    framework::ObjectCreated();
}

CUnknown::~CUnknown()
{
    framework::ObjectDestroyed();
}

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown)
        return GetInterface(reinterpret_cast<LPUNKNOWN>(static_cast<INonDelegatingUnknown*>(this)), object);
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease()
{
    LONG count = InterlockedDecrement(&m_cRef);
    if (count == 0) {
        // A destructor that hands out and releases a reference to this object must
        // not bring the count to zero a second time.
        m_cRef = 1;
        delete this;
    }
    return static_cast<ULONG>(count);
}

HRESULT GetInterface(LPUNKNOWN unknown, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = unknown;
    unknown->AddRef();
    return S_OK;
}
