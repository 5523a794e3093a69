// The header and module records the player takes from the plug-in.
#pragma once

#include "plugin/DspAbi.h"

namespace ombrel {

DspHeader* DspHeaderRecord();

// The player's getModule: index 0 is the plug-in's one module, every other index is null.
DspModule* __cdecl GetModule(int index);

// The module record; the player has stored its window and our instance here before Init.
DspModule& PluginModule();

// The plug-in DLL's own instance, from the module record.
inline HINSTANCE PluginInstance() { return PluginModule().hDllInstance; }

}  // namespace ombrel
