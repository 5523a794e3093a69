// The encoder object and its writer's lifecycle: creation, Initialize, Configure, Start, Stop,
// Uninitialize and the port and listener settings (the archive file: EncoderArchive.cpp).
#include <windows.h>
#include <mmsystem.h>

#include <new>

#include "encoder/Profile.h"
#include "encoder/RuntimeEntryPoints.h"
#include "encoder/WmLiveEncoder.h"

namespace ombrel {
namespace {

// Undo Start's steps on the network sink. A step that fails keeps its flag, so Uninitialize
// tries it again: a sink left open would hold its port until the player ends.
HRESULT RemoveNetworkSink(WmLiveEncoder& e) noexcept {
    if (!e.networkSinkAdded || !e.writerAdvanced || !e.networkSink) return S_OK;
    const HRESULT hr = e.writerAdvanced->RemoveSink(e.networkSink.get());
    if (SUCCEEDED(hr)) e.networkSinkAdded = FALSE;
    return hr;
}

HRESULT CloseNetworkSink(WmLiveEncoder& e) noexcept {
    if (!e.networkSinkOpen || !e.networkSink) return S_OK;
    const HRESULT hr = e.networkSink->Close();
    if (SUCCEEDED(hr)) e.networkSinkOpen = FALSE;
    return hr;
}

}  // namespace

HRESULT WMLiveCreateInterface(LiveEncoder** encoder) noexcept {
    if (!encoder) return E_INVALIDARG;
    *encoder = new (std::nothrow) WmLiveEncoder();
    return *encoder ? S_OK : E_OUTOFMEMORY;
}

WmLiveEncoder::WmLiveEncoder() noexcept = default;

WmLiveEncoder::~WmLiveEncoder() { Uninitialize(); }

void STDMETHODCALLTYPE WmLiveEncoder::Release() noexcept { delete this; }

HRESULT STDMETHODCALLTYPE WmLiveEncoder::Initialize() noexcept {
    if (initialized) return E_FAIL;
    const RuntimeEntryPoints& runtime = ActiveRuntimeEntryPoints();
    HRESULT hr = runtime.createWriter(nullptr, writer.put());
    if (FAILED(hr) || !writer) {
        if (SUCCEEDED(hr)) hr = E_POINTER;
        SetError("Failed to Create WMWriter (hr=0x%08x)\n", static_cast<unsigned>(hr));
        return hr;
    }
    hr = writer.As(IID_IWMWriterAdvanced, &writerAdvanced);
    if (FAILED(hr)) {
        SetError("Could not QI for IWMWriterAdvanced (hr=0x%08x).\n", static_cast<unsigned>(hr));
        return hr;
    }
    hr = writer.As(IID_IWMHeaderInfo, &headerInfo);
    if (FAILED(hr)) {
        SetError("Could not QI for IID_IWMHeaderInfo (hr=0x%08x).\n", static_cast<unsigned>(hr));
        return hr;
    }
    hr = runtime.createWriterNetworkSink(networkSink.put());
    if (FAILED(hr) || !networkSink) {
        if (SUCCEEDED(hr)) hr = E_POINTER;
        SetError("Could not create Writer Network Sink (hr=0x%08x).\n", static_cast<unsigned>(hr));
        return hr;
    }
    initialized = TRUE;
    return hr;
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::Configure(const InputFormat* format,
                                                   const EncoderSettings* encoderSettings) noexcept {
    if (!initialized) return E_FAIL;
    if (!format || !encoderSettings) return E_INVALIDARG;
    if (!IsAcceptableInputFormat(*format)) return E_INVALIDARG;
    if (!writer || !networkSink) return E_FAIL;

    inputFormat = *format;
    settings = *encoderSettings;
    SetClock(samplesWritten, timeOffset, inputFormat.sampleRate);

    HRESULT hr = InitializeInputStream();
    if (FAILED(hr) || inputCount == 0) {
        SetError("InitializeInputStream failed (0x%x)\n", static_cast<unsigned>(hr));
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = SetupProfile(&inputFormat, &settings, profile.put());
    if (FAILED(hr)) {
        SetError("SetupProfile failed (0x%x)\n", static_cast<unsigned>(hr));
        return hr;
    }
    hr = networkSink->SetNetworkProtocol(WMT_PROTOCOL_HTTP);
    if (FAILED(hr)) {
        SetError("Could not Set Network protocol (hr=0x%08x).\n", static_cast<unsigned>(hr));
        return hr;
    }
    hr = networkSink->SetMaximumClients(maxClients);
    if (FAILED(hr)) {
        SetError("Could not Set maximum clients (hr=0x%08x).\n", static_cast<unsigned>(hr));
        return hr;
    }
    hr = writer->SetProfile(profile.get());
    if (FAILED(hr)) {
        SetError("Could not set profile on IWMWriter (hr=0x%08x).\n", static_cast<unsigned>(hr));
        return hr;
    }
    hr = UpdateWriterInputs();
    if (FAILED(hr)) {
        // A format nothing takes keeps its own message, which says what the player sent.
        if (!pcmRefused) SetError("UpdateWriterInputs failed (0x%x)\n", static_cast<unsigned>(hr));
        return hr;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::SetBroadcastPort(DWORD newPort) noexcept {
    if (running) return E_FAIL;
    if (newPort == 0 || newPort > 65535) return E_INVALIDARG;
    port = newPort;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::SetMaxClients(DWORD count) noexcept {
    if (running) return E_FAIL;
    if (count == 0) return E_INVALIDARG;
    maxClients = count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::Start() noexcept {
    if (!initialized || running) return E_FAIL;
    if (!writer || !writerAdvanced || !networkSink) return E_FAIL;
    HRESULT hr = networkSink->Open(&port);
    if (FAILED(hr)) {
        SetError("Network sink failed to open port no %d (hr=0x%08x).\n", static_cast<int>(port),
                 static_cast<unsigned>(hr));
        return hr;
    }
    networkSinkOpen = TRUE;
    hr = writerAdvanced->AddSink(networkSink.get());
    if (FAILED(hr)) {
        SetError("Could not Add Sink (hr=0x%08x).\n", static_cast<unsigned>(hr));
        CloseNetworkSink(*this);
        return hr;
    }
    networkSinkAdded = TRUE;
    hr = writer->BeginWriting();
    if (FAILED(hr)) {
        // The usual end of a format the codec refuses: the port goes with the failed start.
        SetError("BeginWriting on IWMWriter failed (hr=0x%08x).\n", static_cast<unsigned>(hr));
        RemoveNetworkSink(*this);
        CloseNetworkSink(*this);
        return hr;
    }
    startTime = ::timeGetTime();
    SetClock(0, 0, inputFormat.sampleRate);
    running = TRUE;
    return S_OK;
}

// Every step is made whatever failed before it, so the sink is closed and its port free for
// the next start; the first failure is the result, with its message.
HRESULT STDMETHODCALLTYPE WmLiveEncoder::Stop() noexcept {
    if (!initialized || !running) return E_FAIL;
    running = FALSE;
    if (!writer || !writerAdvanced || !networkSink) return E_FAIL;
    HRESULT result = S_OK;
    auto first = [&](HRESULT hr) {
        if (SUCCEEDED(hr) || FAILED(result)) return false;
        result = hr;
        return true;
    };
    if (first(writer->Flush()))
        SetError("Could not Flush on IWMWriter (hr=0x%08x).\n", static_cast<unsigned>(result));
    if (first(writer->EndWriting()))
        SetError("Could not EndWriting on IWMWriter (hr=0x%08x).\n", static_cast<unsigned>(result));
    if (first(RemoveNetworkSink(*this)))
        SetError("Could not remove the Network Sink (hr=0x%08x).\n", static_cast<unsigned>(result));
    if (first(CloseNetworkSink(*this)))
        SetError("Could not close on IWMWriterNetworkSink (hr=0x%08x).\n", static_cast<unsigned>(result));
    if (fileSink) {
        const HRESULT hr = writerAdvanced->RemoveSink(fileSink.get());
        if (first(hr)) SetError("Could not remove the File Sink (hr=0x%08x).\n", static_cast<unsigned>(result));
        if (SUCCEEDED(hr)) ReleaseFileSink();
    }
    return result;
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::Uninitialize() noexcept {
    if (running) static_cast<LiveEncoder*>(this)->Stop();
    // A removal or close that failed before: the last chance to free the port.
    RemoveNetworkSink(*this);
    CloseNetworkSink(*this);
    networkSinkAdded = FALSE;
    networkSinkOpen = FALSE;
    headerInfo.reset();
    ReleaseFileSink();
    networkSink.reset();
    writerAdvanced.reset();
    writer.reset();
    profile.reset();
    for (InputStream& entry : inputs) FreeInputStream(&entry);
    inputCount = 0;
    initialized = FALSE;
    return S_OK;
}

}  // namespace ombrel
