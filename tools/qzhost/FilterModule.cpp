#include "FilterModule.h"

#include "qz_guids.h"

namespace qzhost {

FilterModule::FilterModule(const Source& source)
{
    if (source.registered)
        LoadRegistered();
    else
        LoadFromPath(source.dllPath);
    // The entry point also serves the DLL's other classes (ServeClasses).
    m_getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
    if (m_getClassObject == nullptr)
        throw HostError(Quoted(m_path) + " is not a COM server: it has no DllGetClassObject entry point");
    if (!m_factory) {
        const HRESULT hr = m_getClassObject(qz::kCLSID_Filter, IID_IClassFactory, m_factory.put_void());
        if (FAILED(hr) || !m_factory)
            throw HostError(Quoted(m_path) + " does not serve the qz:Multiband filter: " + HrText(hr));
    }
}

void FilterModule::LoadFromPath(const std::wstring& path)
{
    m_path = FullPath(path.empty() ? ProgramFolder() + kDefaultName : path);
    // With an absolute path, the DLL's own folder is searched for what it imports.
    m_module = LoadLibraryExW(m_path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (m_module == nullptr)
        throw HostError("cannot load the filter DLL " + Quoted(m_path) + ": " +
                        HrText(HRESULT_FROM_WIN32(GetLastError())));
}

void FilterModule::LoadRegistered()
{
    const HRESULT hr =
        CoGetClassObject(qz::kCLSID_Filter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, m_factory.put_void());
    if (FAILED(hr) || !m_factory)
        throw HostError(std::string("no qz:Multiband filter is registered for ") + (sizeof(void*) == 8 ? "64" : "32") +
                        "-bit programs: " + HrText(hr) + " (register qzMultibandDX.dll with regsvr32)");
    // The factory's virtual table lies in the DLL COM loaded: that module is the
    // server. The reference taken here keeps it loaded, as LoadLibrary's does.
    const void* table = *reinterpret_cast<void* const*>(m_factory.get());
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, static_cast<LPCWSTR>(table), &m_module))
        throw HostError("cannot tell which DLL serves the registered filter: " +
                        HrText(HRESULT_FROM_WIN32(GetLastError())));
    std::vector<wchar_t> path(32768);
    const DWORD length = GetModuleFileNameW(m_module, path.data(), static_cast<DWORD>(path.size()));
    m_path.assign(path.data(), length);
}

FilterModule::~FilterModule()
{
    for (DWORD cookie : m_servedClasses)
        CoRevokeClassObject(cookie);
    m_factory.reset();
    // The DLL stays loaded until the process ends: an object qzhost let go of may
    // still be held by a graph being torn down.
}

ComPtr<IBaseFilter> FilterModule::CreateFilter()
{
    ComPtr<IBaseFilter> filter;
    const HRESULT hr = m_factory->CreateInstance(nullptr, IID_IBaseFilter, filter.put_void());
    if (FAILED(hr) || !filter)
        throw HostError("the filter's class factory could not create the filter: " + HrText(hr));
    return filter;
}

void FilterModule::ServeClasses(const std::vector<CLSID>& classes)
{
    for (const CLSID& served : classes) {
        ComPtr<IClassFactory> factory;
        HRESULT hr = m_getClassObject(served, IID_IClassFactory, factory.put_void());
        if (FAILED(hr) || !factory)
            throw HostError(Quoted(m_path) + " does not serve a class the filter names: " + HrText(hr));
        DWORD cookie = 0;
        hr = CoRegisterClassObject(served, factory.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
        if (FAILED(hr))
            throw HostError("cannot offer the DLL's classes to this process: " + HrText(hr));
        m_servedClasses.push_back(cookie);
    }
}

} // namespace qzhost
