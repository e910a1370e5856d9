#pragma once
// The small dialogs of the preset manager that ask for a name: add a preset (a name
// and a bank), rename a preset or a bank, move a preset to a new bank. One modal
// dialog procedure serves the three templates; an empty name is refused with a
// message and the dialog stays open.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace qz {

class PresetManager;

struct NameRequest {
    int templateId;          // IDD_PRESET_ADD, IDD_PRESET_RENAME or IDD_PRESET_NEW_BANK
    int nameControl;         // the edit the name is typed in
    std::string title;       // empty: the template's own
    std::string initialName;
    const char* emptyNameMessage;
    std::vector<std::string> banks;  // the add dialog's bank choices
};

struct NameAnswer {
    std::string name;
    std::string bank;  // the add dialog's bank; empty: the root
};

// Runs the dialog owned by `owner`, centred over it: the answer, or none when the user
// cancelled (the close box cancels too).
std::optional<NameAnswer> AskForName(PresetManager& manager, HWND owner, const NameRequest& request);

} // namespace qz
