// The editor page of the real DLL, opened in a host window of the test's own: a
// page site that records what the page tells it, and the filter it edits.
#pragma once

#include "FilterTestSupport.h"

#include "qz_guids.h"

#include <ocidl.h>

#include <string>
#include <vector>

// The DLL, loaded once for the program, with the factories of both its classes.
FilterServer& Server();
// A new page of the given copy of the DLL.
ComPtr<IPropertyPage> CreatePage(FilterServer& server = Server());
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
// window: the order of the two steps is the caller's choice. Page and filter come
// from the program's DLL unless another copy of it is named.
struct OpenPage {
    explicit OpenPage(bool connectFirst = true, IUnknown* filter = nullptr, FilterServer& server = Server());
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

// What the user sees and what the page's controls report.
std::string Text(HWND window);
bool Checked(HWND button);
// A button of the page reporting a click, as the toolkit's push button does.
void Click(const OpenPage& open, int id);
// A click on the band selector strip: band 0..4, or 5 for the all-bands view.
void SelectBand(const OpenPage& open, int band);
// The engine's current parameters.
qz::ParamBlock Block(const OpenPage& open);

// The host's end of the editor's gestures: what the filter relays, as text.
class GestureRecorder : public IMediaParamsUICallback {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == qz::kIID_IMediaParamsUICallback) {
            *object = static_cast<IMediaParamsUICallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP ParamsBeginCapture(DWORD* indices, DWORD count) override { return Record("begin", indices, count); }
    STDMETHODIMP ParamsChanged(DWORD* indices, DWORD count, MP_DATA* values) override
    {
        Record("changed", indices, count);
        for (DWORD i = 0; i < count; ++i)
            events.back() += " =" + std::to_string(values[i]);
        return S_OK;
    }
    STDMETHODIMP ParamsEndCapture(DWORD* indices, DWORD count) override { return Record("end", indices, count); }

    ULONG references = 0;
    std::vector<std::string> events;

private:
    HRESULT Record(const char* what, const DWORD* indices, DWORD count)
    {
        std::string event = what;
        for (DWORD i = 0; i < count; ++i)
            event += " " + std::to_string(indices[i]);
        events.push_back(event);
        return S_OK;
    }
};

// Every window of this thread: top-level ones and all their descendants.
int ThreadWindowCount();
