#include "plugin/Lifecycle.h"

#include <climits>
#include <optional>

#include "encoder/Catalogue.h"
#include "peercast/SocketStartup.h"
#include "plugin/AudioTap.h"
#include "plugin/BroadcastControl.h"
#include "plugin/DspModule.h"
#include "plugin/HomeThread.h"
#include "plugin/PlayerAsk.h"
#include "plugin/PlayerHooks.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PluginState.h"
#include "plugin/PortMapping.h"
#include "plugin/RelayChannelControl.h"
#include "plugin/Settings.h"
#include "plugin/SongWorker.h"
#include "plugin/SongTimer.h"
#include "ui/LevelMeter.h"
#include "ui/MainWindow.h"
#include "ui/MeterThread.h"
#include "ui/SettingsSheet.h"
#include "win/ComApartment.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

std::optional<win::ComApartment> g_com;
std::optional<SocketUse> g_sockets;

void SetDefaultInputFormat() {
    _inputFormat = {};
    _inputFormat.audioEnabled = TRUE;
    _inputFormat.sampleRate = 44100;
    _inputFormat.channels = 2;
    _inputFormat.bitsPerSample = 16;
    _inputFormat.scriptEnabled = FALSE;
}

// A block the player should never send: it is passed on untouched and otherwise ignored, so
// no division or read ever sees it.
bool IsUsableBlock(const short* samples, int count, int bitsPerSample, int channels, int sampleRate) {
    if (!samples || count <= 0 || channels <= 0 || sampleRate <= 0) return false;
    if (bitsPerSample != 8 && bitsPerSample != 16 && bitsPerSample != 24 && bitsPerSample != 32)
        return false;
    long long bytes = static_cast<long long>(count) * channels * (bitsPerSample / 8);
    return bytes <= INT_MAX;
}

// The main window is owned by the player's window only where that is a window of this process:
// NULL, the desktop or another process's window (a bridge) leave it unowned.
HWND OwnerWindow(HWND parent) { return PlayerSharesProcess(parent) ? parent : nullptr; }

// The sheet and the main window belong to Init's thread.
void CloseWindowsOfHome() {
    CloseSettingsSheet();
    CloseMainWindow();
}

}  // namespace

int __cdecl Init(DspModule* module) {
    return win::Firewall(0, [&] {
        DspModule& record = module ? *module : PluginModule();

        _fBroadcasting = 0;
        _hwndHost = record.hwndParent;

        g_com.emplace();

        g_sockets.emplace(1, 0);

        OpenHomeThread(record.hDllInstance);
        ForgetAnnouncements();

        InstallPlayerHooks(_hwndHost);

        SetDefaultInputFormat();

        FillDefaultEncoderSettings(&_inputFormat, &_encoderSettings);

        SetDefaultSettings();

        _fPlaying = AskPlayerIsPlaying(_hwndHost) ? 1 : 0;

        LoadSettings();

        OpenMainWindow(record.hDllInstance, OwnerWindow(record.hwndParent));

        StartSongTimer();

        StartMeterThread();
        return 0;
    });
}

void __cdecl Config(DspModule* module) {
    win::Firewall([&] {
        const DspModule& record = module ? *module : PluginModule();
        OpenMainWindow(record.hDllInstance, OwnerWindow(record.hwndParent));
    });
}

void __cdecl Quit(DspModule* module) {
    win::Firewall([&] {
        const DspModule& record = module ? *module : PluginModule();
        _fMeterRun = 0;
        RunOnHomeThread(StopSongTimer, kHomeThreadWaitMs);
        RemovePlayerHooks();
        JoinMeterThread();

        RunOnHomeThread(CloseWindowsOfHome, kHomeThreadWaitMs);

        StopBroadcast();
        // The relay channel's end is the only traffic left; sockets go after it.
        AwaitRelayEnd(kRelayQuitWaitMs);
        // The router's mapping is removed by its own worker, which keeps the module loaded.
        AwaitPortMappingEnd(kPortMappingQuitWaitMs);

        g_sockets.reset();

        g_com.reset();

        SaveSettings();

        CloseHomeThread(record.hDllInstance);
    });
}

int __cdecl ModifySamples(DspModule*, short* samples, int count, int bitsPerSample, int channels,
                          int sampleRate) {
    // A block that could not be read safely reaches neither the encoder nor the meter.
    if (!IsUsableBlock(samples, count, bitsPerSample, channels, sampleRate)) return count;
    WriteBlockToEncoder(samples, count, bitsPerSample, channels, sampleRate);
    ComputePeaks(samples, count, bitsPerSample, channels);
    return count;
}

}  // namespace ombrel
