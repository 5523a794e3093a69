// The archive file: a file sink fed the same stream as the listeners, and what it reports.
#include "encoder/RuntimeEntryPoints.h"
#include "encoder/WmLiveEncoder.h"

namespace ombrel {
namespace {

// The sink's callback registration, when the sink offers one: a sink without it still
// records, only a failed write goes unnoticed.
win::ComPtr<IWMRegisterCallback> CallbackRegistration(IWMWriterFileSink* sink) noexcept {
    win::ComPtr<IWMRegisterCallback> registration;
    if (FAILED(sink->QueryInterface(IID_IWMRegisterCallback, registration.put_void()))) registration.reset();
    return registration;
}

void StopListening(IWMWriterFileSink* sink, ArchiveStatus* status) noexcept {
    if (!sink || !status) return;
    win::ComPtr<IWMRegisterCallback> registration = CallbackRegistration(sink);
    if (registration) registration->Unadvise(status, nullptr);
}

}  // namespace

// The path is taken as it is, UTF-16 of any length the runtime accepts; a sink that cannot
// open its file is not added, so the broadcast can start without it.
HRESULT STDMETHODCALLTYPE WmLiveEncoder::SetArchiveFile(const WCHAR* path) noexcept {
    if (!initialized) return E_FAIL;
    if (!path || !*path) return E_INVALIDARG;
    if (!writerAdvanced || fileSink || running) return E_FAIL;

    win::ComPtr<IWMWriterFileSink> sink;
    HRESULT hr = ActiveRuntimeEntryPoints().createWriterFileSink(sink.put());
    if (FAILED(hr) || !sink) {
        if (SUCCEEDED(hr)) hr = E_POINTER;
        SetError("Could not create Writer File Sink (hr=0x%08x).\n", static_cast<unsigned>(hr));
        return hr;
    }
    win::ComPtr<ArchiveStatus> status = win::ComPtr<ArchiveStatus>::Adopt(ArchiveStatus::Create());
    if (!status) return E_OUTOFMEMORY;
    win::ComPtr<IWMRegisterCallback> registration = CallbackRegistration(sink.get());
    const bool advised = registration && SUCCEEDED(registration->Advise(status.get(), nullptr));

    hr = sink->Open(path);
    if (FAILED(hr)) {
        SetError("Could not open the archive file (hr=0x%08x).\n", static_cast<unsigned>(hr));
        if (advised) registration->Unadvise(status.get(), nullptr);
        return hr;
    }
    hr = writerAdvanced->AddSink(sink.get());
    if (FAILED(hr)) {
        SetError("Could not Add Sink  (hr=0x%08x).\n", static_cast<unsigned>(hr));
        if (advised) registration->Unadvise(status.get(), nullptr);
        return hr;
    }
    fileSink = std::move(sink);
    if (advised) archiveStatus = std::move(status);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::GetArchiveState(HRESULT* writeResult) noexcept {
    if (!writeResult) return E_INVALIDARG;
    if (!fileSink) return E_FAIL;
    *writeResult = archiveStatus ? archiveStatus->WriteResult() : S_OK;
    return S_OK;
}

void WmLiveEncoder::ReleaseFileSink() noexcept {
    StopListening(fileSink.get(), archiveStatus.get());
    archiveStatus.reset();
    fileSink.reset();
}

}  // namespace ombrel
