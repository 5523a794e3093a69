// Page 104 "出力": the pull port, the listener limit, the router's port, the play log and the
// recording.
#include <windows.h>
#include <commctrl.h>

#include "plugin/RecordingFile.h"
#include "plugin/Settings.h"
#include "ui/FolderChooser.h"
#include "ui/LogFileChooser.h"
#include "ui/NumberField.h"
#include "ui/PageAnswer.h"
#include "ui/SettingsPageIds.h"
#include "ui/SettingsPages.h"
#include "ui/TextField.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

constexpr DWORD kLowestPort = 1024;
constexpr DWORD kHighestPort = 65535;
// The up-down spins to 100 listeners, but the page cannot be left with more than 50.
constexpr DWORD kMostListenersShown = 100;
constexpr DWORD kMostListenersAccepted = 50;

INT_PTR OnInitDialog(HWND page) {
    const ExtraSettings& extra = _settings.extra;
    InitNumberField(page, IDC_PORT, IDC_PORT_SPIN, kLowestPort, kHighestPort, extra._dwPort);
    InitNumberField(page, IDC_MAX_CLIENT, IDC_MAX_CLIENT_SPIN, 1, kMostListenersShown, extra._dwMaxClient);
    SetChecked(page, IDC_PLAY_LOG_ENABLE, extra._fPlayLog);
    SetChecked(page, IDC_PORT_MAPPING, extra._fPortMapping);
    ::SetDlgItemTextA(page, IDC_PLAY_LOG_PATH, extra._cPlayLog.c_str());
    SetChecked(page, IDC_ARCHIVE_ENABLE, extra._fArchive);
    ::SetDlgItemTextW(page, IDC_ARCHIVE_FOLDER, extra._cArchiveFolder.c_str());
    return TRUE;
}

// Both fields are checked, so both show their stored values again when both fail.
bool MayLeave(HWND page) {
    const ExtraSettings& extra = _settings.extra;
    bool mayLeave = CheckNumberField(page, IDC_PORT, kLowestPort, kHighestPort, extra._dwPort);
    if (!CheckNumberField(page, IDC_MAX_CLIENT, 1, kMostListenersAccepted, extra._dwMaxClient)) mayLeave = false;
    return mayLeave;
}

void WriteBack(HWND page) {
    ExtraSettings& extra = _settings.extra;
    DWORD value = 0;
    if (ReadNumberField(page, IDC_PORT, &value) && value >= kLowestPort && value <= kHighestPort)
        extra._dwPort = value;
    if (ReadNumberField(page, IDC_MAX_CLIENT, &value) && value >= 1 && value <= kMostListenersShown)
        extra._dwMaxClient = value;
    extra._fPlayLog = IsChecked(page, IDC_PLAY_LOG_ENABLE) ? TRUE : FALSE;
    extra._fPortMapping = IsChecked(page, IDC_PORT_MAPPING) ? TRUE : FALSE;
    extra._cPlayLog = ReadTextField(page, IDC_PLAY_LOG_PATH, extra._cPlayLog);
    extra._fArchive = IsChecked(page, IDC_ARCHIVE_ENABLE) ? TRUE : FALSE;
    // An emptied field means the default folder again.
    const std::wstring folder = ReadWideTextField(page, IDC_ARCHIVE_FOLDER, extra._cArchiveFolder);
    extra._cArchiveFolder = folder.empty() ? DefaultArchiveFolder() : folder;
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

INT_PTR OnCommand(HWND page, int id, int code) {
    if (code != BN_CLICKED) return FALSE;
    if (id == IDC_PLAY_LOG_BROWSE) {
        ChooseLogFile(page, IDC_PLAY_LOG_PATH);
        return TRUE;
    }
    if (id == IDC_ARCHIVE_BROWSE) {
        ChooseArchiveFolder(page, IDC_ARCHIVE_FOLDER);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK OutputPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    return win::Firewall(static_cast<INT_PTR>(FALSE), [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(page);
        case WM_NOTIFY:
            return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
        case WM_COMMAND:
            return OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        }
        return FALSE;
    });
}

}  // namespace ombrel
