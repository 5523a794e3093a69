// Plug-in-wide state that lives from Init to Quit. The flags are single 32-bit words, each
// written in one place and polled by other threads.
#pragma once

#include <windows.h>

#include <atomic>

#include "encoder/EncoderSettings.h"
#include "encoder/InputFormat.h"

namespace ombrel {

extern HWND _hwndHost;                  // the player's main window
extern std::atomic<LONG> _fPlaying;     // the player answered "playing" at the last check
extern std::atomic<LONG> _fSongDetect;  // follow track changes; on at every load
extern std::atomic<LONG> _fMeterRun;    // the meter thread loops while set

// Handed to the encoder at a broadcast start. The format fields follow the player while
// broadcasting (ModifySamples); scriptEnabled is the Script section's switch.
extern InputFormat _inputFormat;
extern EncoderSettings _encoderSettings;

}  // namespace ombrel
