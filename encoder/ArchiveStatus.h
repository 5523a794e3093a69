// The status callback the encoder advises on its file sink. The runtime's file sink tells a
// failed write (a full disk, a drive gone) only through IWMStatusCallback::OnStatus with
// WMT_ERROR: the writer's WriteSample and EndWriting go on succeeding. The callback keeps the
// first failure for the monitor to read; it runs on whatever thread the writer delivers on
// (the audio thread among them), so it does nothing but store one word.
#pragma once

#include <windows.h>

#include <atomic>

#include "encoder/WmSdk.h"

namespace ombrel {

class ArchiveStatus final : public IWMStatusCallback {
public:
    // A new callback with one reference; null when it cannot be allocated.
    static ArchiveStatus* Create() noexcept;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;
    HRESULT STDMETHODCALLTYPE OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, BYTE* value,
                                       void* context) noexcept override;

    // S_OK until the sink reported an error; then the first error's code.
    HRESULT WriteResult() const noexcept { return failure_.load(); }

private:
    ArchiveStatus() = default;
    ~ArchiveStatus() = default;

    LONG refs_ = 1;
    std::atomic<HRESULT> failure_{S_OK};
};

}  // namespace ombrel
