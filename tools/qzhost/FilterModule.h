// qzMultibandDX.dll as a host reaches it: loaded from a path without registration, as
// a host that ships the DLL beside itself would do, or through COM from the server
// registered for the filter's class, as every other host does.
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

    // Where the filter comes from: the DLL at `dllPath` (empty: the one beside this
    // program), or with `registered` the server registered for the filter's class.
    // COM looks that up in this program's registry view: on 64-bit Windows a 32-bit
    // program finds the 32-bit registration, a 64-bit one the 64-bit registration.
    struct Source {
        std::wstring dllPath;
        bool registered = false;
    };

    // Loads the DLL and takes the filter's class factory. Throws HostError when
    // either fails.
    explicit FilterModule(const Source& source);
    ~FilterModule();
    FilterModule(const FilterModule&) = delete;
    FilterModule& operator=(const FilterModule&) = delete;

    // A new filter.
    ComPtr<IBaseFilter> CreateFilter();
    // The DLL that serves the filter.
    const std::wstring& Path() const { return m_path; }

    // Makes the DLL's classes `classes` creatable with CoCreateInstance in this
    // process while the module lives, as the system's property frame creates its
    // pages by class. Throws HostError.
    void ServeClasses(const std::vector<CLSID>& classes);

private:
    void LoadFromPath(const std::wstring& path);
    void LoadRegistered();

    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

    std::wstring m_path;
    HMODULE m_module = nullptr;
    GetClassObjectFn m_getClassObject = nullptr;
    ComPtr<IClassFactory> m_factory;
    std::vector<DWORD> m_servedClasses;  // CoRegisterClassObject's cookies
};

} // namespace qzhost
