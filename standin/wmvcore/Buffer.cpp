#include "standin/wmvcore/Buffer.h"

#include "standin/wmvcore/BufferPool.h"
#include "standin/wmvcore/ComSupport.h"
#include "standin/wmvcore/Objects.h"

namespace wmstandin {
namespace {

LONG g_live = 0;

}  // namespace

Buffer::Buffer(DWORD size) : bytes(size), maxLength(size), length(size) { ::InterlockedIncrement(&g_live); }

Buffer::~Buffer() { ::InterlockedDecrement(&g_live); }

LONG Buffer::Live() noexcept { return ::InterlockedCompareExchange(&g_live, 0, 0); }

HRESULT STDMETHODCALLTYPE Buffer::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_INSSBuffer)) return E_NOINTERFACE;
    *out = static_cast<INSSBuffer*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE Buffer::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&refs)); }

ULONG STDMETHODCALLTYPE Buffer::Release() {
    const LONG left = ::InterlockedDecrement(&refs);
    if (left == 0) {
        if (pool)
            pool->Return(this);
        else
            delete this;
    }
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE Buffer::GetLength(DWORD* out) {
    if (!out) return E_POINTER;
    *out = length;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Buffer::SetLength(DWORD value) {
    if (value > maxLength) return E_INVALIDARG;
    length = value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Buffer::GetMaxLength(DWORD* out) {
    if (!out) return E_POINTER;
    *out = maxLength;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Buffer::GetBuffer(BYTE** out) {
    if (!out) return E_POINTER;
    *out = bytes.data();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Buffer::GetBufferAndLength(BYTE** out, DWORD* outLength) {
    if (!out || !outLength) return E_POINTER;
    *out = bytes.data();
    *outLength = length;
    return S_OK;
}

HRESULT CreateBuffer(DWORD maxLength, INSSBuffer** buffer) noexcept {
    if (!buffer) return E_POINTER;
    *buffer = nullptr;
    return Guard([&] {
        *buffer = new Buffer(maxLength);
        return S_OK;
    });
}

}  // namespace wmstandin
