// The editor page of the real DLL, opened in a host window of the test's own: a
// page site that records what the page tells it, and the filter it edits.
#pragma once

#include "FilterTestSupport.h"

#include <ocidl.h>

#include <vector>

// The DLL, loaded once for the program, with the factories of both its classes.
FilterServer& Server();
ComPtr<IPropertyPage> CreatePage();
// The page factory is one of the server's live objects; the lifetime test lets go of it.
void ReleasePageFactory();

// A page site on the stack of a test: its count is not used for its lifetime.
class TestSite : public IPropertyPageSite {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP OnStatusChange(DWORD flags) override;
    STDMETHODIMP GetLocaleID(LCID* locale) override;
    STDMETHODIMP GetPageContainer(IUnknown** container) override;
    STDMETHODIMP TranslateAccelerator(MSG* message) override;

    ULONG references = 0;
    std::vector<DWORD> statusChanges;
};

// A visible top-level window the pages are opened in, one for the program.
HWND HostWindow();

// A page connected to a new filter (or the one given) and activated in the host
// window: the order of the two steps is the caller's choice.
struct OpenPage {
    explicit OpenPage(bool connectFirst = true, IUnknown* filter = nullptr);
    ~OpenPage();
    OpenPage(const OpenPage&) = delete;
    OpenPage& operator=(const OpenPage&) = delete;

    void Connect();
    void Activate();
    HWND Control(int id) const { return GetDlgItem(window, id); }
    // Runs one tick of the page's 50 ms timer now.
    void Tick() const { SendMessageA(window, WM_TIMER, 0, 0); }

    TestSite site;
    ComPtr<IUnknown> filter;
    ComPtr<qz::ITqPlugInProp> prop;
    ComPtr<IPropertyPage> page;
    HWND window = nullptr;
};

// Dispatches the messages queued for this thread.
void PumpMessages();

// Every window of this thread: top-level ones and all their descendants.
int ThreadWindowCount();
