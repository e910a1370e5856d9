#pragma once
// The preset manager dialog: the presets as a tree (the root item, a folder per bank,
// the presets), buttons and a context menu to add, update, rename, delete, move,
// import and export, and Save / Cancel. Every change goes to the manager's list at
// once; only Save writes the store, and Cancel puts back the list the dialog opened
// with.

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "PresetManager.h"

namespace qz {

class PresetManagerDialog {
public:
    // The item data of the tree's root and bank items; a preset item holds its id.
    static constexpr LPARAM kRootItem = LPARAM(0xAABBCCDD);
    static constexpr LPARAM kBankItem = LPARAM(0xBAADBEEF);
    // Posted by the tree to the dialog on a right-button press (after selecting the
    // item under the pointer): wParam and lParam as the press had them.
    static constexpr UINT kContextMenuRequest = 2024;
    // The context menu's move items; one per bank from kMoveToBank on, apart from every
    // command and preset id.
    static constexpr int kMoveToRoot = 5000;
    static constexpr int kMoveToNewBank = 5001;
    static constexpr int kMoveToBank = 5100;

    explicit PresetManagerDialog(PresetManager& manager) : m_manager(manager) {}
    // Runs the dialog owned by `owner`: the id of a preset chosen by a double-click, or 0.
    int Run(HWND owner);

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK TreeProcedure(HWND tree, UINT message, WPARAM wParam, LPARAM lParam);

    void OnInitDialog(HWND window);
    void OnCommand(int id);
    void OnNotify(const NMHDR& header);
    void OnContextMenu(LPARAM treePoint);
    void OnDestroy();

    // The tree.
    void FillTree();
    void SelectPreset(int id);
    PresetSelection Selection() const;
    void UpdateButtons();

    // The commands.
    void AddPreset();
    void RenameSelection();
    void UpdatePreset();
    void DeleteSelection();
    void ExportSelection();
    void Import();
    void Save(int result);
    void Cancel(int result);
    // Esc, the close box and a double-click: asks first when something changed.
    void Close(int result);
    void MovePreset(int id, const std::string& bank);

    PresetManager& m_manager;
    HWND m_window = nullptr;
    HWND m_tree = nullptr;
    HIMAGELIST m_images = nullptr;
};

} // namespace qz

namespace qz {

// A name as a menu item shows it: "&" would underline the next character.
std::string MenuItemText(const std::string& name);

} // namespace qz
