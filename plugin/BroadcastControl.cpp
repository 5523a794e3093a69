#include "plugin/BroadcastControl.h"

#include <nserror.h>

#include "encoder/ErrorText.h"
#include "plugin/ContentAttributes.h"
#include "plugin/PluginState.h"
#include "plugin/PortMapping.h"
#include "plugin/ProductName.h"
#include "plugin/Recording.h"
#include "plugin/RelayChannelControl.h"
#include "plugin/Settings.h"
#include "plugin/SongTimer.h"
#include "plugin/SongWorker.h"

namespace ombrel {

std::atomic<LONG> _fBroadcasting{0};

namespace {

// Written on the main thread only: set while a start runs and from a successful start to the
// stop. The song worker and the monitor borrow it through GetEncoder; the audio thread never
// reads it (it goes through the gate).
std::atomic<LiveEncoder*> _pEncoder{nullptr};
EncoderGate g_audioGate;
EncoderFactory g_factory = WMLiveCreateInterface;
win::CriticalSection g_scriptLock;

// Ends a broadcast or a failed start: nobody borrows the encoder any more when it goes.
void EndBroadcast(bool wentOnAir) {
    _fBroadcasting = 0;
    StopSongWorker();
    EndBroadcastRelay();
    EndPortMapping();
    g_audioGate.Close();
    LiveEncoder* encoder = nullptr;
    {
        win::CsLock hold(g_scriptLock);
        encoder = _pEncoder.exchange(nullptr);
    }
    if (encoder) {
        encoder->Stop();
        encoder->Release();
    }
    EndRecording(wentOnAir);
}

// The start's steps up to the encoder running; on failure error holds what the user sees.
HRESULT CreateAndStartEncoder(char (&error)[kErrorTextSize]) {
    LiveEncoder* created = nullptr;
    HRESULT hr = g_factory(&created);
    _pEncoder = created;
    if (FAILED(hr) || !created) {
        FormatErrorText(error, "WMLiveCreateInterface failed (hr=0x%08x)\n", static_cast<unsigned>(hr));
        return FAILED(hr) ? hr : E_FAIL;
    }
    LiveEncoder& encoder = *created;
    auto encoderOwnText = [&](HRESULT failure) {
        encoder.GetErrorText(error, kErrorTextSize);
        return failure;
    };

    hr = encoder.Initialize();
    if (FAILED(hr)) return encoderOwnText(hr);
    hr = encoder.SetBroadcastPort(_settings.extra._dwPort);
    if (FAILED(hr)) {
        FormatErrorText(error, "SetBroadastPort failed (hr=0x%08x)\n", static_cast<unsigned>(hr));
        return hr;
    }
    hr = encoder.SetMaxClients(_settings.extra._dwMaxClient);
    if (FAILED(hr)) {
        FormatErrorText(error, "SetMaxClient failed (hr=0x%08x)\n", static_cast<unsigned>(hr));
        return hr;
    }
    hr = encoder.Configure(&_inputFormat, &_encoderSettings);
    if (FAILED(hr)) return encoderOwnText(hr);
    SetContentAttributes(encoder);
    SYSTEMTIME localStart{};
    ::GetLocalTime(&localStart);
    StartRecording(encoder, localStart);
    hr = encoder.Start();
    if (FAILED(hr)) return encoderOwnText(hr);
    return S_OK;
}

}  // namespace

void StartBroadcast() {
    // A second start would lose the running encoder.
    if (_fBroadcasting || _pEncoder) return;

    char error[kErrorTextSize] = "";
    const HRESULT hr = CreateAndStartEncoder(error);
    if (FAILED(hr)) {
        EndBroadcast(false);
        // A PCM format nothing takes is said once: the next start begins from 16-bit stereo
        // and takes the player's format from its next block, instead of refusing a format
        // the player may have left meanwhile (formats seen while idle are not recorded).
        if (hr == NS_E_INVALID_INPUT_FORMAT) {
            _inputFormat.sampleRate = 44100;
            _inputFormat.channels = 2;
            _inputFormat.bitsPerSample = 16;
        }
        ::MessageBoxA(nullptr, error, kProductName, MB_TOPMOST | MB_ICONERROR);
        return;
    }
    g_audioGate.Open(_pEncoder);
    _fBroadcasting = 1;
    // The worker sends the first caption as soon as it runs, so the broadcast is up before it;
    // the timer's next resend of the title comes a whole cycle after that one.
    SetSongTimerTick(1);
    StartSongWorker(_hwndHost);
    // The router is asked on a thread of its own: the start's window never waits for it.
    StartPortMapping(static_cast<int>(_settings.extra._dwPort), _settings.extra._fPortMapping != FALSE);
}

void StopBroadcast() { EndBroadcast(true); }

HRESULT GetEncoder(LiveEncoder** encoder) {
    if (!encoder) return E_INVALIDARG;
    LiveEncoder* current = _pEncoder;
    if (!_fBroadcasting || !current) return E_FAIL;
    *encoder = current;
    return S_OK;
}

EncoderGate& BroadcastEncoderGate() { return g_audioGate; }

win::CriticalSection& ScriptEncoderLock() { return g_scriptLock; }

EncoderFactory SetEncoderFactory(EncoderFactory factory) {
    EncoderFactory previous = g_factory;
    g_factory = factory ? factory : WMLiveCreateInterface;
    return previous;
}

}  // namespace ombrel
