// qzstorepath: prints the path of the preset store that the filter's editor opens in
// this process, found through the registry exactly as the editor finds it. Built in
// both widths, so a test can ask a 32-bit and a 64-bit process of one system.
//
// Exit codes: 0 and the path on standard output; 1 when no store can be found.
#include "PresetFileFormat.h"
#include "PresetManager.h"
#include "qz_guids.h"

#include <cstdio>

int main()
{
    qz::PresetManager manager(GetModuleHandleA(nullptr), nullptr, "qz:Multiband");
    // A probe has no one to answer a message box: report on standard error instead.
    manager.SetMessageBox([](HWND, const std::string& text, const std::string&, UINT) {
        std::fprintf(stderr, "qzstorepath: %s\n", text.c_str());
        return IDOK;
    });
    manager.OpenPresetStore(nullptr, qz::PresetClassKey(qz::kCLSID_Filter).c_str(), "qzMultibandDX.ini");
    if (manager.StorePath().empty()) {
        std::fputs("qzstorepath: no preset store: the filter is not registered\n", stderr);
        return 1;
    }
    std::printf("%s\n", manager.StorePath().c_str());
    return 0;
}
