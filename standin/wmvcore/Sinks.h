// The writer's sinks: the network sink (HTTP pull in the Windows Media framing) and the file
// sink. Both take the multiplexer's header and fixed-size data packets unchanged.
#pragma once

#include "encoder/WmSdk.h"

namespace wmstandin {

// A new network sink with one reference, answering IWMWriterSink, IWMWriterNetworkSink,
// IWMClientConnections, IWMClientConnections2 and IWMRegisterCallback.
HRESULT CreateNetworkSink(IWMWriterNetworkSink** sink);

// A new file sink with one reference, answering IWMWriterSink and IWMWriterFileSink.
HRESULT CreateFileSink(IWMWriterFileSink** sink);

}  // namespace wmstandin
