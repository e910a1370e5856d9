#include "EditorFrame.h"

#include <ocidl.h>
#include <olectl.h>

#include <vector>

namespace qzhost {

namespace {

std::vector<CLSID> PageClasses(IBaseFilter* filter)
{
    ComPtr<ISpecifyPropertyPages> specify;
    filter->QueryInterface(IID_ISpecifyPropertyPages, specify.put_void());
    if (!specify)
        throw HostError("the filter names no editor page: it lacks ISpecifyPropertyPages");
    CAUUID pages{};
    const HRESULT hr = specify->GetPages(&pages);
    if (FAILED(hr))
        throw HostError("the filter did not name its editor pages: " + HrText(hr));
    std::vector<CLSID> classes(pages.pElems, pages.pElems + pages.cElems);
    CoTaskMemFree(pages.pElems);
    if (classes.empty())
        throw HostError("the filter names no editor page");
    return classes;
}

} // namespace

void CheckWindowsCanOpen()
{
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe == nullptr)
        throw HostError("the editor cannot open: no window can be shown here (is there a display?)");
    DestroyWindow(probe);
}

void ShowEditorFrame(FilterModule& module, IBaseFilter* filter, const std::wstring& caption)
{
    std::vector<CLSID> classes = PageClasses(filter);
    module.ServeClasses(classes);
    // The frame shows what it could create and says nothing of the rest: make sure
    // every page can be made before opening it.
    for (const CLSID& pageClass : classes) {
        ComPtr<IPropertyPage> page;
        const HRESULT hr =
            CoCreateInstance(pageClass, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage, page.put_void());
        if (FAILED(hr))
            throw HostError("the filter's editor page cannot be created: " + HrText(hr));
    }
    IUnknown* objects[] = {filter};
    const HRESULT hr = OleCreatePropertyFrame(nullptr, 40, 40, caption.c_str(), 1, objects,
                                              static_cast<ULONG>(classes.size()), classes.data(),
                                              GetUserDefaultLCID(), 0, nullptr);
    if (FAILED(hr))
        throw HostError("the system's property frame did not open: " + HrText(hr));
}

} // namespace qzhost
