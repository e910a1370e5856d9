// The four entry points of the in-process COM server and DllMain.
//
// The server publishes no class yet: DllGetClassObject refuses every class
// identifier, and registration has nothing to write. The exports are named in
// resources/qzMultibandDX.def so that they appear undecorated.

#include "ServerModule.h"

#include <objbase.h>
#include <olectl.h>

HINSTANCE g_hInst = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_hInst = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID /*rclsid*/, REFIID /*riid*/, LPVOID* ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

// No object of this server is alive, so the DLL may always be unloaded.
STDAPI DllCanUnloadNow(void)
{
    return S_OK;
}

STDAPI DllRegisterServer(void)
{
    return S_OK;
}

STDAPI DllUnregisterServer(void)
{
    return S_OK;
}
