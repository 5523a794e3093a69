// INSSBuffer: a block of bytes with a maximum and a current length.
#include "standin/wmvcore/ComSupport.h"
#include "standin/wmvcore/Objects.h"

namespace wmstandin {
namespace {

struct Buffer final : INSSBuffer {
    RefCount refs;
    std::vector<BYTE> bytes;
    DWORD length;

    explicit Buffer(DWORD maxLength) : bytes(maxLength), length(maxLength) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_INSSBuffer)) return E_NOINTERFACE;
        *out = static_cast<INSSBuffer*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs.Release(this); }
    HRESULT STDMETHODCALLTYPE GetLength(DWORD* out) override {
        if (!out) return E_POINTER;
        *out = length;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetLength(DWORD value) override {
        if (value > bytes.size()) return E_INVALIDARG;
        length = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* out) override {
        if (!out) return E_POINTER;
        *out = static_cast<DWORD>(bytes.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** out) override {
        if (!out) return E_POINTER;
        *out = bytes.data();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** out, DWORD* outLength) override {
        if (!out || !outLength) return E_POINTER;
        *out = bytes.data();
        *outLength = length;
        return S_OK;
    }
};

}  // namespace

HRESULT CreateBuffer(DWORD maxLength, INSSBuffer** buffer) noexcept {
    if (!buffer) return E_POINTER;
    *buffer = nullptr;
    return Guard([&] {
        *buffer = new Buffer(maxLength);
        return S_OK;
    });
}

HRESULT CreateBufferFrom(const BYTE* bytes, DWORD length, INSSBuffer** buffer) noexcept {
    if (length && !bytes) return E_POINTER;
    HRESULT hr = CreateBuffer(length, buffer);
    if (SUCCEEDED(hr) && length) std::memcpy(static_cast<Buffer*>(*buffer)->bytes.data(), bytes, length);
    return hr;
}

}  // namespace wmstandin
