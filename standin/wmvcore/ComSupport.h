// What every COM object of the runtime stand-in shares: the exception guard around method
// bodies, the runtime's string and value copy conventions and its result codes.
#pragma once

#include "encoder/WmSdk.h"

#include <nserror.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace wmstandin {

// The runtime's "buffer too small" code (ASF_E_BUFFERTOOSMALL), which mingw's nserror.h lacks.
constexpr HRESULT kBufferTooSmall = static_cast<HRESULT>(0xC00D07D2);

// An object's Interlocked reference count, one for its creator at the start. Release deletes
// the owner with the last reference.
class RefCount {
public:
    ULONG Add() noexcept { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    template <typename Owner>
    ULONG Release(Owner* owner) noexcept {
        const LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete owner;
        return static_cast<ULONG>(left);
    }

private:
    LONG refs_ = 1;
};

// Runs a method body; nothing thrown leaves a COM method.
template <typename F>
HRESULT Guard(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Copies text as the runtime does: a null buffer asks for the size (characters with the
// terminator), a short buffer gets kBufferTooSmall and the size needed.
template <typename Count>
HRESULT CopyText(const std::wstring& text, WCHAR* out, Count* count) noexcept {
    if (!count) return E_POINTER;
    const size_t needed = text.size() + 1;
    if (needed > static_cast<Count>(~Count{0})) return E_UNEXPECTED;
    if (!out) {
        *count = static_cast<Count>(needed);
        return S_OK;
    }
    if (*count < needed) {
        *count = static_cast<Count>(needed);
        return kBufferTooSmall;
    }
    std::memcpy(out, text.c_str(), needed * sizeof(WCHAR));
    *count = static_cast<Count>(needed);
    return S_OK;
}

// Copies a typed value (the size in bytes) with the same conventions.
template <typename Size>
HRESULT CopyValue(WMT_ATTR_DATATYPE type, const std::vector<BYTE>& value, WMT_ATTR_DATATYPE* outType,
                  BYTE* out, Size* size) noexcept {
    if (!size) return E_POINTER;
    if (outType) *outType = type;
    if (!out) {
        *size = static_cast<Size>(value.size());
        return S_OK;
    }
    if (*size < value.size()) {
        *size = static_cast<Size>(value.size());
        return kBufferTooSmall;
    }
    if (!value.empty()) std::memcpy(out, value.data(), value.size());
    *size = static_cast<Size>(value.size());
    return S_OK;
}

// The bytes a value of a fixed-size type must have; 0 for strings, binary and unknown types.
inline DWORD FixedValueSize(WMT_ATTR_DATATYPE type) noexcept {
    switch (type) {
        case WMT_TYPE_DWORD:
        case WMT_TYPE_BOOL:
            return 4;
        case WMT_TYPE_QWORD:
            return 8;
        case WMT_TYPE_WORD:
            return 2;
        case WMT_TYPE_GUID:
            return 16;
        default:
            return 0;
    }
}

inline bool IsKnownType(WMT_ATTR_DATATYPE type) noexcept {
    return type == WMT_TYPE_STRING || type == WMT_TYPE_BINARY || FixedValueSize(type) != 0;
}

inline std::wstring TextOrEmpty(const WCHAR* text) { return text ? std::wstring(text) : std::wstring(); }

}  // namespace wmstandin
