#include "PresetManagerDialog.h"

#include <windowsx.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "NameDialog.h"
#include "PresetFileDialog.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"

namespace qz {

namespace {

const char kOldProcedure[] = "oldproc";

// The tree's images, in the order of their indexes.
enum TreeImage { kRootImage, kPresetImage, kClosedBankImage, kOpenBankImage };
const int kTreeIcons[] = {IDI_PRESET_ROOT, IDI_PRESET, IDI_BANK_CLOSED, IDI_BANK_OPEN};

HTREEITEM InsertItem(HWND tree, HTREEITEM parent, HTREEITEM after, const std::string& text, TreeImage image,
                     TreeImage selectedImage, LPARAM data)
{
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(text.c_str());
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

LPARAM ItemData(HWND tree, HTREEITEM item)
{
    TVITEMA data{};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
    return data.lParam;
}

std::string ItemText(HWND tree, HTREEITEM item)
{
    char text[256] = "";
    TVITEMA data{};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = sizeof text;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
    return text;
}

void Enable(HWND dialog, int id, bool enabled) { EnableWindow(GetDlgItem(dialog, id), enabled); }

void EnableItem(HMENU menu, int id, bool enabled) { EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED)); }

} // namespace

std::string MenuItemText(const std::string& name)
{
    std::string text;
    for (char c : name) {
        text.push_back(c);
        if (c == '&')
            text.push_back('&');
    }
    return text;
}

int PresetManagerDialog::Run(HWND owner)
{
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    m_manager.SetModified(false);
    const INT_PTR result = DialogBoxParamA(m_manager.Instance(), MAKEINTRESOURCEA(IDD_PRESET_MANAGER), owner,
                                           Procedure, reinterpret_cast<LPARAM>(this));
    return result > 0 ? static_cast<int>(result) : 0;
}

INT_PTR CALLBACK PresetManagerDialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<PresetManagerDialog*>(lParam)->OnInitDialog(window);
        return FALSE;  // the focus is on the tree
    }
    auto* dialog = reinterpret_cast<PresetManagerDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        dialog->OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        dialog->OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        return TRUE;
    case kContextMenuRequest:
        dialog->OnContextMenu(lParam);
        return TRUE;
    case WM_DESTROY:
        dialog->OnDestroy();
        return TRUE;
    default:
        return FALSE;
    }
}

// Right-clicks select the item under the pointer and ask the dialog for the context
// menu when the button is released. Every other message, WM_DESTROY included, goes on
// to the tree's own procedure.
LRESULT CALLBACK PresetManagerDialog::TreeProcedure(HWND tree, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto treeProcedure = reinterpret_cast<WNDPROC>(GetPropA(tree, kOldProcedure));
    switch (message) {
    case WM_RBUTTONDOWN: {
        TVHITTESTINFO hit{};
        hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (const HTREEITEM item = TreeView_HitTest(tree, &hit))
            TreeView_SelectItem(tree, item);
        SetFocus(tree);
        return 0;
    }
    case WM_RBUTTONUP:
        PostMessageA(GetParent(tree), kContextMenuRequest, wParam, lParam);
        return 0;
    case WM_DESTROY:
        SetWindowLongPtrA(tree, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(treeProcedure));
        RemovePropA(tree, kOldProcedure);
        break;
    }
    return CallWindowProcA(treeProcedure, tree, message, wParam, lParam);
}

void PresetManagerDialog::OnInitDialog(HWND window)
{
    m_window = window;
    m_tree = GetDlgItem(window, IDC_PM_TREE);
    m_manager.SetDialogWindow(window);
    if (!m_manager.MakeBackup()) {
        m_manager.Message(window, MB_OK | MB_ICONHAND,
                          "Failed to create backup preset list, changes can not be cancelled!");
        Enable(window, IDC_PM_CANCEL, false);
    }
    SetWindowTextA(window, m_manager.Title().c_str());
    const HICON icon = LoadIconA(m_manager.Instance(), MAKEINTRESOURCEA(IDI_PRESET_ROOT));
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    CenterOnParent(window);

    SetPropA(m_tree, kOldProcedure, reinterpret_cast<HANDLE>(GetWindowLongPtrA(m_tree, GWLP_WNDPROC)));
    SetWindowLongPtrA(m_tree, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TreeProcedure));

    const int width = GetSystemMetrics(SM_CXSMICON), height = GetSystemMetrics(SM_CYSMICON);
    m_images = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 4, 0);
    for (int icon : kTreeIcons) {
        const HICON image = static_cast<HICON>(
            LoadImageA(m_manager.Instance(), MAKEINTRESOURCEA(icon), IMAGE_ICON, width, height, 0));
        ImageList_AddIcon(m_images, image);
        DestroyIcon(image);
    }
    TreeView_SetImageList(m_tree, m_images, TVSIL_NORMAL);
    FillTree();
    SelectPreset(m_manager.CurrentPreset());
    UpdateButtons();
    SetFocus(m_tree);
}

