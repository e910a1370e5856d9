#include "NameDialog.h"

#include "PresetList.h"
#include "PresetManager.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"

namespace qz {

namespace {

struct NameDialogState {
    PresetManager& manager;
    const NameRequest& request;
    NameAnswer answer;
};

std::string ControlText(HWND dialog, int id)
{
    char text[kPresetNameChars + 1] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void OnInitDialog(HWND dialog, const NameDialogState& state)
{
    const NameRequest& request = state.request;
    if (!request.title.empty())
        SetWindowTextA(dialog, request.title.c_str());
    CenterOnParent(dialog);
    SendDlgItemMessageA(dialog, request.nameControl, EM_LIMITTEXT, kPresetNameChars, 0);
    SetDlgItemTextA(dialog, request.nameControl, request.initialName.c_str());
    if (request.templateId == IDD_PRESET_ADD) {
        const HWND banks = GetDlgItem(dialog, IDC_PM_BANK);
        SendMessageA(banks, CB_LIMITTEXT, kPresetNameChars, 0);
        for (const std::string& bank : request.banks)
            if (SendMessageA(banks, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(bank.c_str())) == CB_ERR)
                SendMessageA(banks, CB_ADDSTRING, 0, LPARAM(bank.c_str()));
    }
}

void OnOk(HWND dialog, NameDialogState& state)
{
    state.answer.name = ControlText(dialog, state.request.nameControl);
    if (state.request.templateId == IDD_PRESET_ADD)
        state.answer.bank = ControlText(dialog, IDC_PM_BANK);
    if (IsBlankName(state.answer.name)) {
        state.manager.Message(dialog, MB_OK | MB_ICONHAND, state.request.emptyNameMessage);
        SetFocus(GetDlgItem(dialog, state.request.nameControl));
        return;
    }
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK NameDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<NameDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        OnInitDialog(dialog, *reinterpret_cast<NameDialogState*>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            OnOk(dialog, *state);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

std::optional<NameAnswer> AskForName(PresetManager& manager, HWND owner, const NameRequest& request)
{
    NameDialogState state{manager, request, {}};
    const INT_PTR result = DialogBoxParamA(manager.Instance(), MAKEINTRESOURCEA(request.templateId), owner,
                                           NameDialogProcedure, reinterpret_cast<LPARAM>(&state));
    if (result != IDOK)
        return std::nullopt;
    return state.answer;
}

} // namespace qz
