#include "ui/Monitor.h"

#include <cstdio>

#include <nserror.h>

#include "encoder/LiveEncoder.h"
#include "plugin/BroadcastControl.h"
#include "plugin/Recording.h"
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

// What the broadcaster can do about a recording that did not start or stopped.
std::wstring RecordingReason(HRESULT hr) {
    switch (hr) {
    case HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED):
    case HRESULT_FROM_WIN32(ERROR_WRITE_PROTECT):
    case HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION):
        return L"録音フォルダに書き込めません";
    case HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND):
    case HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND):
    case HRESULT_FROM_WIN32(ERROR_INVALID_NAME):
    case HRESULT_FROM_WIN32(ERROR_INVALID_DRIVE):
    case HRESULT_FROM_WIN32(ERROR_NOT_READY):
    case HRESULT_FROM_WIN32(ERROR_BAD_NETPATH):
    case HRESULT_FROM_WIN32(ERROR_DIRECTORY):
        return L"録音フォルダがありません";
    case HRESULT_FROM_WIN32(ERROR_DISK_FULL):
    case HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL):
        return L"ディスクの空きがありません";
    case HRESULT_FROM_WIN32(ERROR_FILE_EXISTS):
        return L"同じ名前のファイルがあります";
    case NS_E_FILE_WRITE:
        return L"書き込めなくなりました (ディスクの空き不足など)";
    }
    std::wstring text = L"エラー 0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += L"0123456789ABCDEF"[(static_cast<unsigned>(hr) >> shift) & 0xF];
    return text;
}

// Why the router would not open the port asked for, as its error code says.
std::wstring RefusalReason(int code) {
    switch (code) {
    case kUpnpNotAuthorized: return L"606: 許可されていません";
    case kUpnpConflictInMappingEntry: return L"718: 別のPCが使用中";
    case kUpnpConflictWithOtherMechanisms: return L"729: ルーター自身が使用中";
    }
    return L"エラー " + std::to_wstring(code);
}

// Sets text unless the control shows it already: the label would flicker twice a second.
void ShowTextW(HWND dialog, int id, const std::wstring& text) {
    wchar_t shown[256] = L"";
    ::GetDlgItemTextW(dialog, id, shown, ARRAYSIZE(shown));
    if (text != shown) ::SetDlgItemTextW(dialog, id, text.c_str());
}

}  // namespace

std::wstring RecordingText(const RecordingState& recording) {
    switch (recording.kind) {
    case RecordingState::Kind::Recording:
        return L"録音中: " + recording.fileName;
    case RecordingState::Kind::NotStarted:
        return L"録音できません: " + RecordingReason(recording.result);
    case RecordingState::Kind::Stopped:
        return L"録音停止: " + RecordingReason(recording.result);
    case RecordingState::Kind::Off:
        break;
    }
    return std::wstring();
}

std::wstring PortMappingText(const PortMappingView& view) {
    const std::wstring port = std::to_wstring(view.port);
    switch (view.state) {
    case PortMappingState::Idle:
        break;
    case PortMappingState::LanOnly:
        return L"外部のリスナーにはルーターでポート " + port + L" の転送が必要です";
    case PortMappingState::Searching:
        return L"UPnP: ルーターを探しています…";
    case PortMappingState::Mapped:
        return L"UPnP: ルーターのポート " + std::to_wstring(view.externalPort) + L" を開きました";
    case PortMappingState::OtherPort:
        return L"UPnP: ポート " + port + L" は開けず (" + RefusalReason(view.code) + L")、ルーターはポート " +
               std::to_wstring(view.externalPort) + L" を開きました";
    case PortMappingState::NoRouter:
        return L"UPnP: ルーターが見つかりません。外部のリスナーにはポート " + port + L" の転送が必要です";
    case PortMappingState::Refused:
        return L"UPnP: ルーターがポート " + port + L" を拒否しました (" + RefusalReason(view.code) + L")";
    case PortMappingState::DoubleNat: {
        const std::wstring address(view.externalAddress.begin(), view.externalAddress.end());
        return L"UPnP: ルーターの外側 (" + (address.empty() ? std::wstring(L"アドレスなし") : address) +
               L") にもNATがあります (二重NAT)。外部から届きません";
    }
    }
    return std::wstring();
}

const wchar_t* RelayStateText(RelayState state) {
    switch (state) {
    case RelayState::Opening:
        return L"PeerCast: チャンネル作成中";
    case RelayState::Relaying:
        return L"PeerCast: 中継中";
    case RelayState::RelayingIPv4:
        return L"PeerCast: 中継中 (IPv4のみのノード)";
    case RelayState::Unreachable:
        return L"PeerCast: 接続できません";
    case RelayState::Refused:
        return L"PeerCast: チャンネルを作成できません";
    case RelayState::Off:
        break;
    }
    return L"";
}

const wchar_t kSettingsNotSavedText[] = L"設定を保存できません（終了まで有効）";

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
    const PortMappingView mapping = CurrentPortMapping();
    const std::string address = ListenAddress(mapping);
    ShowTextW(dialog, IDC_LISTEN_ADDRESS, std::wstring(address.begin(), address.end()));
    ShowTextW(dialog, IDC_PORT_MAPPING_STATE, PortMappingText(mapping));
    // UTF-16 both ways, so the line reads right and compares equal on any system code page.
    const wchar_t* relay = RelayStateText(CurrentRelayState());
    // The line is free while no relay channel is made: then it tells, for as long as it holds,
    // that settings changed now cannot be saved anywhere.
    if (!*relay && SettingsHaveNoHome()) relay = kSettingsNotSavedText;
    ShowTextW(dialog, IDC_RELAY_STATE, relay);

    LiveEncoder* encoder = nullptr;
    const bool broadcasting = SUCCEEDED(GetEncoder(&encoder)) && encoder;
    const std::wstring recording = broadcasting ? RecordingText(CurrentRecording(encoder)) : std::wstring();
    ShowTextW(dialog, IDC_RECORD_STATE, recording);

    if (!broadcasting) {
        ShowIdle(dialog);
        return;
    }
    ShowEncoder(dialog, encoder);
}

}  // namespace ombrel
