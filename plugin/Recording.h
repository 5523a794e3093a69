// The recording of the running broadcast: started with it when the settings ask for it, never
// in its way. A recording that cannot start or that stops by itself leaves the broadcast on air;
// the monitor shows how the recording stands.
#pragma once

#include <windows.h>

#include <string>

#include "encoder/LiveEncoder.h"

namespace ombrel {

struct RecordingState {
    enum class Kind {
        Off,         // not asked for, or no broadcast
        Recording,   // the file is being written
        NotStarted,  // the file could not be made; the broadcast runs without it
        Stopped,     // a write failed: the file ends there, the broadcast goes on
    };
    Kind kind = Kind::Off;
    std::wstring fileName;  // without the folder
    // Why it did not start or stopped. The encoder's own message for a start that failed stays
    // in its error text (GetErrorText) for as long as the broadcast lasts.
    HRESULT result = S_OK;
};

// Main thread, in the broadcast's start, after Configure and before the encoder's Start: with
// _fArchive on, gives the encoder the broadcast's own file in _cArchiveFolder, named after
// localStart. Whatever happens the start goes on.
void StartRecording(LiveEncoder& encoder, const SYSTEMTIME& localStart);

// Main thread, after the encoder is released: forgets the state; when the broadcast never went
// on air (a failed start), an empty file left by the sink is removed.
void EndRecording(bool wentOnAir);

// Main thread: the state, with a write failure the encoder reports folded in.
RecordingState CurrentRecording(LiveEncoder* encoder);

}  // namespace ombrel
