// A plain INSSBuffer holding a copy of some bytes, as the writer hands them to its sinks.
#pragma once

#include <windows.h>
#include <wmsdk.h>

#include <vector>

namespace ombrel::test {

class TestBuffer final : public INSSBuffer {
public:
    explicit TestBuffer(std::vector<BYTE> bytes) : bytes_(std::move(bytes)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_INSSBuffer) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the stack
    HRESULT STDMETHODCALLTYPE GetLength(DWORD* length) override {
        *length = static_cast<DWORD>(bytes_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetLength(DWORD length) override {
        bytes_.resize(length);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* length) override { return GetLength(length); }
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** buffer) override {
        *buffer = bytes_.data();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        *buffer = bytes_.data();
        *length = static_cast<DWORD>(bytes_.size());
        return S_OK;
    }
    ULONG refs() const { return refs_; }

private:
    std::vector<BYTE> bytes_;
    ULONG refs_ = 1;
};

}  // namespace ombrel::test
