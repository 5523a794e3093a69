#include "encoder/WmRuntime.h"

namespace ombrel {
namespace {

HRESULT LastErrorOr(DWORD fallback) {
    DWORD error = ::GetLastError();
    return HRESULT_FROM_WIN32(error ? error : fallback);
}

RuntimeLibrary& Runtime() {
    static RuntimeLibrary runtime(wmruntime::kRuntimeDll);
    return runtime;
}

template <typename Proc, typename... Args>
HRESULT Call(const char* entry, Args... args) {
    FARPROC proc = nullptr;
    HRESULT hr = Runtime().Resolve(entry, &proc);
    if (FAILED(hr)) return hr;
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(proc))(args...);
}

// The runtime's factories write their result only on success; callers rely on a null result
// after any failure, including a failure to reach the runtime.
template <typename T>
HRESULT PrepareOut(T** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return S_OK;
}

}  // namespace

HRESULT RuntimeLibrary::Resolve(const char* entry, FARPROC* proc) noexcept {
    if (!proc) return E_POINTER;
    *proc = nullptr;
    win::CsLock hold(lock_);
    if (!module_) {
        HMODULE loaded = ::LoadLibraryA(dllName_);
        if (!loaded) return LastErrorOr(ERROR_MOD_NOT_FOUND);
        // Pinned, so no FreeLibrary anywhere in the process unloads it; the load's own
        // reference is kept as well, where pinning is refused.
        HMODULE pinned = nullptr;
        ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                             reinterpret_cast<LPCSTR>(loaded), &pinned);
        module_ = loaded;
    }
    *proc = ::GetProcAddress(module_, entry);
    return *proc ? S_OK : LastErrorOr(ERROR_PROC_NOT_FOUND);
}

bool RuntimeLibrary::Loaded() noexcept {
    win::CsLock hold(lock_);
    return module_ != nullptr;
}

namespace wmruntime {

HRESULT CreateWriter(IUnknown* certificate, IWMWriter** writer) {
    HRESULT hr = PrepareOut(writer);
    if (FAILED(hr)) return hr;
    return Call<WMCreateWriterProc>("WMCreateWriter", certificate, writer);
}

HRESULT CreateWriterNetworkSink(IWMWriterNetworkSink** sink) {
    HRESULT hr = PrepareOut(sink);
    if (FAILED(hr)) return hr;
    return Call<WMCreateWriterNetworkSinkProc>("WMCreateWriterNetworkSink", sink);
}

HRESULT CreateWriterFileSink(IWMWriterFileSink** sink) {
    HRESULT hr = PrepareOut(sink);
    if (FAILED(hr)) return hr;
    return Call<WMCreateWriterFileSinkProc>("WMCreateWriterFileSink", sink);
}

HRESULT CreateProfileManager(IWMProfileManager** manager) {
    HRESULT hr = PrepareOut(manager);
    if (FAILED(hr)) return hr;
    return Call<WMCreateProfileManagerProc>("WMCreateProfileManager", manager);
}

}  // namespace wmruntime
}  // namespace ombrel
