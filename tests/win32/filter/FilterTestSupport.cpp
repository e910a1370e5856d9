#include "FilterTestSupport.h"

#include "qz_guids.h"

namespace {
using EntryPoint = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
} // namespace

FilterServer::FilterServer(const wchar_t* path) : m_module(LoadLibraryW(path))
{
    if (m_module == nullptr)
        return;
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(m_module, "DllGetClassObject"));
    if (getClassObject != nullptr)
        getClassObject(qz::kCLSID_Filter, IID_IClassFactory, m_factory.put_void());
}

FilterServer::~FilterServer()
{
    m_factory.reset();
    // The module stays loaded: objects of a failed test may still be alive.
}

HRESULT FilterServer::CanUnloadNow()
{
    return reinterpret_cast<EntryPoint>(GetProcAddress(m_module, "DllCanUnloadNow"))();
}

HRESULT FilterServer::Register()
{
    return reinterpret_cast<EntryPoint>(GetProcAddress(m_module, "DllRegisterServer"))();
}

HRESULT FilterServer::Unregister()
{
    return reinterpret_cast<EntryPoint>(GetProcAddress(m_module, "DllUnregisterServer"))();
}
