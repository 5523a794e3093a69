// The Windows Media Format runtime, reached at run time: the plug-in loads even where the
// runtime is missing, and a missing DLL or entry point becomes a failure code
// (0x8007007E, 0x8007007F) that the encoder reports like any other.
#pragma once

#include "encoder/WmSdk.h"
#include "win/CriticalSection.h"
#include "win/UniqueAny.h"

namespace ombrel {

// One runtime DLL, loaded on first use and kept until Unload.
class RuntimeLibrary {
public:
    explicit RuntimeLibrary(const char* dllName) noexcept : dllName_(dllName) {}

    // The entry point's address, loading the DLL when needed; *proc is null on failure.
    HRESULT Resolve(const char* entry, FARPROC* proc) noexcept;
    void Unload() noexcept;
    bool Loaded() noexcept;

private:
    const char* dllName_;
    win::CriticalSection lock_;
    win::UniqueModule module_;
};

namespace wmruntime {

constexpr char kRuntimeDll[] = "wmvcore.dll";

HRESULT CreateWriter(IUnknown* certificate, IWMWriter** writer);
HRESULT CreateWriterNetworkSink(IWMWriterNetworkSink** sink);
HRESULT CreateWriterFileSink(IWMWriterFileSink** sink);
HRESULT CreateProfileManager(IWMProfileManager** manager);

// Frees the runtime DLL; every object taken from it must be released before.
void Unload();

}  // namespace wmruntime
}  // namespace ombrel
