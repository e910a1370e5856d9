#include "PropertyPage.h"

#include <olectl.h>

CBasePropertyPage::CBasePropertyPage(LPUNKNOWN outer, HINSTANCE module, int dialogId, int titleId)
    : CUnknown(outer), m_module(module), m_DialogId(dialogId), m_TitleId(titleId)
{
}

CBasePropertyPage::~CBasePropertyPage()
{
    // A frame that let go of the page without deactivating it leaves its window here.
    if (m_hwnd != nullptr)
        DestroyWindow(m_hwnd);
    if (m_pPageSite != nullptr)
        m_pPageSite->Release();
}

STDMETHODIMP CBasePropertyPage::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IPropertyPage)
        return GetInterface(static_cast<IPropertyPage*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CBasePropertyPage::SetPageSite(IPropertyPageSite* site)
{
    if (site != nullptr) {
        if (m_pPageSite != nullptr)
            return E_UNEXPECTED;
        m_pPageSite = site;
        m_pPageSite->AddRef();
        return S_OK;
    }
    if (m_pPageSite == nullptr)
        return E_UNEXPECTED;
    m_pPageSite->Release();
    m_pPageSite = nullptr;
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL /*modal*/)
{
    if (rect == nullptr)
        return E_POINTER;
    if (m_hwnd != nullptr)
        return E_UNEXPECTED;
    // WM_INITDIALOG already finds m_hwnd set (DialogProc records it first).
    if (CreateDialogParamA(m_module, MAKEINTRESOURCEA(m_DialogId), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this)) == nullptr) {
        m_hwnd = nullptr;
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = OnActivate();
    if (FAILED(hr)) {
        DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
        return hr;
    }
    Move(rect);
    return Show(SW_SHOWNORMAL);
}

STDMETHODIMP CBasePropertyPage::Deactivate()
{
    if (m_hwnd == nullptr)
        return E_UNEXPECTED;
    OnDeactivate();
    DestroyWindow(m_hwnd);
    m_hwnd = nullptr;
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::GetPageInfo(PROPPAGEINFO* info)
{
    if (info == nullptr)
        return E_POINTER;
    WCHAR title[128] = L"";
    LoadStringW(m_module, m_TitleId, title, ARRAYSIZE(title));
    const size_t bytes = (lstrlenW(title) + 1) * sizeof(WCHAR);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy == nullptr)
        return E_OUTOFMEMORY;
    CopyMemory(copy, title, bytes);
    info->cb = sizeof(PROPPAGEINFO);
    info->pszTitle = copy;
    info->size = framework::DialogTemplateSize(m_module, m_DialogId);
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::SetObjects(ULONG count, IUnknown** objects)
{
    if (count == 1) {
        if (objects == nullptr || objects[0] == nullptr)
            return E_POINTER;
        m_bObjectSet = true;
        return OnConnect(objects[0]);
    }
    if (count == 0) {
        m_bObjectSet = false;
        return OnDisconnect();
    }
    // A page edits one filter; several at once are not supported.
    return E_UNEXPECTED;
}

STDMETHODIMP CBasePropertyPage::Show(UINT command)
{
    if (m_hwnd == nullptr)
        return E_UNEXPECTED;
    if (command != SW_SHOW && command != SW_SHOWNORMAL && command != SW_HIDE)
        return E_INVALIDARG;
    ShowWindow(m_hwnd, command);
    InvalidateRect(m_hwnd, nullptr, TRUE);
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::Move(LPCRECT rect)
{
    if (rect == nullptr)
        return E_POINTER;
    if (m_hwnd == nullptr)
        return E_UNEXPECTED;
    MoveWindow(m_hwnd, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::IsPageDirty()
{
    return m_bDirty ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePropertyPage::Apply()
{
    if (!m_bObjectSet || m_pPageSite == nullptr)
        return E_UNEXPECTED;
    if (!m_bDirty)
        return S_OK;
    const HRESULT hr = OnApplyChanges();
    if (SUCCEEDED(hr))
        m_bDirty = false;
    return hr;
}

STDMETHODIMP CBasePropertyPage::Help(LPCOLESTR /*helpDirectory*/)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBasePropertyPage::TranslateAccelerator(MSG* /*message*/)
{
    return E_NOTIMPL;
}

INT_PTR CBasePropertyPage::OnReceiveMessage(HWND /*window*/, UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    return FALSE;
}

void CBasePropertyPage::SetDirty()
{
    m_bDirty = true;
    if (m_pPageSite != nullptr)
        m_pPageSite->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

INT_PTR CALLBACK CBasePropertyPage::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CBasePropertyPage* page;
    if (message == WM_INITDIALOG) {
        page = reinterpret_cast<CBasePropertyPage*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        page->m_hwnd = window;
    } else {
        page = reinterpret_cast<CBasePropertyPage*>(GetWindowLongPtrA(window, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) find no page yet.
    if (page == nullptr)
        return FALSE;
    const INT_PTR result = page->OnReceiveMessage(window, message, wParam, lParam);
    // The window may go with its parent, without Deactivate.
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        page->m_hwnd = nullptr;
    }
    return result;
}

namespace framework {

SIZE DialogTemplateSize(HINSTANCE module, int dialogId)
{
    SIZE size = {0, 0};
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(dialogId), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* words = loaded ? static_cast<const WORD*>(LockResource(loaded)) : nullptr;
    if (words == nullptr)
        return size;
    // DLGTEMPLATEEX starts with version 1 and signature 0xFFFF; its cx and cy sit
    // 22 bytes in, a DLGTEMPLATE's 14.
    const bool extended = words[0] == 1 && words[1] == 0xFFFF;
    const auto* bytes = reinterpret_cast<const BYTE*>(words);
    const short cx = *reinterpret_cast<const short*>(bytes + (extended ? 22 : 14));
    const short cy = *reinterpret_cast<const short*>(bytes + (extended ? 24 : 16));
    const LONG units = GetDialogBaseUnits();
    size.cx = MulDiv(cx, LOWORD(units), 4);
    size.cy = MulDiv(cy, HIWORD(units), 8);
    return size;
}

} // namespace framework
