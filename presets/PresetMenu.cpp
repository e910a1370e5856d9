// The page's side of the preset manager: the preset menu, what a choice from it does,
// and the dialogs the page opens.
#include "PresetManager.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "NameDialog.h"
#include "PresetManagerDialog.h"
#include "ResourceIds.h"

namespace qz {

int PresetManager::BuildPresetMenu(HMENU menu)
{
    if (const PresetRecord* current = FindPreset(m_currentPreset)) {
        const std::string text = "Update Preset: " + MenuItemText(current->name) + "...";
        InsertMenuA(menu, 1, MF_BYPOSITION | MF_STRING, kUpdatePresetCommand, text.c_str());
    }
    if (!m_presets.empty())
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    // Only bank popups are searched for a bank, never a command or a root preset of the
    // same text.
    std::vector<std::pair<std::string, HMENU>> banks;
    for (const PresetRecord& record : m_presets) {
        HMENU parent = menu;
        if (!record.bank.empty()) {
            const auto bank = std::find_if(banks.begin(), banks.end(),
                                           [&](const auto& known) { return known.first == record.bank; });
            if (bank != banks.end()) {
                parent = bank->second;
            } else {
                parent = CreatePopupMenu();
                AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(parent), MenuItemText(record.bank).c_str());
                banks.emplace_back(record.bank, parent);
            }
        }
        AppendMenuA(parent, MF_STRING, record.id, MenuItemText(record.name).c_str());
        if (record.id == m_currentPreset)
            CheckMenuRadioItem(parent, record.id, record.id, record.id, MF_BYCOMMAND);
    }
    return 1;
}

const char* PresetManager::AnswerPresetMenu(int chosen, int* version)
{
    if (chosen == kManagerCommand)
        chosen = RunManagerDialog();
    else if (chosen == kAddPresetCommand)
        AddPresetFromPage();
    return LookupPresetData(chosen, version);
}

const char* PresetManager::LookupPresetData(int id, int* version)
{
    if (id == kUpdatePresetCommand) {
        PresetRecord* current = Find(m_currentPreset);
        if (current == nullptr ||
            Message(m_owner, MB_YESNO | MB_ICONQUESTION,
                    "Would you like to update the stored parameters for\nthe \"%s\" preset with the current settings?",
                    current->name) != IDYES)
            return nullptr;
        const std::string data = RequestPageData(m_owner);
        if (data.empty())
            return nullptr;
        UpdatePreset(current->id, data, true);
        SortPresets();
        SavePresetFile(m_classKey.c_str(), m_storePath.c_str());
        return nullptr;
    }
    const PresetRecord* record = FindPreset(id);
    if (record == nullptr)
        return nullptr;
    m_currentPreset = id;
    if (version != nullptr)
        *version = record->version;
    return record->data.c_str();
}

int PresetManager::RunManagerDialog()
{
    if (m_dialog != nullptr)
        return 0;
    return PresetManagerDialog(*this).Run(m_owner);
}

void PresetManager::AddPresetFromPage()
{
    RunAddDialog(m_owner);
    SortPresets();
    SavePresetFile(m_classKey.c_str(), m_storePath.c_str());
}

int PresetManager::RunAddDialog(HWND owner)
{
    NameRequest request{IDD_PRESET_ADD, IDC_PM_NAME, "Add " + m_pluginName + " preset", "",
                        "Unable to add preset because no name was specified.", {}};
    for (const PresetRecord& record : m_presets)
        if (!record.bank.empty())
            request.banks.push_back(record.bank);
    const std::optional<NameAnswer> answer = AskForName(*this, owner, request);
    if (!answer)
        return 0;
    const std::string data = RequestPageData(owner);
    return data.empty() ? 0 : AddPreset(answer->name, answer->bank, data);
}

std::string PresetManager::RequestPageData(HWND messageOwner)
{
    char* buffer = nullptr;
    if (m_owner != nullptr)
        SendMessageA(m_owner, kPresetDataRequest, reinterpret_cast<WPARAM>(&buffer), 0);
    const std::string data = buffer != nullptr ? buffer : "";
    delete[] buffer;
    if (data.empty())
        Message(messageOwner, MB_OK | MB_ICONHAND, "The current settings could not be read from the editor.");
    return data;
}

} // namespace qz
