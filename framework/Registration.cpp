#include "Registration.h"

#include "ClassFactory.h"

#include <uuids.h>

namespace {

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// "CLSID\{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
void ClassKeyName(REFCLSID clsid, WCHAR (&name)[48])
{
    lstrcpyW(name, L"CLSID\\");
    StringFromGUID2(clsid, name + 6, 48 - 6);
}

HRESULT SetString(HKEY key, const WCHAR* value, const WCHAR* text)
{
    const DWORD bytes = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR));
    LONG error = RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
    return HRESULT_FROM_WIN32(error);
}

// Creates `parent`\`subkey` and sets its default value (and one named value).
HRESULT WriteKey(HKEY parent, const WCHAR* subkey, const WCHAR* text, const WCHAR* valueName = nullptr,
                 const WCHAR* valueText = nullptr)
{
    HKEY key;
    LONG error = RegCreateKeyExW(parent, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                                 nullptr);
    if (error != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(error);
    HRESULT hr = SetString(key, nullptr, text);
    if (SUCCEEDED(hr) && valueName != nullptr)
        hr = SetString(key, valueName, valueText);
    RegCloseKey(key);
    return hr;
}

// RegDeleteKey removes empty keys only; take the children first.
LONG DeleteTree(HKEY parent, const WCHAR* subkey)
{
    HKEY key;
    LONG error = RegOpenKeyExW(parent, subkey, 0, KEY_READ | KEY_WRITE, &key);
    if (error != ERROR_SUCCESS)
        return error;
    WCHAR child[256];
    for (;;) {
        DWORD length = 256;
        error = RegEnumKeyExW(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (error != ERROR_SUCCESS)
            break;
        error = DeleteTree(key, child);
        if (error != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(key);
    if (error != ERROR_NO_MORE_ITEMS)
        return error;
    return RegDeleteKeyW(parent, subkey);
}

HRESULT IgnoreNotFound(HRESULT hr)
{
    return hr == kNotFound ? S_OK : hr;
}

HRESULT RegisterPins(IFilterMapper* mapper, const AMOVIESETUP_FILTER& setup)
{
    const CLSID& filter = *setup.clsID;
    HRESULT hr = mapper->RegisterFilter(filter, setup.strName, setup.dwMerit);
    for (UINT p = 0; SUCCEEDED(hr) && p < setup.nPins; ++p) {
        const AMOVIESETUP_PIN& pin = setup.lpPin[p];
        hr = mapper->RegisterPin(filter, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany,
                                 pin.clsConnectsToFilter != nullptr ? *pin.clsConnectsToFilter : CLSID_NULL,
                                 pin.strConnectsToPin);
        for (UINT t = 0; SUCCEEDED(hr) && t < pin.nMediaTypes; ++t) {
            const AMOVIESETUP_MEDIATYPE& type = pin.lpMediaType[t];
            hr = mapper->RegisterPinType(filter, pin.strName,
                                         type.clsMajorType != nullptr ? *type.clsMajorType : CLSID_NULL,
                                         type.clsMinorType != nullptr ? *type.clsMinorType : CLSID_NULL);
        }
    }
    return hr;
}

} // namespace

namespace framework {

HRESULT RegisterServer(REFCLSID clsid, const WCHAR* name, const WCHAR* modulePath)
{
    WCHAR classKey[48];
    ClassKeyName(clsid, classKey);
    HKEY key;
    LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, classKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                 nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(error);
    HRESULT hr = SetString(key, nullptr, name);
    if (SUCCEEDED(hr))
        hr = WriteKey(key, L"InprocServer32", modulePath, L"ThreadingModel", L"Both");
    RegCloseKey(key);
    return hr;
}

HRESULT UnregisterServer(REFCLSID clsid)
{
    WCHAR classKey[48];
    ClassKeyName(clsid, classKey);
    const LONG error = DeleteTree(HKEY_CLASSES_ROOT, classKey);  // HRESULT_FROM_WIN32 is a macro
    return IgnoreNotFound(HRESULT_FROM_WIN32(error));
}

HRESULT RegisterFilter(IFilterMapper2* mapper, const AMOVIESETUP_FILTER& setup, bool doRegister)
{
    HRESULT hr = IgnoreNotFound(mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, *setup.clsID));
    if (FAILED(hr) || !doRegister)
        return hr;

    REGFILTER2 record{};
    record.dwVersion = 1;
    record.dwMerit = setup.dwMerit;
    record.cPins = setup.nPins;
    record.rgPins = setup.lpPin;
    return mapper->RegisterFilter(*setup.clsID, setup.strName, nullptr, &CLSID_LegacyAmFilterCategory, nullptr,
                                  &record);
}

HRESULT RegisterFilter(IFilterMapper* mapper, const AMOVIESETUP_FILTER& setup, bool doRegister)
{
    HRESULT hr = IgnoreNotFound(mapper->UnregisterFilter(*setup.clsID));
    if (FAILED(hr) || !doRegister)
        return hr;

    hr = RegisterPins(mapper, setup);
    if (FAILED(hr))
        mapper->UnregisterFilter(*setup.clsID);  // no half-registered filter
    return hr;
}

HRESULT RegisterFilter(const AMOVIESETUP_FILTER& setup, bool doRegister)
{
    // Registration may be called before the caller has set up COM (regsvr32 does not
    // promise it). RPC_E_CHANGED_MODE means COM is there already, in the other mode.
    const HRESULT com = CoInitialize(nullptr);

    IFilterMapper2* mapper2 = nullptr;
    IFilterMapper* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void**>(&mapper2));
    if (SUCCEEDED(hr)) {
        hr = RegisterFilter(mapper2, setup, doRegister);
        mapper2->Release();
    } else {
        hr = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                              reinterpret_cast<void**>(&mapper));
        if (SUCCEEDED(hr)) {
            hr = RegisterFilter(mapper, setup, doRegister);
            mapper->Release();
        }
    }

    if (SUCCEEDED(com))
        CoUninitialize();
    return hr;
}

HRESULT RegisterTemplates(const CFactoryTemplate* templates, int count, HMODULE module)
{
    WCHAR path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    if (length == MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

    for (int i = 0; i < count; ++i) {
        HRESULT hr = RegisterServer(*templates[i].m_ClsID, templates[i].m_Name, path);
        if (FAILED(hr))
            return hr;
    }
    for (int i = 0; i < count; ++i) {
        if (templates[i].m_pAMovieSetup_Filter == nullptr)
            continue;
        HRESULT hr = RegisterFilter(*templates[i].m_pAMovieSetup_Filter, true);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT UnregisterTemplates(const CFactoryTemplate* templates, int count)
{
    HRESULT result = S_OK;
    for (int i = 0; i < count; ++i) {
        if (templates[i].m_pAMovieSetup_Filter == nullptr)
            continue;
        HRESULT hr = RegisterFilter(*templates[i].m_pAMovieSetup_Filter, false);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    for (int i = 0; i < count; ++i) {
        HRESULT hr = UnregisterServer(*templates[i].m_ClsID);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    return result;
}

} // namespace framework
