#include "plugin/BroadcastControl.h"

namespace ombrel {

std::atomic<LONG> _fBroadcasting{0};

void StartBroadcast() {}
void StopBroadcast() {}
HRESULT GetEncoder(LiveEncoder** encoder) { return encoder ? E_FAIL : E_INVALIDARG; }

}  // namespace ombrel
