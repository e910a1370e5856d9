// The module handle of qzMultibandDX.dll, recorded when the DLL is loaded. Resources,
// the module's path (registration, files beside the DLL) and window classes need it.
#pragma once

#include <windows.h>

extern HINSTANCE g_hInst;
