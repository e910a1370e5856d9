#include "FilterTestSupport.h"

#include "qz_guids.h"

namespace {
using ServerCall = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
} // namespace

FilterServer::FilterServer(const wchar_t* path) : m_module(LoadLibraryW(path))
{
    if (m_module == nullptr)
        return;
    auto getClassObject = EntryPoint<GetClassObjectFn>("DllGetClassObject");
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
    return EntryPoint<ServerCall>("DllCanUnloadNow")();
}

HRESULT FilterServer::Register()
{
    return EntryPoint<ServerCall>("DllRegisterServer")();
}

HRESULT FilterServer::Unregister()
{
    return EntryPoint<ServerCall>("DllUnregisterServer")();
}
