#include "plugin/DspModule.h"

#include "plugin/Lifecycle.h"
#include "plugin/ProductName.h"

namespace ombrel {
namespace {

// The player keeps pointers to both texts; each record has its own copy.
char g_headerDescription[] = "Ombrel DSP plugin v1.05";
char g_moduleDescription[] = "Ombrel DSP plugin v1.05";
static_assert(sizeof(g_headerDescription) == sizeof(kProductName), "one name everywhere");

DspModule g_module = {
    g_moduleDescription, nullptr, nullptr, Config, Init, ModifySamples, Quit, nullptr,
};

DspHeader g_header = {kDspHeaderVersion, g_headerDescription, GetModule, nullptr};

}  // namespace

DspHeader* DspHeaderRecord() { return &g_header; }

DspModule* __cdecl GetModule(int index) { return index == 0 ? &g_module : nullptr; }

DspModule& PluginModule() { return g_module; }

}  // namespace ombrel
