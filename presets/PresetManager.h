#pragma once
// The preset manager: the user's presets in memory, the store file beside the plug-in
// that keeps them, and the preset files users export and import. The editor page owns
// one; the manager dialog and the preset menu work through it.
//
// The store is shared: two editors may be open at once, each with its own manager.
// So every write of the store reads it again first and applies this manager's changes
// to what is on disk (presets added, changed, deleted since the last read or write)
// rather than writing its own list over another editor's work (MergeStore). A store
// that does not carry this plug-in's identity is rewritten only after the user agreed,
// then with the whole list. Files are read whole, once, and written whole: a new file
// beside the old one, flushed and checked, renamed over it. A failure is shown once
// with the file's path and answered with 0; the file stays as it was.
//
// The editor page uses it like this (the page's window is the manager's owner and
// answers kPresetDataRequest with the current settings):
//
//   HMENU menu = CreatePopupMenu();
//   AppendMenuA(menu, MF_STRING, PresetManager::kAddPresetCommand, "Add Preset...");
//   AppendMenuA(menu, MF_STRING, PresetManager::kManagerCommand, "Preset Manager...");
//   presets.BuildPresetMenu(menu);
//   const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD, x, y, 0, page, nullptr);
//   DestroyMenu(menu);
//   int version = 0;
//   if (const char* data = presets.AnswerPresetMenu(chosen, &version))
//       ApplyPresetData(data, version);

#include <windows.h>

#include <functional>
#include <string>

#include "PresetFileFormat.h"
#include "PresetList.h"

namespace qz {

class PresetFile;

// What an export writes, as the manager dialog's tree selects it.
struct PresetSelection {
    enum Kind { Nothing, All, Bank, Preset } kind = Nothing;
    std::string bank;  // Bank
    int id = 0;        // Preset
};

// Shows a message box and returns the button pressed (IDYES, IDOK ...).
using PresetMessageBox = std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT type)>;

class PresetManager {
public:
    // The page's preset menu: the two items the page puts in it, the update item the
    // manager inserts; every other item is a preset's id. The commands lie below every
    // preset id, however many presets a store holds.
    static constexpr int kManagerCommand = 3400;
    static constexpr int kAddPresetCommand = 3401;
    static constexpr int kUpdatePresetCommand = 1503;
    static_assert(kManagerCommand < kFirstPresetId && kAddPresetCommand < kFirstPresetId &&
                  kUpdatePresetCommand < kFirstPresetId);
    // Sent to the owner window (the page): wParam is a char** that receives the current
    // settings as a preset data string in a new[] buffer, or nullptr.
    static constexpr UINT kPresetDataRequest = 10900;

    PresetManager(HINSTANCE instance, HWND owner, const char* pluginName);

    // Finds the store (the given path, or through the registry under the class key)
    // and loads it when it carries the class key as its identity. Always -1.
    int OpenPresetStore(const char* path, const char* classKey, const char* fileName);

    // Appends the presets of a file; with `askAboutDuplicates` the user decides on each
    // preset the list already holds. 1.
    int LoadPresetFile(const char* path, bool askAboutDuplicates);
    // Writes the list to a file: 1 when written, 0 when not. Saving to the store merges
    // with what the store holds now (see above).
    int SavePresetFile(const char* classKey, const char* path);
    // Writes the selection to a file, in place of the file's preset sections: 1 when
    // written, 0 when not (nothing selected, or the file is the store, included).
    int ExportPresets(const char* classKey, const char* path, const PresetSelection& selection);
    // Appends the presets of a file of this plug-in: 1 when any were added, else 0.
    int ImportPresetFile(const char* path);
    void SortPresets();

    // Changes to the list; they reach the store with the next SavePresetFile.
    int AddPreset(const std::string& name, const std::string& bank, const std::string& data);  // id, 0 refused
    bool UpdatePreset(int id, const std::string& data, bool asCurrentVersion);
    bool RenamePreset(int id, const std::string& name);
    int RenameBank(const std::string& bank, const std::string& newName);  // presets renamed
    bool MovePreset(int id, const std::string& bank);
    bool DeletePreset(int id);
    int DeleteBank(const std::string& bank);  // presets deleted
    void DeleteAllPresets();

    // The manager dialog's Cancel: the list (and what it would delete from the store)
    // goes back to how it was when the backup was made. A backup that could not be made
    // (out of memory) leaves none, never an older one: false, and RestoreBackup then
    // keeps the list.
    bool MakeBackup();
    bool HasBackup() const { return m_hasBackup; }
    void RestoreBackup();

