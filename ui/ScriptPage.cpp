// Page 107 "スクリプト": title streaming and its script stream.
#include <windows.h>
#include <commctrl.h>

#include <climits>

#include "encoder/Catalogue.h"
#include "plugin/PluginState.h"
#include "plugin/ProductName.h"
#include "plugin/Settings.h"
#include "ui/NumberField.h"
#include "ui/PageAnswer.h"
#include "ui/SettingsPageIds.h"
#include "ui/SettingsPages.h"
#include "ui/TextField.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

// The field is in kilobits per second, the setting in bits per second.
constexpr DWORD kBitsPerKilobit = 1000;
constexpr DWORD kLowestKbps = 1;
constexpr DWORD kHighestKbps = 10;
constexpr char kBitrateWarning[] = "スクリプトのビットレートは1K～10Kbpsです。";

INT_PTR OnInitDialog(HWND page) {
    const ScriptStreamSettings& script = _encoderSettings.script;
    SetChecked(page, IDC_SCRIPT_ENABLE, _inputFormat.scriptEnabled);
    InitNumberField(page, IDC_SCRIPT_BITRATE, IDC_SCRIPT_BITRATE_SPIN, kLowestKbps, kHighestKbps,
                    script.bitrate / kBitsPerKilobit);
    InitNumberField(page, IDC_BUFFER_WINDOW, IDC_BUFFER_WINDOW_SPIN, 0, INT_MAX, script.bufferWindow);
    FillLanguageList(page, script.language);
    ::SetDlgItemTextA(page, IDC_SCRIPT_FORMAT, _settings.script._cFormat.c_str());
    return TRUE;
}

bool ReadKbps(HWND page, DWORD* kbps) noexcept {
    return ReadNumberField(page, IDC_SCRIPT_BITRATE, kbps) && *kbps >= kLowestKbps && *kbps <= kHighestKbps;
}

// The field keeps what was typed; the user gets it back selected, to correct it.
bool MayLeave(HWND page) {
    DWORD kbps = 0;
    if (ReadKbps(page, &kbps)) return true;
    HWND sheet = ::GetParent(page);
    ::MessageBoxA(sheet ? sheet : page, kBitrateWarning, kProductName, MB_OK | MB_ICONWARNING);
    HWND field = ::GetDlgItem(page, IDC_SCRIPT_BITRATE);
    ::SetFocus(field);
    ::SendMessageA(field, EM_SETSEL, 0, -1);
    return false;
}

void WriteBack(HWND page) {
    ScriptStreamSettings& script = _encoderSettings.script;
    _inputFormat.scriptEnabled = IsChecked(page, IDC_SCRIPT_ENABLE) ? TRUE : FALSE;
    DWORD value = 0;
    if (ReadKbps(page, &value)) script.bitrate = value * kBitsPerKilobit;
    if (ReadNumberField(page, IDC_BUFFER_WINDOW, &value)) script.bufferWindow = value;
    if (SelectedItemData(page, IDC_LANGUAGE_LIST, &value)) script.language = value;
    _settings.script._cFormat = ReadTextField(page, IDC_SCRIPT_FORMAT, _settings.script._cFormat);
}

INT_PTR OnNotify(HWND page, const NMHDR* header) {
    switch (header->code) {
    case PSN_KILLACTIVE:
        return AnswerLeave(page, MayLeave(page));
    case PSN_APPLY:
        WriteBack(page);
        return AnswerApplied(page);
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK ScriptPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    return win::Firewall(static_cast<INT_PTR>(FALSE), [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(page);
        case WM_NOTIFY:
            return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
        }
        return FALSE;
    });
}

}  // namespace ombrel
