// The property-page base: the IPropertyPage plumbing a page needs to live in a host's
// property frame. The page's window is a child dialog made from a template; its
// messages go to OnReceiveMessage, and the object the page edits arrives through
// OnConnect and leaves through OnDisconnect.
#pragma once

#include "Unknown.h"

#include <ocidl.h>

class CBasePropertyPage : public CUnknown, public IPropertyPage {
public:
    // `module` holds the dialog template `dialogId` and the title string `titleId`.
    CBasePropertyPage(LPUNKNOWN outer, HINSTANCE module, int dialogId, int titleId);
    ~CBasePropertyPage() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // --- IPropertyPage ---
    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    STDMETHODIMP Deactivate() override;
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
    STDMETHODIMP Show(UINT command) override;
    STDMETHODIMP Move(LPCRECT rect) override;
    STDMETHODIMP IsPageDirty() override;
    STDMETHODIMP Apply() override;
    STDMETHODIMP Help(LPCOLESTR helpDirectory) override;
    STDMETHODIMP TranslateAccelerator(MSG* message) override;

    // --- What a page adds ---
    // The object to edit (SetObjects with one object), and its departure.
    virtual HRESULT OnConnect(IUnknown* /*object*/) { return S_OK; }
    virtual HRESULT OnDisconnect() { return S_OK; }
    // After the window is made, before it is destroyed.
    virtual HRESULT OnActivate() { return S_OK; }
    virtual HRESULT OnDeactivate() { return S_OK; }
    // Apply with a dirty page.
    virtual HRESULT OnApplyChanges() { return S_OK; }
    // Every message of the page window; the result is the dialog procedure's.
    virtual INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    // Marks the page changed and tells the frame, which enables its Apply button.
    void SetDirty();

    IPropertyPageSite* m_pPageSite = nullptr;
    HWND m_hwnd = nullptr;  // the page window while the page is active
    bool m_bDirty = false;
    const HINSTANCE m_module;
    const int m_DialogId;
    const int m_TitleId;

private:
    bool m_bObjectSet = false;  // SetObjects handed the page an object

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

namespace framework {

// The size in pixels of a dialog template, converted from dialog units with the
// system's dialog base units; zero when the template is missing.
SIZE DialogTemplateSize(HINSTANCE module, int dialogId);

} // namespace framework
