// The Windows Media Format runtime, reached at run time: the plug-in loads even where the
// runtime is missing, and a missing DLL or entry point becomes a failure code
// (0x8007007E, 0x8007007F) that the encoder reports like any other.
#pragma once

#include "encoder/WmSdk.h"
#include "win/CriticalSection.h"

namespace ombrel {

// One runtime DLL, loaded on first use and kept for the life of the process: the runtime may
// keep threads or deferred work after its last object is released, and unloading its code
// under them would crash the player at exit. Neither Quit nor the player's FreeLibrary of
// this plug-in frees it.
class RuntimeLibrary {
public:
    explicit RuntimeLibrary(const char* dllName) noexcept : dllName_(dllName) {}
    RuntimeLibrary(const RuntimeLibrary&) = delete;
    RuntimeLibrary& operator=(const RuntimeLibrary&) = delete;

    // The entry point's address, loading the DLL when needed; *proc is null on failure.
    HRESULT Resolve(const char* entry, FARPROC* proc) noexcept;
    bool Loaded() noexcept;

private:
    const char* dllName_;
    win::CriticalSection lock_;
    HMODULE module_ = nullptr;  // pinned, never freed
};

namespace wmruntime {

constexpr char kRuntimeDll[] = "wmvcore.dll";

HRESULT CreateWriter(IUnknown* certificate, IWMWriter** writer);
HRESULT CreateWriterNetworkSink(IWMWriterNetworkSink** sink);
HRESULT CreateWriterFileSink(IWMWriterFileSink** sink);
HRESULT CreateProfileManager(IWMProfileManager** manager);

}  // namespace wmruntime
}  // namespace ombrel
