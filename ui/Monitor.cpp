#include "ui/Monitor.h"

#include <cstdio>
#include <cwchar>

#include "encoder/LiveEncoder.h"
#include "plugin/BroadcastControl.h"
#include "plugin/RelayChannelControl.h"
#include "plugin/Settings.h"
#include "ui/ResourceIds.h"

namespace ombrel {
namespace {

void ShowIdle(HWND dialog) {
    ::SetDlgItemTextA(dialog, IDC_CLIENT_COUNT, "0");
    ::SetDlgItemTextA(dialog, IDC_BYTES_SENT, "0 (KB)");
    ::SetDlgItemTextA(dialog, IDC_BIT_RATE, "0.0 (kbps)");
    ::SetDlgItemTextA(dialog, IDC_RUNNING_TIME, "00:00:00:00");
}

void ShowEncoder(HWND dialog, LiveEncoder* encoder) {
    DWORD clients = 0;
    if (SUCCEEDED(encoder->GetClientCount(&clients)))
        ::SetDlgItemTextA(dialog, IDC_CLIENT_COUNT, std::to_string(clients).c_str());

    WM_WRITER_STATISTICS statistics{};
    if (SUCCEEDED(encoder->GetStatistics(&statistics))) {
        ::SetDlgItemTextA(dialog, IDC_BYTES_SENT, FormatKilobytes(statistics.qwByteCount).c_str());
        ::SetDlgItemTextA(dialog, IDC_BIT_RATE, FormatKbps(statistics.dwCurrentBitrate).c_str());
    }

    DWORD seconds = 0;
    if (SUCCEEDED(encoder->GetElapsedSeconds(&seconds)))
        ::SetDlgItemTextA(dialog, IDC_RUNNING_TIME, FormatRunningTime(seconds).c_str());
}

}  // namespace

const wchar_t* RelayStateText(RelayState state) {
    switch (state) {
    case RelayState::Opening:
        return L"PeerCast: \u30C1\u30E3\u30F3\u30CD\u30EB\u4F5C\u6210\u4E2D";  // チャンネル作成中
    case RelayState::Relaying:
        return L"PeerCast: \u4E2D\u7D99\u4E2D";  // 中継中
    case RelayState::Unreachable:
        return L"PeerCast: \u63A5\u7D9A\u3067\u304D\u307E\u305B\u3093";  // 接続できません
    case RelayState::Refused:
        // チャンネルを作成できません
        return L"PeerCast: \u30C1\u30E3\u30F3\u30CD\u30EB\u3092\u4F5C\u6210\u3067\u304D\u307E\u305B\u3093";
    case RelayState::Off:
        break;
    }
    return L"";
}

const wchar_t kSettingsNotSavedText[] =
    L"\u8A2D\u5B9A\u3092\u4FDD\u5B58\u3067\u304D\u307E\u305B\u3093\uFF08\u7D42\u4E86\u307E\u3067\u6709\u52B9\uFF09";  // 設定を保存できません（終了まで有効）

std::string FormatKilobytes(ULONGLONG bytes) {
    return std::to_string(bytes >> 10) + " (KB)";
}

std::string FormatKbps(DWORD bitsPerSecond) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.1f (kbps)", static_cast<double>(bitsPerSecond) * 0.001);
    return text;
}

std::string FormatRunningTime(DWORD seconds) {
    char text[32];
    std::snprintf(text, sizeof(text), "%02d:%02d:%02d:%02d", int(seconds / 86400),
                  int(seconds / 3600 % 24), int(seconds / 60 % 60), int(seconds % 60));
    return text;
}

void UpdateMonitor(HWND dialog) {
    ::SetDlgItemTextA(dialog, IDC_OUTPUT_PORT, std::to_string(_settings.extra._dwPort).c_str());
    // UTF-16 both ways, so the line reads right and compares equal on any system code page.
    const wchar_t* relay = RelayStateText(CurrentRelayState());
    // The line is free while no relay channel is made: then it tells, for as long as it holds,
    // that settings changed now cannot be saved anywhere.
    if (!*relay && SettingsHaveNoHome()) relay = kSettingsNotSavedText;
    wchar_t shown[64] = L"";
    // Unchanged text is not set again: the label would flicker twice a second.
    ::GetDlgItemTextW(dialog, IDC_RELAY_STATE, shown, sizeof shown / sizeof *shown);
    if (std::wcscmp(shown, relay) != 0) ::SetDlgItemTextW(dialog, IDC_RELAY_STATE, relay);

    LiveEncoder* encoder = nullptr;
    if (FAILED(GetEncoder(&encoder)) || !encoder) {
        ShowIdle(dialog);
        return;
    }
    ShowEncoder(dialog, encoder);
}

}  // namespace ombrel
