#include "plugin/PluginState.h"

namespace ombrel {

HWND _hwndHost = nullptr;
std::atomic<LONG> _fPlaying{1};
std::atomic<LONG> _fSongDetect{1};
std::atomic<LONG> _fMeterRun{0};

InputFormat _inputFormat{};
EncoderSettings _encoderSettings{};

}  // namespace ombrel