void PresetManagerDialog::OnDestroy()
{
    TreeView_SetImageList(m_tree, nullptr, TVSIL_NORMAL);
    ImageList_Destroy(m_images);
    m_images = nullptr;
    m_manager.SetDialogWindow(nullptr);
    m_window = m_tree = nullptr;
}

// --- The tree --------------------------------------------------------------------------

void PresetManagerDialog::FillTree()
{
    TreeView_DeleteAllItems(m_tree);
    m_manager.SortPresets();
    const std::string rootText = "Available " + m_manager.PluginName() + " presets";
    const HTREEITEM root = InsertItem(m_tree, TVI_ROOT, TVI_FIRST, rootText, kRootImage, kRootImage, kRootItem);
    std::vector<std::pair<std::string, HTREEITEM>> banks;
    for (const PresetRecord& record : m_manager.Presets()) {
        if (record.bank.empty()) {
            InsertItem(m_tree, root, TVI_LAST, record.name, kPresetImage, kPresetImage, record.id);
            continue;
        }
        auto bank = std::find_if(banks.begin(), banks.end(),
                                 [&](const auto& known) { return SameText(known.first, record.bank); });
        if (bank == banks.end()) {
            const HTREEITEM item =
                InsertItem(m_tree, root, TVI_LAST, record.bank, kClosedBankImage, kOpenBankImage, kBankItem);
            bank = banks.insert(banks.end(), {record.bank, item});
        }
        InsertItem(m_tree, bank->second, TVI_SORT, record.name, kPresetImage, kPresetImage, record.id);
    }
    TreeView_Expand(m_tree, root, TVE_EXPAND);
    TreeView_SelectItem(m_tree, root);
}

void PresetManagerDialog::SelectPreset(int id)
{
    const HTREEITEM root = TreeView_GetRoot(m_tree);
    for (HTREEITEM item = TreeView_GetChild(m_tree, root); item != nullptr; item = TreeView_GetNextSibling(m_tree, item)) {
        HTREEITEM found = nullptr;
        if (ItemData(m_tree, item) == kBankItem) {
            for (HTREEITEM child = TreeView_GetChild(m_tree, item); child != nullptr && found == nullptr;
                 child = TreeView_GetNextSibling(m_tree, child))
                if (ItemData(m_tree, child) == id)
                    found = child;
        } else if (ItemData(m_tree, item) == id) {
            found = item;
        }
        if (found != nullptr) {
            TreeView_SelectItem(m_tree, found);
            TreeView_EnsureVisible(m_tree, found);
            return;
        }
    }
}

PresetSelection PresetManagerDialog::Selection() const
{
    const HTREEITEM item = TreeView_GetSelection(m_tree);
    if (item == nullptr)
        return {};
    const LPARAM data = ItemData(m_tree, item);
    if (data == kRootItem)
        return {PresetSelection::All, "", 0};
    if (data == kBankItem)
        return {PresetSelection::Bank, ItemText(m_tree, item), 0};
    return {PresetSelection::Preset, "", static_cast<int>(data)};
}

void PresetManagerDialog::UpdateButtons()
{
    const PresetSelection::Kind selected = Selection().kind;
    const bool hasPresets = !m_manager.Presets().empty();
    Enable(m_window, IDC_PM_UPDATE, selected == PresetSelection::Preset);
    Enable(m_window, IDC_PM_DELETE, hasPresets);
    Enable(m_window, IDC_PM_RENAME, selected == PresetSelection::Preset || selected == PresetSelection::Bank);
    Enable(m_window, IDC_PM_EXPORT, hasPresets);
}

// --- Commands ----------------------------------------------------------------------------

void PresetManagerDialog::OnCommand(int id)
{
    switch (id) {
    case IDC_PM_ADD:
        AddPreset();
        break;
    case IDC_PM_RENAME:
        RenameSelection();
        break;
    case IDC_PM_UPDATE:
        UpdatePreset();
        break;
    case IDC_PM_DELETE:
        DeleteSelection();
        break;
    case IDC_PM_EXPORT:
        ExportSelection();
        break;
    case IDC_PM_IMPORT:
        Import();
        break;
    case IDOK:
        Save(0);
        break;
    case IDC_PM_CANCEL:
        Cancel(0);
        break;
    case IDCANCEL:  // Esc and the close box
        Close(0);
        break;
    }
}

void PresetManagerDialog::AddPreset()
{
    if (const int id = m_manager.RunAddDialog(m_window)) {
        FillTree();
        SelectPreset(id);
    }
    SetFocus(m_tree);
}

