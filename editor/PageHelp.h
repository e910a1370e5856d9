// The editor's help: the compiled HTML Help file beside the DLL, shown through the
// HTML Help control's entry point, which is looked up on first use.
#pragma once

#include <windows.h>

#include <string>

namespace qz {

// The help file's path: the module's own path with its file name replaced by
// "TavelinqzMultiband.chm".
std::string HelpFilePath(HMODULE module);

// Opens the help file's default topic in a help window owned by `owner`. When no
// window opens, tells the user which file could not be opened, in a message box
// owned by `owner`.
void ShowHelp(HWND owner, HMODULE module);

} // namespace qz
