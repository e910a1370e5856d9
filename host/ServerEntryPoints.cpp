// The four entry points of the in-process COM server and DllMain.
//
// The framework's factory machinery answers them from the template table below.
// The server publishes no class yet: the table is empty, so DllGetClassObject
// refuses every class identifier and registration has nothing to write. The
// exports are named in resources/qzMultibandDX.def so that they appear undecorated.

#include "ServerModule.h"

#include "ClassFactory.h"
#include "Registration.h"

#include <objbase.h>
#include <olectl.h>

HINSTANCE g_hInst = nullptr;

namespace {

// The classes this server publishes, in registration order.
const CFactoryTemplate* const g_Templates = nullptr;
const int g_cTemplates = 0;

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

// S_FALSE while an object of this server is alive or a class factory is locked.
STDAPI DllCanUnloadNow(void)
{
    return framework::CanUnloadNow();
}

STDAPI DllRegisterServer(void)
{
    return framework::RegisterTemplates(g_Templates, g_cTemplates, g_hInst);
}

STDAPI DllUnregisterServer(void)
{
    return framework::UnregisterTemplates(g_Templates, g_cTemplates);
}
