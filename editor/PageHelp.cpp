#include "PageHelp.h"

namespace qz {

namespace {

constexpr UINT kDisplayTopic = 0;      // HH_DISPLAY_TOPIC
constexpr WORD kHtmlHelpAOrdinal = 14;  // HtmlHelpA's export ordinal in the control
const char kHelpControlServer[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

using HtmlHelpAFn = HWND(WINAPI*)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

// The library registered for the HTML Help control, else hhctrl.ocx from the search path.
HMODULE LoadHelpControl()
{
    char path[MAX_PATH] = "";
    LONG size = sizeof path;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, kHelpControlServer, path, &size) == ERROR_SUCCESS && path[0] != '\0') {
        char expanded[MAX_PATH];
        const DWORD length = ExpandEnvironmentStringsA(path, expanded, sizeof expanded);
        if (length > 0 && length <= sizeof expanded)
            if (HMODULE control = LoadLibraryA(expanded))
                return control;
    }
    return LoadLibraryA("hhctrl.ocx");
}

// Bound once for the life of the process; a failure is remembered and not retried.
HtmlHelpAFn HtmlHelpEntry()
{
    static const HtmlHelpAFn entry = [] {
        HMODULE control = LoadHelpControl();
        return control ? reinterpret_cast<HtmlHelpAFn>(reinterpret_cast<void*>(
                             GetProcAddress(control, MAKEINTRESOURCEA(kHtmlHelpAOrdinal))))
                       : nullptr;
    }();
    return entry;
}

} // namespace

std::string HelpFilePath(HMODULE module)
{
    char path[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    std::string folder(path, length < sizeof path ? length : 0);
    const size_t nameStart = folder.find_last_of("\\:");
    folder.erase(nameStart == std::string::npos ? 0 : nameStart + 1);
    return folder + "TavelinqzMultiband.chm";
}

void ShowHelp(HWND owner, HMODULE module)
{
    const std::string path = HelpFilePath(module);
    const HtmlHelpAFn htmlHelp = HtmlHelpEntry();
    if (htmlHelp != nullptr && htmlHelp(owner, path.c_str(), kDisplayTopic, 0) != nullptr)
        return;
    const std::string message = "Unable to open the Tavelin:qz Multiband help file:\n" + path;
    MessageBoxA(owner, message.c_str(), "Error", MB_ICONEXCLAMATION);
}

} // namespace qz
