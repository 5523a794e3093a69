#include "plugin/BroadcastControl.h"

namespace ombrel {

std::atomic<LONG> _fBroadcasting{0};

}  // namespace ombrel
