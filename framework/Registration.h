// Registration of the server's classes: the COM server keys under
// HKEY_CLASSES_ROOT\CLSID, and filters with the system's filter mapper.
#pragma once

#include <windows.h>
#include <strmif.h>

// A filter's registration record: its class, name, merit and pins. Pins and their
// media types are the filter mapper's own REGFILTERPINS and REGPINTYPES.
typedef REGPINTYPES AMOVIESETUP_MEDIATYPE;
typedef REGFILTERPINS AMOVIESETUP_PIN;

struct AMOVIESETUP_FILTER {
    const CLSID* clsID;
    const WCHAR* strName;
    DWORD dwMerit;
    UINT nPins;
    const AMOVIESETUP_PIN* lpPin;
};

class CFactoryTemplate;

namespace framework {

// HKEY_CLASSES_ROOT\CLSID\{clsid} = name, with InprocServer32 = module path and
// ThreadingModel = "Both". A failing registry call is answered as its HRESULT.
HRESULT RegisterServer(REFCLSID clsid, const WCHAR* name, const WCHAR* modulePath);
// Removes HKEY_CLASSES_ROOT\CLSID\{clsid} with everything below it; S_OK when it
// was not there.
HRESULT UnregisterServer(REFCLSID clsid);

// Registers (after unregistering, to replace an older record) or unregisters a
// filter in the legacy DirectShow filter category, through IFilterMapper2 or, when
// that cannot be created, IFilterMapper. Unregistering what is not registered
// succeeds.
HRESULT RegisterFilter(const AMOVIESETUP_FILTER& setup, bool doRegister);
// The same through a given mapper: IFilterMapper2::RegisterFilter with a version 1
// REGFILTER2, or the pin-by-pin calls of IFilterMapper.
HRESULT RegisterFilter(IFilterMapper2* mapper, const AMOVIESETUP_FILTER& setup, bool doRegister);
HRESULT RegisterFilter(IFilterMapper* mapper, const AMOVIESETUP_FILTER& setup, bool doRegister);

// What DllRegisterServer does for a template table: every class's server keys with
// the path of `module`, then every template's registration record with the filter
// mapper. Stops at the first failure.
HRESULT RegisterTemplates(const CFactoryTemplate* templates, int count, HMODULE module);
// The reverse: filter records first, then the server keys. Tries everything and
// answers the first failure.
HRESULT UnregisterTemplates(const CFactoryTemplate* templates, int count);

} // namespace framework
