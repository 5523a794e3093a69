#include "encoder/RuntimeEntryPoints.h"

#include "encoder/WmRuntime.h"

namespace ombrel {
namespace {

const RuntimeEntryPoints kPlatform = {
    wmruntime::CreateWriter,
    wmruntime::CreateWriterNetworkSink,
    wmruntime::CreateWriterFileSink,
    wmruntime::CreateProfileManager,
};

RuntimeEntryPoints g_active = kPlatform;

}  // namespace

RuntimeEntryPoints& ActiveRuntimeEntryPoints() noexcept { return g_active; }
const RuntimeEntryPoints& PlatformRuntimeEntryPoints() noexcept { return kPlatform; }

}  // namespace ombrel
