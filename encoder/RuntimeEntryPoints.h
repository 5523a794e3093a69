// The four runtime entry points the encoder calls, as one replaceable table. It starts out
// aimed at the runtime DLL (WmRuntime.h); a test puts a stand-in runtime in its place.
#pragma once

#include "encoder/WmSdk.h"

namespace ombrel {

struct RuntimeEntryPoints {
    HRESULT (*createWriter)(IUnknown* certificate, IWMWriter** writer);
    HRESULT (*createWriterNetworkSink)(IWMWriterNetworkSink** sink);
    HRESULT (*createWriterFileSink)(IWMWriterFileSink** sink);
    HRESULT (*createProfileManager)(IWMProfileManager** manager);
};

// The table in use; every encoder and catalogue call goes through it.
RuntimeEntryPoints& ActiveRuntimeEntryPoints() noexcept;
// The table aimed at the runtime DLL.
const RuntimeEntryPoints& PlatformRuntimeEntryPoints() noexcept;

}  // namespace ombrel
