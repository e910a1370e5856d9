#pragma once
// The system's open and save file dialogs, as the preset manager shows them for import
// and export: preset files (*.ini) or all files.

#include <windows.h>

#include <optional>
#include <string>

namespace qz {

class PresetManager;

enum class FileDialogKind { Open, Save };

// The chosen path, or none when the user cancelled or the dialog could not be shown
// (then after telling the user). `proposedName` fills the name box of a save dialog.
std::optional<std::string> ChoosePresetFile(PresetManager& manager, FileDialogKind kind, const char* title,
                                            const std::string& proposedName = "");

} // namespace qz
