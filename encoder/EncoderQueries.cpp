// The encoder's attribute, statistics, listener, running-time and error-text operations.
#include <windows.h>
#include <mmsystem.h>

#include <cwchar>

#include "encoder/WmLiveEncoder.h"

namespace ombrel {

HRESULT STDMETHODCALLTYPE WmLiveEncoder::SetBinaryAttribute(const WCHAR* name, const BYTE* value,
                                                            DWORD length) noexcept {
    if (!headerInfo) return E_FAIL;
    if (!name || (!value && length != 0) || length > 0xFFFF) return E_INVALIDARG;
    return headerInfo->SetAttribute(0, name, WMT_TYPE_BINARY, value, static_cast<WORD>(length));
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::SetStringAttribute(const WCHAR* name, const WCHAR* value) noexcept {
    if (!headerInfo) return E_FAIL;
    if (!name || !value) return E_INVALIDARG;
    size_t bytes = (std::wcslen(value) + 1) * sizeof(WCHAR);
    if (bytes > 0xFFFF) return E_INVALIDARG;
    return headerInfo->SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(value),
                                    static_cast<WORD>(bytes));
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::GetErrorText(char* buffer, DWORD size) noexcept {
    return CopyErrorText(errorText, buffer, size);
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::GetStatistics(WM_WRITER_STATISTICS* statistics) noexcept {
    if (!writerAdvanced) return E_FAIL;
    if (!statistics) return E_INVALIDARG;
    return writerAdvanced->GetStatistics(0, statistics);
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::GetClientCount(DWORD* count) noexcept {
    if (!networkSink) return E_FAIL;
    if (!count) return E_INVALIDARG;
    win::ComPtr<IWMClientConnections> connections;
    HRESULT hr = networkSink.As(IID_IWMClientConnections, &connections);
    if (FAILED(hr)) return hr;
    if (!connections) return E_POINTER;
    return connections->GetClientCount(count);
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::GetElapsedSeconds(DWORD* seconds) noexcept {
    if (!running) return E_FAIL;
    if (!seconds) return E_INVALIDARG;
    *seconds = (::timeGetTime() - startTime) / 1000;
    return S_OK;
}

}  // namespace ombrel
