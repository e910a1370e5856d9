#include "EditorTestSupport.h"

#include "Controls.h"
#include "PageLayout.h"
#include "qz_guids.h"

#include <gtest/gtest.h>

namespace {

using namespace qz::page;

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

ComPtr<IClassFactory> PageFactoryOf(HMODULE module)
{
    ComPtr<IClassFactory> factory;
    auto getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (getClassObject != nullptr)
        getClassObject(qz::kCLSID_PropertyPage, IID_IClassFactory, factory.put_void());
    return factory;
}

// The program's DLL keeps its page factory until the lifetime test lets go of it.
ComPtr<IClassFactory>& PageFactory()
{
    static ComPtr<IClassFactory> factory;
    if (!factory)
        factory = PageFactoryOf(Server().module());
    return factory;
}

BOOL CALLBACK CountWindow(HWND, LPARAM counter)
{
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

BOOL CALLBACK CountWindowAndDescendants(HWND window, LPARAM counter)
{
    CountWindow(window, counter);
    EnumChildWindows(window, CountWindow, counter);
    return TRUE;
}

} // namespace

FilterServer& Server()
{
    static FilterServer server;
    return server;
}

ComPtr<IPropertyPage> CreatePage(FilterServer& server)
{
    ComPtr<IClassFactory> factory = &server == &Server() ? PageFactory() : PageFactoryOf(server.module());
    ComPtr<IPropertyPage> page;
    if (factory)
        factory->CreateInstance(nullptr, IID_IPropertyPage, page.put_void());
    return page;
}

void ReleasePageFactory() { PageFactory().reset(); }

STDMETHODIMP TestSite::QueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IUnknown || iid == IID_IPropertyPageSite) {
        *object = static_cast<IPropertyPageSite*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP TestSite::OnStatusChange(DWORD flags)
{
    statusChanges.push_back(flags);
    return S_OK;
}

STDMETHODIMP TestSite::GetLocaleID(LCID* locale)
{
    *locale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
    return S_OK;
}

STDMETHODIMP TestSite::GetPageContainer(IUnknown** container)
{
    *container = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TestSite::TranslateAccelerator(MSG* /*message*/) { return S_FALSE; }

HWND HostWindow()
{
    static HWND host = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "qz:EditorTestHost";
        RegisterClassA(&windowClass);
        HWND window = CreateWindowExA(0, windowClass.lpszClassName, "editor test host",
                                      WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 20, 20, 620, 500, nullptr,
                                      nullptr, windowClass.hInstance, nullptr);
        PumpMessages();
        return window;
    }();
    return host;
}

OpenPage::OpenPage(bool connectFirst, IUnknown* existingFilter, FilterServer& server)
{
    if (existingFilter != nullptr) {
        existingFilter->AddRef();
        *filter.put() = existingFilter;
    } else {
        filter = server.Create<IUnknown>(IID_IUnknown);
    }
    prop = As<qz::ITqPlugInProp>(filter.get(), qz::kIID_ITqPlugInProp);
    page = CreatePage(server);
    if (!page || !prop)
        return;
    page->SetPageSite(&site);
    if (connectFirst) {
        Connect();
        Activate();
    } else {
        Activate();
        Connect();
    }
}

void OpenPage::Connect()
{
    IUnknown* objects[] = {filter.get()};
    EXPECT_EQ(page->SetObjects(1, objects), S_OK);
}

void OpenPage::Activate()
{
    const RECT area = {0, 0, 570, 436};
    EXPECT_EQ(page->Activate(HostWindow(), &area, FALSE), S_OK);
    window = GetWindow(HostWindow(), GW_CHILD);
    PumpMessages();
}

OpenPage::~OpenPage()
{
    if (!page)
        return;
    if (window != nullptr)
        page->Deactivate();
    page->SetObjects(0, nullptr);
    page->SetPageSite(nullptr);
    page.reset();
    PumpMessages();
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

std::string Text(HWND window)
{
    char text[64] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

bool Checked(HWND button) { return SendMessageA(button, qz::PB_GETCHECK, 0, 0) != 0; }

void Click(const OpenPage& open, int id)
{
    SendMessageA(open.window, WM_COMMAND, MAKEWPARAM(id, qz::PBN_CLICKED), reinterpret_cast<LPARAM>(open.Control(id)));
}

void SelectBand(const OpenPage& open, int band)
{
    SendMessageA(open.window, qz::SI_CLICK, ID_SELECTOR, MAKELPARAM(27 * band + 5, 5));
}

qz::ParamBlock Block(const OpenPage& open)
{
    qz::ParamBlock block{};
    open.prop->GetParamBlock(&block);
    return block;
}

int ThreadWindowCount()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindowAndDescendants, reinterpret_cast<LPARAM>(&count));
    return count;
}