    // --- The page's preset menu and dialogs ---------------------------------------------
    // Adds, after the menu's first item, "Update Preset: <name>..." when a current
    // preset exists, then every preset in list order: root presets as items, the others
    // in one popup per bank (bank names compared byte for byte). The current preset has
    // the radio mark. 1.
    int BuildPresetMenu(HMENU menu);
    // What the page does with the id chosen from that menu: the manager command runs the
    // manager dialog (a preset double-clicked there is then the choice), the add command
    // the add dialog; then LookupPresetData. The data to apply, or nullptr.
    const char* AnswerPresetMenu(int chosen, int* version);
    // The update command asks, then stores the current settings in the current preset
    // and writes the store: nullptr. A preset's id: it becomes the current preset, and
    // the answer is its data (valid until the list changes) with its version. Any other
    // id: nullptr.
    const char* LookupPresetData(int id, int* version);
    // The manager dialog, modal, owned by the page: the id of a preset chosen by a
    // double-click, else 0 (also when the dialog is already open).
    int RunManagerDialog();
    // The add dialog owned by the page; the store is written whatever the user did.
    void AddPresetFromPage();
    // The add dialog owned by `owner`: the new preset, with the current settings, becomes
    // the current preset. Its id, or 0 when nothing was added. The store is not written.
    int RunAddDialog(HWND owner);

    // The current settings from the page; empty, after telling the user, when the page
    // has none to give.
    std::string RequestPageData(HWND messageOwner);
    // Shows a message with the manager's title as caption: `format` takes up to two %s.
    int Message(HWND owner, UINT type, const char* format, const std::string& argument = "",
                const std::string& argument2 = "");
    HINSTANCE Instance() const { return m_instance; }
    HWND DialogWindow() const { return m_dialog; }
    // Whether the open (or save) file dialog has been shown before: the first one starts
    // in the store's folder.
    bool& FileDialogUsed(bool save) { return save ? m_saveDialogUsed : m_openDialogUsed; }

    const PresetList& Presets() const { return m_presets; }
    const PresetRecord* FindPreset(int id) const;
    void SetCurrentPreset(int id) { m_currentPreset = id; }
    int CurrentPreset() const { return m_currentPreset; }
    bool Modified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }

    const std::string& StorePath() const { return m_storePath; }
    const std::string& ClassKey() const { return m_classKey; }
    const std::string& PluginName() const { return m_pluginName; }
    const std::string& Title() const { return m_title; }
    // The manager dialog, while open: it owns the manager's questions then.
    void SetDialogWindow(HWND dialog) { m_dialog = dialog; }
    void SetMessageBox(PresetMessageBox messageBox) { m_messageBox = std::move(messageBox); }

private:
    struct Snapshot {
        PresetList presets;
        std::vector<PresetFields> deletedFromStore;
    };

    HWND MessageOwner() const { return m_dialog != nullptr ? m_dialog : m_owner; }
    bool ReportLongPath(const std::string& path);
    void ReportUnreadable(HWND owner, const std::string& path, const std::string& reason);
    // Shows that a file was not written, and why: 0.
    int ReportWriteFailure(const std::string& path, const std::string& reason);
    bool FindStorePath(const char* fileName);
    // Whether `path` names the store, by whatever name.
    bool IsStore(const std::string& path) const;
    // Appends a file's presets to the list; returns how many were appended.
    int AppendPresets(const PresetFile& file, bool askAboutDuplicates, bool inStore);
    int SaveStore();
    bool ConfirmRewrite(const std::string& path);
    // Writes `presets` as the file's list: 1, or 0 after showing why not.
    int WriteFile(const std::string& path, const std::string& classKey, const PresetList& presets, bool wholeList);
    PresetRecord* Find(int id);
    void Forget(PresetList::iterator record);

    HINSTANCE m_instance;
    HWND m_owner;
    HWND m_dialog = nullptr;
    std::string m_pluginName;
    std::string m_title;
    std::string m_classKey;
    std::string m_storePath;
    PresetList m_presets;
    // Presets deleted here that the store held: the next save removes them there.
    std::vector<PresetFields> m_deletedFromStore;
    Snapshot m_backup;
    bool m_hasBackup = false;
    bool m_openDialogUsed = false;
    bool m_saveDialogUsed = false;
    int m_currentPreset = -1;
    int m_nextId = kFirstPresetId;  // ids only grow: none names two presets in one session
    bool m_modified = false;
    PresetMessageBox m_messageBox;
};

} // namespace qz
