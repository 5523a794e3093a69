// Page 106 "PeerCast": the metadata update of a local PeerCast node and its relay channel.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "plugin/Settings.h"
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

struct TextSetting {
    int id;
    std::string PeerCastSettings::*text;
};

const TextSetting kTexts[] = {
    {IDC_PEERCAST_CHANNEL, &PeerCastSettings::_cChannel},
    {IDC_PEERCAST_ARTIST, &PeerCastSettings::_cFormatArtist},
    {IDC_PEERCAST_TITLE, &PeerCastSettings::_cFormatTitle},
    {IDC_PEERCAST_ALBUM, &PeerCastSettings::_cFormatAlbum},
    {IDC_PEERCAST_CONTACT, &PeerCastSettings::_cContact},
};

INT_PTR OnInitDialog(HWND page) {
    const PeerCastSettings& peerCast = _settings.peerCast;
    SetChecked(page, IDC_PEERCAST_ENABLE, peerCast._fEnable);
    SetChecked(page, IDC_PEERCAST_RELAY, peerCast._fRelayChannel);
    SetChecked(page, IDC_PEERCAST_RELAY_IPV6, peerCast._fRelayIPv6);
    InitNumberField(page, IDC_PORT, IDC_PORT_SPIN, kLowestPort, kHighestPort, peerCast._dwPort);
    for (const TextSetting& setting : kTexts) ::SetDlgItemTextA(page, setting.id, (peerCast.*setting.text).c_str());
    return TRUE;
}

// Leaving only needs a port number; OK takes it only from 1024 up.
bool MayLeave(HWND page) { return CheckNumberField(page, IDC_PORT, 0, kHighestPort, _settings.peerCast._dwPort); }

void WriteBack(HWND page) {
    PeerCastSettings& peerCast = _settings.peerCast;
    peerCast._fEnable = IsChecked(page, IDC_PEERCAST_ENABLE) ? TRUE : FALSE;
    peerCast._fRelayChannel = IsChecked(page, IDC_PEERCAST_RELAY) ? TRUE : FALSE;
    peerCast._fRelayIPv6 = IsChecked(page, IDC_PEERCAST_RELAY_IPV6) ? TRUE : FALSE;
    DWORD port = 0;
    if (ReadNumberField(page, IDC_PORT, &port) && port >= kLowestPort && port <= kHighestPort) peerCast._dwPort = port;
    for (const TextSetting& setting : kTexts) {
        std::string& text = peerCast.*setting.text;
        text = ReadTextField(page, setting.id, text);
    }
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

INT_PTR CALLBACK PeerCastPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
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
