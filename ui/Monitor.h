// The main window's monitor group: output port, running time, listener count, bit rate and
// bytes sent, refreshed from the broadcast's encoder twice a second, the listeners' address with
// what the router said about the port, and the relay channel.
#pragma once

#include <windows.h>

#include <string>

#include "plugin/Recording.h"
#include "plugin/PortMapping.h"
#include "plugin/RelayChannelControl.h"

namespace ombrel {

// "%I64u (KB)" of the whole kibibytes in bytes, truncated: 1023 reads "0 (KB)".
std::string FormatKilobytes(ULONGLONG bytes);

// "%.1f (kbps)" of bitsPerSecond times 0.001: 128000 reads "128.0 (kbps)".
std::string FormatKbps(DWORD bitsPerSecond);

// Days (unbounded), hours, minutes, seconds as "%02d:%02d:%02d:%02d".
std::string FormatRunningTime(DWORD seconds);

// The relay channel's line: empty while the option is off or idle.
const wchar_t* RelayStateText(RelayState state);

// The same line while no folder takes the settings (they hold until the player quits).
extern const wchar_t kSettingsNotSavedText[];

// The recording's line (UTF-16): empty while it is off or idle.
std::wstring RecordingText(const RecordingState& recording);

// The router's line (UTF-16): what became of the port for listeners outside; empty while idle.
std::wstring PortMappingText(const PortMappingView& view);

// Fills the monitor's fields of dialog: the idle texts while no encoder can be borrowed,
// otherwise whatever the encoder answers; a query that fails keeps its field's text.
void UpdateMonitor(HWND dialog);

}  // namespace ombrel
