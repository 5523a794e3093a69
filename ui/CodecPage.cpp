// Page 103 "圧縮": codec, format, buffer window and language of the audio stream.
#include <windows.h>
#include <commctrl.h>

#include <climits>

#include "encoder/Catalogue.h"
#include "plugin/PluginState.h"
#include "ui/NumberField.h"
#include "ui/PageAnswer.h"
#include "ui/SettingsPageIds.h"
#include "ui/SettingsPages.h"
#include "ui/SettingsSheetWindow.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

// Clear from the page's font until the end of its initialisation: the lists are being filled
// and their selections are not the user's.
bool g_ready = false;

// The codec whose formats the format list shows: the codec list's selection, so the two lists
// always agree even when the stored codec is not offered; the stored one while none is selected.
DWORD ShownCodecIndex(HWND page) noexcept {
    DWORD codec = 0;
    return SelectedItemData(page, IDC_CODEC_LIST, &codec) ? codec : _encoderSettings.audio.codecIndex;
}

void FillFormats(HWND page, DWORD codecIndex) noexcept {
    const AudioStreamSettings& audio = _encoderSettings.audio;
    FillFormatList(page, audio.vbrEnabled, codecIndex, audio.formatIndex, audio.passes);
}

INT_PTR OnInitDialog(HWND page) {
    RememberSheetWindow(::GetParent(page));
    const AudioStreamSettings& audio = _encoderSettings.audio;
    FillCodecList(page, audio.codecIndex);
    FillFormats(page, ShownCodecIndex(page));
    FillLanguageList(page, audio.language);
    InitNumberField(page, IDC_BUFFER_WINDOW, IDC_BUFFER_WINDOW_SPIN, 0, INT_MAX, audio.bufferWindow);
    g_ready = true;
    return FALSE;
}

void WriteBack(HWND page) {
    AudioStreamSettings& audio = _encoderSettings.audio;
    DWORD data = 0;
    if (SelectedItemData(page, IDC_CODEC_LIST, &data)) audio.codecIndex = data;
    if (SelectedItemData(page, IDC_FORMAT_LIST, &data)) {
        audio.formatIndex = data & 0xFFFF;
        audio.vbrEnabled = (data & 0x80000000u) ? TRUE : FALSE;
        audio.passes = (data >> 16) & 0x7FFF;
    }
    if (SelectedItemData(page, IDC_LANGUAGE_LIST, &data)) audio.language = data;
    DWORD buffer = 0;
    if (ReadNumberField(page, IDC_BUFFER_WINDOW, &buffer))
        audio.bufferWindow = buffer;
    else
        WriteNumberField(page, IDC_BUFFER_WINDOW, audio.bufferWindow);
}

INT_PTR OnNotify(HWND page, const NMHDR* header) {
    switch (header->code) {
    case PSN_APPLY:
        WriteBack(page);
        return AnswerApplied(page);
    case PSN_QUERYCANCEL:
        ForgetSheetWindow();
        return AnswerNotification(page, FALSE);
    }
    return FALSE;
}

INT_PTR OnCommand(HWND page, int id, int code) {
    if (id != IDC_CODEC_LIST || code != CBN_SELCHANGE) return FALSE;
    DWORD codec = 0;
    // Only the list changes: nothing is stored before OK.
    if (SelectedItemData(page, IDC_CODEC_LIST, &codec)) FillFormats(page, codec);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK CodecPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    return win::Firewall(static_cast<INT_PTR>(FALSE), [&]() -> INT_PTR {
        switch (message) {
        case WM_SETFONT:
            g_ready = false;
            return FALSE;
        case WM_INITDIALOG:
            return OnInitDialog(page);
        case WM_NOTIFY:
            return g_ready ? OnNotify(page, reinterpret_cast<const NMHDR*>(lParam)) : FALSE;
        case WM_COMMAND:
            return g_ready ? OnCommand(page, LOWORD(wParam), HIWORD(wParam)) : FALSE;
        }
        return FALSE;
    });
}

}  // namespace ombrel
