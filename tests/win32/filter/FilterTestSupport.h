// The real qzMultibandDX.dll, loaded beside the test program and used through its
// class factory as a host would use an unregistered filter.
#pragma once

#include "TestSupport.h"

#include "ITqPlugInProp.h"
#include "media_params.h"

#include <ocidl.h>

class FilterServer {
public:
    // The DLL at `path`; by default the one beside the test program.
    explicit FilterServer(const wchar_t* path = L"qzMultibandDX.dll");
    ~FilterServer();
    bool ok() const { return static_cast<bool>(m_factory); }
    HMODULE module() const { return m_module; }

    // A new filter, asked for as `iid`.
    template <typename T>
    ComPtr<T> Create(REFIID iid)
    {
        ComPtr<T> object;
        HRESULT hr = m_factory ? m_factory->CreateInstance(nullptr, iid, object.put_void()) : E_FAIL;
        m_lastResult = hr;
        return object;
    }
    HRESULT lastResult() const { return m_lastResult; }
    // The class factory is one of the server's live objects too.
    void ReleaseFactory() { m_factory.reset(); }
    HRESULT CanUnloadNow();
    HRESULT Register();
    HRESULT Unregister();

    // The DLL's export `name` as a `Function`. FARPROC's own type says nothing of the
    // export's (and its return width differs from HRESULT's in 64-bit builds), so the
    // address goes through void*.
    template <typename Function>
    Function EntryPoint(const char* name) const
    {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    }

private:
    HMODULE m_module = nullptr;
    ComPtr<IClassFactory> m_factory;
    HRESULT m_lastResult = S_OK;
};

// Another of the filter's interfaces.
template <typename T>
ComPtr<T> As(IUnknown* object, REFIID iid)
{
    ComPtr<T> other;
    object->QueryInterface(iid, other.put_void());
    return other;
}

