#include "plugin/AudioTap.h"

#include "plugin/BroadcastControl.h"
#include "plugin/PluginState.h"

namespace ombrel {

void WriteBlockToEncoder(const short* samples, int count, int bitsPerSample, int channels,
                         int sampleRate) noexcept {
    if (!IsBroadcasting()) return;
    EncoderGateUse use(BroadcastEncoderGate());
    LiveEncoder* encoder = use.get();
    if (!encoder) return;
    // The input format is only written here, and only while an encoder is lent to this call:
    // a start configures from it before the gate opens, so the two never overlap.
    if (bitsPerSample != _inputFormat.bitsPerSample || channels != _inputFormat.channels ||
        sampleRate != _inputFormat.sampleRate) {
        _inputFormat.bitsPerSample = bitsPerSample;
        _inputFormat.channels = channels;
        _inputFormat.sampleRate = sampleRate;
        encoder->ChangeInputFormat(&_inputFormat);
    }
    encoder->WriteAudio(reinterpret_cast<const BYTE*>(samples), count);
}

}  // namespace ombrel
