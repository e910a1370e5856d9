// Painting leaks no GDI object. Wine's GetGuiResources answers 0 whatever is alive,
// so the count is taken here instead: the GDI and window calls of this program go
// through its import address table, and the test puts its own functions there for
// every call that creates, selects or deletes a GDI object or a device context. The
// toolkit is linked into this program, so every object a control makes passes
// through the count; objects Wine makes inside its own DLLs do not.
#include "ControlsTestSupport.h"

#include "Controls.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"
#include "ToolkitBase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

using namespace qz;

namespace {

// Puts `replacement` into this program's import address table in place of `dll`'s
// `function`; answers the address it replaced (null when the program does not import it).
void* PatchImport(const char* dll, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
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

// What the counting functions saw.
struct GdiLedger {
    std::set<HGDIOBJ> live;                   // created and not yet deleted (objects and memory DCs)
    std::map<HDC, std::set<HGDIOBJ>> chosen;  // what is selected into each memory DC
    long created = 0;
    long windowDcs = 0;                       // GetDC minus ReleaseDC
    long deletedWhileSelected = 0;            // such a delete fails and leaks the object
    long failedDeletes = 0;
} g_ledger;

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
QZ_REAL(CreateFontA);
QZ_REAL(CreatePalette);
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
HFONT WINAPI CountCreateFontA(int h, int w, int e, int o, int weight, DWORD i, DWORD u, DWORD s, DWORD c, DWORD op,
                              DWORD cp, DWORD q, DWORD pf, LPCSTR face)
{
    return HFONT(Track(realCreateFontA(h, w, e, o, weight, i, u, s, c, op, cp, q, pf, face)));
}
HPALETTE WINAPI CountCreatePalette(const LOGPALETTE* palette) { return HPALETTE(Track(realCreatePalette(palette))); }
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
    real##name = reinterpret_cast<decltype(real##name)>(PatchImport(dll, #name, reinterpret_cast<void*>(Count##name)))

// Installs the counting functions once for the whole program.
void InstallCounters()
{
    if (realDeleteObject)
        return;
    QZ_PATCH("gdi32.dll", CreateCompatibleDC);
    QZ_PATCH("gdi32.dll", CreateCompatibleBitmap);
    QZ_PATCH("gdi32.dll", CreateDIBSection);
    QZ_PATCH("gdi32.dll", CreateBitmap);
    QZ_PATCH("gdi32.dll", CreateDIBitmap);
    QZ_PATCH("gdi32.dll", CreatePen);
    QZ_PATCH("gdi32.dll", CreateFontA);
    QZ_PATCH("gdi32.dll", CreatePalette);
    QZ_PATCH("gdi32.dll", SelectObject);
    QZ_PATCH("gdi32.dll", DeleteObject);
    QZ_PATCH("gdi32.dll", DeleteDC);
    QZ_PATCH("user32.dll", LoadBitmapA);
    QZ_PATCH("user32.dll", GetDC);
    QZ_PATCH("user32.dll", ReleaseDC);
}

TEST(GdiObjectCount, TheCountSeesALeakAndADeleteWhileSelected)
{
    InstallCounters();
    ASSERT_NE(realCreatePen, nullptr) << "the program imports CreatePen";
    ASSERT_NE(realGetDC, nullptr) << "the program imports GetDC";
    const size_t before = g_ledger.live.size();
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    EXPECT_EQ(g_ledger.live.size(), before + 1) << "a pen made and not deleted is counted";
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, pen);
    const long selectedBefore = g_ledger.deletedWhileSelected;
    DeleteObject(pen);
    EXPECT_EQ(g_ledger.deletedWhileSelected, selectedBefore + 1) << "deleting a selected pen is seen";
    SelectObject(dc, previous);
    DeleteObject(pen);
    DeleteDC(dc);
    EXPECT_EQ(g_ledger.live.size(), before);
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

void RefreshNow(HWND button) { SendMessageA(button, PB_REFRESH, 0, 1); }

void InvalidateAndUpdate(HWND window)
{
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

TEST(GdiObjectCount, StaysFlatAcross1000RepaintsOfEachClass)
{
    InstallCounters();
    TestParent& parent = Parent();
    HMODULE module = ToolkitModule();

    // A button with everything a paint can draw: faces, checked tint, icon, text,
    // menu mark and the focus frame; and one with the down arrow, pressed.
    HWND type = parent.Create("qz:PushButton", 10018, 431, 250, 76, 21, PBS_MENUMARK, "Normal");
    SendMessageA(type, PB_SETFACES, WPARAM(LoadPixelImage(module, IDR_FACE76_NORMAL)),
                 LPARAM(LoadPixelImage(module, IDR_FACE76_PRESSED)));
    SendMessageA(type, PB_SETICON, IDB_ICON_SOLO, 0);
    SendMessageA(type, PB_SETCHECK, 1, 0);
    SetFocus(type);
    ExpectFlatOver1000Repaints("qz:PushButton with menu mark, icon, check and focus", type, RefreshNow);

    HWND arrow = parent.Create("qz:PushButton", 20013, 235, 16, 15, 21, PBS_ARROWMARK, "");
    SendMessageA(arrow, PB_SETFACES, WPARAM(LoadPixelImage(module, IDR_FACE15_NORMAL)),
                 LPARAM(LoadPixelImage(module, IDR_FACE15_PRESSED)));
    SendMessageA(arrow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ExpectFlatOver1000Repaints("qz:PushButton pressed, with the arrow", arrow, RefreshNow);
    SendMessageA(arrow, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));

    HWND text = parent.Create("qz:StaticText", 10022, 503, 32, 52, 11, 0, "-Inf -Inf");
    ExpectFlatOver1000Repaints("qz:StaticText", text, InvalidateAndUpdate);

    HWND strip = parent.Create("qz:StaticImage", 10140, 333, 217, 200, 20);
    SendMessageA(strip, SI_SETIMAGE, IDB_STRIP_BAND1, 0);
    ExpectFlatOver1000Repaints("qz:StaticImage", strip, InvalidateAndUpdate);

    HWND caption = parent.Create("qz:StaticNoHitImage", 10028, 342, 239, 113, 10);
    SendMessageA(caption, SI_SETIMAGE, IDB_CAPTION_BAND, 0);
    ExpectFlatOver1000Repaints("qz:StaticNoHitImage", caption, InvalidateAndUpdate);

    // Destroying a button releases what it kept (icon and menu mark bitmaps).
    const size_t alive = g_ledger.live.size();
    DestroyWindow(type);
    EXPECT_EQ(g_ledger.live.size(), alive - 2) << "the icon and the menu mark go with the button";
}

} // namespace
