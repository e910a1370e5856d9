// Counting the GDI objects this program makes. Wine's GetGuiResources answers 0
// whatever is alive, so the count is taken here instead: the GDI and window calls of
// this program go through its import address table, and InstallGdiCounters puts its
// own functions there for every call that creates, selects or deletes a GDI object
// or a device context (and LoadBitmap, GetDC, ReleaseDC). The toolkit is linked into
// this program, so every object a control makes passes through the count; objects
// Wine makes inside its own DLLs do not.
#pragma once

#include <windows.h>

#include <map>
#include <set>

// What the counting functions saw.
struct GdiLedger {
    std::set<HGDIOBJ> live;                  // created and not yet deleted (objects and memory DCs)
    std::map<HDC, std::set<HGDIOBJ>> chosen; // what is selected into each memory DC
    long created = 0;
    long windowDcs = 0;                      // GetDC minus ReleaseDC
    long deletedWhileSelected = 0;           // such a delete fails and leaks the object
    long failedDeletes = 0;
};

extern GdiLedger g_ledger;

// Installs the counting functions once for the whole program, in the import table
// of `module` (null: the program itself; a DLL's handle counts what that DLL makes);
// false when the module does not import the calls (then nothing could be counted).
bool InstallGdiCounters(HMODULE module = nullptr);

// Repaints `window` 1000 times through `repaint` and checks that the objects alive
// and the window DCs held come back to where they were.
void ExpectFlatOver1000Repaints(const char* what, HWND window, void (*repaint)(HWND));
