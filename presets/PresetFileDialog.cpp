#include "PresetFileDialog.h"

#include <commdlg.h>

#include "PresetManager.h"

namespace qz {

std::optional<std::string> ChoosePresetFile(PresetManager& manager, FileDialogKind kind, const char* title,
                                            const std::string& proposedName)
{
    char path[MAX_PATH] = "";
    lstrcpynA(path, proposedName.c_str(), sizeof path);
    const bool save = kind == FileDialogKind::Save;
    bool& usedBefore = manager.FileDialogUsed(save);
    // The first dialog of each kind starts where the store is.
    const std::string& store = manager.StorePath();
    const size_t slash = store.rfind('\\');
    const std::string storeFolder = slash != std::string::npos ? store.substr(0, slash) : "";

    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = manager.DialogWindow();
    dialog.lpstrFilter = "Preset Files (*.ini)\0*.ini\0All Files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrTitle = title;
    dialog.lpstrInitialDir = usedBefore || storeFolder.empty() ? nullptr : storeFolder.c_str();
    dialog.lpstrDefExt = "ini";
    dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | (save ? OFN_OVERWRITEPROMPT : 0);
    const BOOL chosen = save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
    if (chosen) {
        usedBefore = true;
        return std::string(path);
    }
    if (CommDlgExtendedError() != 0)
        manager.Message(manager.DialogWindow(), MB_OK | MB_ICONHAND, "Unable to open file dialog.");
    return std::nullopt;
}

} // namespace qz
