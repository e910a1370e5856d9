#include "FilterTestSupport.h"

#include "qz_guids.h"

namespace {
using EntryPoint = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
} // namespace

FilterServer::FilterServer() : m_module(LoadLibraryW(L"qzMultibandDX.dll"))
{
    if (m_module == nullptr)
        return;
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(m_module, "DllGetClassObject"));
    if (getClassObject != nullptr)
        getClassObject(qz::kCLSID_Filter, IID_IClassFactory, m_factory.put_void());
}

FilterServer::~FilterServer()
{
    m_factory.reset();
    // The module stays loaded: objects of a failed test may still be alive.
}

HRESULT FilterServer::CanUnloadNow()
{
    return reinterpret_cast<EntryPoint>(GetProcAddress(m_module, "DllCanUnloadNow"))();
}

HRESULT FilterServer::Register()
{
    return reinterpret_cast<EntryPoint>(GetProcAddress(m_module, "DllRegisterServer"))();
}

HRESULT FilterServer::Unregister()
{
    return reinterpret_cast<EntryPoint>(GetProcAddress(m_module, "DllUnregisterServer"))();
}

TestWindow::TestWindow()
    : m_window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr))
{
}

TestWindow::~TestWindow() { DestroyWindow(m_window); }

std::vector<WPARAM> TestWindow::Commands()
{
    std::vector<WPARAM> commands;
    MSG message;
    while (PeekMessageW(&message, m_window, WM_COMMAND, WM_COMMAND, PM_REMOVE))
        commands.push_back(message.wParam);
    return commands;
}