void PresetManagerDialog::RenameSelection()
{
    const PresetSelection selection = Selection();
    const PresetRecord* preset = m_manager.FindPreset(selection.id);
    if (selection.kind != PresetSelection::Bank && preset == nullptr)
        return;
    const bool bank = selection.kind == PresetSelection::Bank;
    const NameRequest request{IDD_PRESET_RENAME,
                              IDC_PM_NAME,
                              "Rename " + m_manager.PluginName() + (bank ? " bank" : " preset"),
                              bank ? selection.bank : preset->name,
                              "Unable to rename preset because you did not specify any name.",
                              {}};
    if (const std::optional<NameAnswer> answer = AskForName(m_manager, m_window, request)) {
        if (bank)
            m_manager.RenameBank(selection.bank, answer->name);
        else
            m_manager.RenamePreset(selection.id, answer->name);
        FillTree();
        if (!bank)
            SelectPreset(selection.id);
    }
    SetFocus(m_tree);
}

// The preset takes the current settings; like every change here it is saved with Save.
void PresetManagerDialog::UpdatePreset()
{
    const PresetRecord* preset = m_manager.FindPreset(Selection().id);
    if (preset == nullptr ||
        m_manager.Message(m_window, MB_YESNO | MB_ICONQUESTION,
                          "Would you like to update the stored parameters for\nthe \"%s\" preset with the current "
                          "settings?",
                          preset->name) != IDYES)
        return;
    const std::string data = m_manager.RequestPageData(m_window);
    if (data.empty())
        return;
    m_manager.UpdatePreset(preset->id, data, true);
    m_manager.SetModified(true);
}

void PresetManagerDialog::DeleteSelection()
{
    const PresetSelection selection = Selection();
    const std::string& plugin = m_manager.PluginName();
    const UINT question = MB_YESNO | MB_ICONQUESTION;
    if (m_manager.Presets().empty()) {
        // Nothing to delete.
    } else if (selection.kind == PresetSelection::All) {
        if (m_manager.Message(m_window, question, "Are you sure you want to delete ALL the %s banks and presets?",
                              plugin) == IDYES) {
            m_manager.DeleteAllPresets();
            FillTree();
        }
    } else if (selection.kind == PresetSelection::Bank) {
        if (m_manager.Message(m_window, question,
                              "Do you want to delete the %s preset bank \"%s\"?\nAll presets contained in this bank "
                              "will be lost.",
                              plugin, selection.bank) == IDYES) {
            m_manager.DeleteBank(selection.bank);
            FillTree();
        }
    } else if (const PresetRecord* preset = m_manager.FindPreset(selection.id)) {
        if (m_manager.Message(m_window, question, "Do you want to delete the %s preset \"%s\"?", plugin,
                              preset->name) == IDYES) {
            m_manager.DeletePreset(selection.id);
            // The rest of the tree stays as the user opened it; a bank left empty goes.
            const HTREEITEM item = TreeView_GetSelection(m_tree);
            const HTREEITEM parent = TreeView_GetParent(m_tree, item);
            TreeView_DeleteItem(m_tree, item);
            if (ItemData(m_tree, parent) == kBankItem && TreeView_GetChild(m_tree, parent) == nullptr)
                TreeView_DeleteItem(m_tree, parent);
        }
        SetFocus(m_tree);
    }
    UpdateButtons();
}

void PresetManagerDialog::ExportSelection()
{
    const PresetSelection selection = Selection();
    std::string name;
    const char* title = nullptr;
    switch (selection.kind) {
    case PresetSelection::Nothing:
        return;
    case PresetSelection::All:
        name = m_manager.PluginName();
        title = "Export all presets";
        break;
    case PresetSelection::Bank:
        name = selection.bank;
        title = "Export preset bank";
        break;
    case PresetSelection::Preset:
        if (const PresetRecord* preset = m_manager.FindPreset(selection.id))
            name = preset->name;
        title = "Export preset";
        break;
    }
    name += ".ini";
    SanitizeFileName(name);
    if (const std::optional<std::string> path = ChoosePresetFile(m_manager, FileDialogKind::Save, title, name))
        m_manager.ExportPresets(m_manager.ClassKey().c_str(), path->c_str(), selection);
}

void PresetManagerDialog::Import()
{
    const std::optional<std::string> path = ChoosePresetFile(m_manager, FileDialogKind::Open, "Import Preset(s)");
    if (path && m_manager.ImportPresetFile(path->c_str()) == 1) {
        m_manager.SetModified(true);
        FillTree();
    }
}

// A store that could not be written keeps the dialog open, its changes still to save.
void PresetManagerDialog::Save(int result)
{
    if (m_manager.SavePresetFile(m_manager.ClassKey().c_str(), m_manager.StorePath().c_str()) == 1) {
        m_manager.SetModified(false);
        EndDialog(m_window, result);
    } else {
        m_manager.SetModified(true);
    }
}

