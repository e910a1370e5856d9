#include "GdiLedger.h"

#include "ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

GdiLedger g_ledger;

namespace {

// Puts `replacement` into `module`'s import address table in place of `dll`'s
// `function`; answers the address it replaced (null when the module does not import it).
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name;
         ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            void* original = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<DWORD_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return original;
        }
    }
    return nullptr;
}


HGDIOBJ Track(HGDIOBJ object)
{
    if (object) {
        g_ledger.live.insert(object);
        ++g_ledger.created;
    }
    return object;
}

bool IsSelectedAnywhere(HGDIOBJ object)
{
    for (const auto& dc : g_ledger.chosen)
        if (dc.second.count(object))
            return true;
    return false;
}

// The real functions and their counting stand-ins.
#define QZ_REAL(name) decltype(&::name) real##name = nullptr

QZ_REAL(CreateCompatibleDC);
QZ_REAL(CreateCompatibleBitmap);
QZ_REAL(CreateDIBSection);
QZ_REAL(CreateBitmap);
QZ_REAL(CreateDIBitmap);
QZ_REAL(CreatePen);
QZ_REAL(CreateSolidBrush);
QZ_REAL(CreateFontA);
QZ_REAL(SelectObject);
QZ_REAL(DeleteObject);
QZ_REAL(DeleteDC);
QZ_REAL(LoadBitmapA);
QZ_REAL(GetDC);
QZ_REAL(ReleaseDC);

HDC WINAPI CountCreateCompatibleDC(HDC dc) { return HDC(Track(realCreateCompatibleDC(dc))); }
HBITMAP WINAPI CountCreateCompatibleBitmap(HDC dc, int w, int h)
{
    return HBITMAP(Track(realCreateCompatibleBitmap(dc, w, h)));
}
HBITMAP WINAPI CountCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                                     DWORD offset)
{
    return HBITMAP(Track(realCreateDIBSection(dc, info, usage, bits, section, offset)));
}
HBITMAP WINAPI CountCreateBitmap(int w, int h, UINT planes, UINT bits, const void* data)
{
    return HBITMAP(Track(realCreateBitmap(w, h, planes, bits, data)));
}
HBITMAP WINAPI CountCreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                                   const BITMAPINFO* info, UINT usage)
{
    return HBITMAP(Track(realCreateDIBitmap(dc, header, init, bits, info, usage)));
}
HPEN WINAPI CountCreatePen(int style, int width, COLORREF colour)
{
    return HPEN(Track(realCreatePen(style, width, colour)));
}
HBRUSH WINAPI CountCreateSolidBrush(COLORREF colour) { return HBRUSH(Track(realCreateSolidBrush(colour))); }
HFONT WINAPI CountCreateFontA(int h, int w, int e, int o, int weight, DWORD i, DWORD u, DWORD s, DWORD c, DWORD op,
                              DWORD cp, DWORD q, DWORD pf, LPCSTR face)
{
    return HFONT(Track(realCreateFontA(h, w, e, o, weight, i, u, s, c, op, cp, q, pf, face)));
}
HBITMAP WINAPI CountLoadBitmapA(HINSTANCE module, LPCSTR name) { return HBITMAP(Track(realLoadBitmapA(module, name))); }

HGDIOBJ WINAPI CountSelectObject(HDC dc, HGDIOBJ object)
{
    HGDIOBJ previous = realSelectObject(dc, object);
    if (previous && g_ledger.live.count(dc)) {
        std::set<HGDIOBJ>& selected = g_ledger.chosen[dc];
        selected.erase(previous);
        selected.insert(object);
    }
    return previous;
}

BOOL WINAPI CountDeleteObject(HGDIOBJ object)
{
    if (IsSelectedAnywhere(object))
        ++g_ledger.deletedWhileSelected;
    const BOOL deleted = realDeleteObject(object);
    if (deleted)
        g_ledger.live.erase(object);
    else
        ++g_ledger.failedDeletes;
    return deleted;
}

BOOL WINAPI CountDeleteDC(HDC dc)
{
    const BOOL deleted = realDeleteDC(dc);
    if (deleted) {
        g_ledger.live.erase(dc);
        g_ledger.chosen.erase(dc);
    }
    return deleted;
}

HDC WINAPI CountGetDC(HWND window)
{
    HDC dc = realGetDC(window);
    if (dc)
        ++g_ledger.windowDcs;
    return dc;
}

int WINAPI CountReleaseDC(HWND window, HDC dc)
{
    const int released = realReleaseDC(window, dc);
    if (released)
        --g_ledger.windowDcs;
    return released;
}

#define QZ_PATCH(dll, name)                                                                                   \
    real##name = reinterpret_cast<decltype(real##name)>(PatchImport(module, dll, #name, reinterpret_cast<void*>(Count##name)))

} // namespace

bool InstallGdiCounters(HMODULE module)
{
    if (realDeleteObject)
        return true;
    if (module == nullptr)
        module = GetModuleHandleA(nullptr);
    QZ_PATCH("gdi32.dll", CreateCompatibleDC);
    QZ_PATCH("gdi32.dll", CreateCompatibleBitmap);
    QZ_PATCH("gdi32.dll", CreateDIBSection);
    QZ_PATCH("gdi32.dll", CreateBitmap);
    QZ_PATCH("gdi32.dll", CreateDIBitmap);
    QZ_PATCH("gdi32.dll", CreatePen);
    QZ_PATCH("gdi32.dll", CreateSolidBrush);
    QZ_PATCH("gdi32.dll", CreateFontA);
    QZ_PATCH("gdi32.dll", SelectObject);
    QZ_PATCH("gdi32.dll", DeleteObject);
    QZ_PATCH("gdi32.dll", DeleteDC);
    QZ_PATCH("user32.dll", LoadBitmapA);
    QZ_PATCH("user32.dll", GetDC);
    QZ_PATCH("user32.dll", ReleaseDC);
    return realCreatePen && realDeleteObject && realGetDC;
}


// Repaints `window` 1000 times through `repaint` and checks that the objects alive
// and the window DCs held come back to where they were.
void ExpectFlatOver1000Repaints(const char* what, HWND window, void (*repaint)(HWND))
{
    Pump();
    repaint(window); // objects a control keeps for its life are made by now
    const std::set<HGDIOBJ> before = g_ledger.live;
    const long createdBefore = g_ledger.created;
    const long windowDcsBefore = g_ledger.windowDcs;
    const long selectedBefore = g_ledger.deletedWhileSelected;
    const long failedBefore = g_ledger.failedDeletes;
    for (int i = 0; i < 1000; ++i)
        repaint(window);
    EXPECT_GE(g_ledger.created - createdBefore, 1000) << what << ": every paint makes its off-screen image";
    EXPECT_EQ(g_ledger.live.size(), before.size()) << what << ": GDI objects alive after 1000 repaints";
    EXPECT_EQ(g_ledger.live, before) << what;
    EXPECT_EQ(g_ledger.windowDcs, windowDcsBefore) << what << ": window DCs not released";
    EXPECT_EQ(g_ledger.deletedWhileSelected, selectedBefore) << what << ": objects deleted while selected";
    EXPECT_EQ(g_ledger.failedDeletes, failedBefore) << what << ": deletes that failed";
}

