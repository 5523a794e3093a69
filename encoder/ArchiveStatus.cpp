#include "encoder/ArchiveStatus.h"

#include <new>

namespace ombrel {

ArchiveStatus* ArchiveStatus::Create() noexcept { return new (std::nothrow) ArchiveStatus(); }

HRESULT STDMETHODCALLTYPE ArchiveStatus::QueryInterface(REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWMStatusCallback)) {
        *out = static_cast<IWMStatusCallback*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ArchiveStatus::AddRef() noexcept { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

ULONG STDMETHODCALLTYPE ArchiveStatus::Release() noexcept {
    const LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE ArchiveStatus::OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE*,
                                                  void*) noexcept {
    if (status != WMT_ERROR) return S_OK;
    // An error without a failing code still ends the recording.
    const HRESULT failure = FAILED(hr) ? hr : E_FAIL;
    HRESULT none = S_OK;
    failure_.compare_exchange_strong(none, failure);
    return S_OK;
}

}  // namespace ombrel
