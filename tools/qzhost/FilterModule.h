// qzMultibandDX.dll used without registration: loaded from a path, its class factory
// asked for the filter, as a host that ships the DLL beside itself would do.
#pragma once

#include "HostSupport.h"

#include <strmif.h>

#include <string>
#include <vector>

namespace qzhost {

class FilterModule {
public:
    // The DLL's file name beside qzhost.exe.
    static constexpr const wchar_t* kDefaultName = L"qzMultibandDX.dll";

    // Loads the DLL at `path` (empty: the one beside this program) and takes the
    // filter's class factory. Throws HostError when either fails.
    explicit FilterModule(const std::wstring& path);
    ~FilterModule();
    FilterModule(const FilterModule&) = delete;
    FilterModule& operator=(const FilterModule&) = delete;

    // A new filter.
    ComPtr<IBaseFilter> CreateFilter();
    const std::wstring& Path() const { return m_path; }

    // Makes the DLL's classes `classes` creatable with CoCreateInstance in this
    // process while the module lives, as the system's property frame creates its
    // pages by class. Throws HostError.
    void ServeClasses(const std::vector<CLSID>& classes);

private:
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

    std::wstring m_path;
    HMODULE m_module = nullptr;
    GetClassObjectFn m_getClassObject = nullptr;
    ComPtr<IClassFactory> m_factory;
    std::vector<DWORD> m_servedClasses;  // CoRegisterClassObject's cookies
};

} // namespace qzhost