// Without a backup nothing can be cancelled: the dialog stays.
void PresetManagerDialog::Cancel(int result)
{
    if (!m_manager.HasBackup())
        return;
    m_manager.RestoreBackup();
    m_manager.SetModified(false);
    EndDialog(m_window, result);
}

void PresetManagerDialog::Close(int result)
{
    if (!m_manager.Modified()) {
        EndDialog(m_window, result);
        return;
    }
    if (!m_manager.HasBackup()) {
        if (m_manager.Message(m_window, MB_OKCANCEL | MB_ICONQUESTION,
                              "Save changes before exiting the Preset Manager?\nThey can not be cancelled: no backup "
                              "of the preset list could be made.") == IDOK)
            Save(result);
        return;
    }
    switch (m_manager.Message(m_window, MB_YESNOCANCEL | MB_ICONQUESTION,
                              "Save changes before exiting the Preset Manager?")) {
    case IDYES:
        Save(result);
        break;
    case IDNO:
        Cancel(result);
        break;
    default:
        break;  // the dialog stays
    }
}

// --- Notifications and the context menu ----------------------------------------------

void PresetManagerDialog::OnNotify(const NMHDR& header)
{
    if (header.idFrom != IDC_PM_TREE)
        return;
    switch (header.code) {
    case TVN_KEYDOWN:
        if (reinterpret_cast<const NMTVKEYDOWN&>(header).wVKey == VK_DELETE && !m_manager.Presets().empty())
            PostMessageA(m_window, WM_COMMAND, IDC_PM_DELETE, 0);
        break;
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
        UpdateButtons();
        break;
    case NM_DBLCLK:
        if (const PresetSelection selection = Selection(); selection.kind == PresetSelection::Preset)
            Close(selection.id);
        break;
    }
}

void PresetManagerDialog::OnContextMenu(LPARAM treePoint)
{
    const HMENU resource = LoadMenuA(m_manager.Instance(), MAKEINTRESOURCEA(IDM_PRESET_MANAGER));
    const HMENU menu = GetSubMenu(resource, 0);
    const PresetSelection selection = Selection();
    const PresetRecord* preset = m_manager.FindPreset(selection.id);
    const bool presetSelected = selection.kind == PresetSelection::Preset && preset != nullptr;
    EnableItem(menu, IDC_PM_UPDATE, presetSelected);
    EnableItem(menu, IDC_PM_DELETE, !m_manager.Presets().empty());
    EnableItem(menu, IDC_PM_RENAME, presetSelected || selection.kind == PresetSelection::Bank);

    // Every bank but the preset's own, each once, in list order.
    std::vector<std::string> otherBanks;
    if (presetSelected) {
        for (const PresetRecord& record : m_manager.Presets())
            if (!record.bank.empty() && !SameText(record.bank, preset->bank) &&
                std::none_of(otherBanks.begin(), otherBanks.end(),
                             [&](const std::string& bank) { return SameText(bank, record.bank); }))
                otherBanks.push_back(record.bank);
        const HMENU move = CreatePopupMenu();
        if (!preset->bank.empty())
            AppendMenuA(move, MF_STRING, kMoveToRoot, "to Root");
        AppendMenuA(move, MF_STRING, kMoveToNewBank, "to New Bank...");
        if (!otherBanks.empty())
            AppendMenuA(move, MF_SEPARATOR, 0, nullptr);
        for (size_t i = 0; i < otherBanks.size(); ++i)
            AppendMenuA(move, MF_STRING, kMoveToBank + i, MenuItemText(otherBanks[i]).c_str());
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(move), "Move Preset");
    }
    POINT at{GET_X_LPARAM(treePoint), GET_Y_LPARAM(treePoint)};
    ClientToScreen(m_tree, &at);
    const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, m_window, nullptr);
    DestroyMenu(resource);

    if (chosen == 0)
        return;
    if (chosen == kMoveToRoot) {
        MovePreset(selection.id, "");
    } else if (chosen == kMoveToNewBank) {
        const NameRequest request{IDD_PRESET_NEW_BANK,
                                  IDC_PM_BANK,
                                  "Move preset \"" + preset->name + "\" to new bank",
                                  "",
                                  "Unable to move preset to new bank because no bank name was specified.",
                                  {}};
        if (const std::optional<NameAnswer> answer = AskForName(m_manager, m_window, request))
            MovePreset(selection.id, answer->name);
    } else if (chosen >= kMoveToBank && chosen < kMoveToBank + static_cast<int>(otherBanks.size())) {
        MovePreset(selection.id, otherBanks[chosen - kMoveToBank]);
    } else {
        SendMessageA(m_window, WM_COMMAND, chosen, 0);
    }
}

void PresetManagerDialog::MovePreset(int id, const std::string& bank)
{
    m_manager.MovePreset(id, bank);
    FillTree();
    SelectPreset(id);
}

} // namespace qz
