// The four entry points of the in-process COM server and DllMain.
//
// The framework's factory machinery answers them from the template table below. On
// top of the framework's registration, DllRegisterServer writes a legacy description
// of the filter's pins and a filter-name key that some hosts read. The exports are
// named in resources/qzMultibandDX.def so that they appear undecorated.

#include "ServerModule.h"

#include "ClassFactory.h"
#include "Registration.h"
#include "TqPlugIn.h"
#include "TqPlugInPropPage.h"
#include "qz_guids.h"

#include <objbase.h>
#include <olectl.h>

#include <string>

HINSTANCE g_hInst = nullptr;

namespace {

// The classes this server publishes, in registration order.
const CFactoryTemplate g_Templates[] = {
    {L"Tavelin:qz Multiband", &qz::kCLSID_Filter, &CTqPlugIn::CreateInstance, &CTqPlugIn::SetupRecord()},
    {L"Tavelin:qz Multiband Property Page", &qz::kCLSID_PropertyPage, &CTqPlugInPropPage::CreateInstance, nullptr},
};
const int g_cTemplates = ARRAYSIZE(g_Templates);

const char kFilterName[] = "Tavelin:qz Multiband";
const char kAudioMediaType[] = "{73647561-0000-0010-8000-00AA00389B71}";
const char kNullIdentifier[] = "{00000000-0000-0000-0000-000000000000}";

// A class identifier as the registry names it: braced, upper case.
std::string ClsidText(REFCLSID clsid)
{
    WCHAR wide[40];
    StringFromGUID2(clsid, wide, ARRAYSIZE(wide));
    char text[40];
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

void SetDword(HKEY key, const char* name, DWORD value)
{
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// CLSID\{filter}\Pins\In and \Out with their flags and one audio type each. The
// results are not checked: the framework's registration already succeeded, and these
// keys only help hosts that look for them.
void WriteLegacyPins()
{
    const std::string pins = "CLSID\\" + ClsidText(qz::kCLSID_Filter) + "\\Pins";
    for (const char* pin : {"In", "Out"}) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, (pins + "\\" + pin).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            continue;
        SetDword(key, "AllowedMany", 0);
        SetDword(key, "AllowedZero", 0);
        SetDword(key, "Direction", pin[0] == 'O' ? 1 : 0);
        SetDword(key, "IsRendered", 0);
        HKEY type;
        const std::string types = std::string("Types\\") + kAudioMediaType + "\\" + kNullIdentifier;
        if (RegCreateKeyExA(key, types.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &type, nullptr) == ERROR_SUCCESS)
            RegCloseKey(type);
        RegCloseKey(key);
    }
}

std::string FilterKey(REFCLSID clsid) { return "Filter\\" + ClsidText(clsid); }

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_hInst = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return framework::GetClassObject(g_Templates, g_cTemplates, rclsid, riid, ppv);
}

// S_FALSE while an object of this server is alive (the automation object a host may
// keep after the filter is gone included) or a class factory is locked.
STDAPI DllCanUnloadNow(void)
{
    return framework::CanUnloadNow();
}

STDAPI DllRegisterServer(void)
{
    const HRESULT hr = framework::RegisterTemplates(g_Templates, g_cTemplates, g_hInst);
    if (FAILED(hr))
        return hr;
    WriteLegacyPins();
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, FilterKey(qz::kCLSID_Filter).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kFilterName), sizeof kFilterName);
        RegCloseKey(key);
    }
    return hr;
}

STDAPI DllUnregisterServer(void)
{
    const HRESULT hr = framework::UnregisterTemplates(g_Templates, g_cTemplates);
    if (hr == S_OK)
        for (const CFactoryTemplate& entry : g_Templates)
            RegDeleteKeyA(HKEY_CLASSES_ROOT, FilterKey(*entry.m_ClsID).c_str());
    return hr;
}
