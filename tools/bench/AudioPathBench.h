// ModifySamples per block against its floor: the copy and peak scan alone, the plug-in
// broadcasting into the fake runtime with a copying writer, and into the runtime stand-in
// with listeners pulling the stream.
#pragma once

#include <string>

#include "tools/bench/Timing.h"
#include "tools/soak/PlayerHost.h"

namespace ombrel::test::bench {

struct PathResult {
    bool ran = false;
    std::string error;
    Distribution perBlock;    // each block timed on its own
    Distribution floor;       // the floor operation timed right after each block
    double batchMeanNs = 0;   // blocks timed in runs of many, per block
    size_t blocks = 0;
    int listeners = 0;
    int listenersKept = 0;    // still connected at the end
    int listenerStalls = 0;   // listeners the feed stopped waiting for: they did not move for 2 s
    double streamSeconds = 0;
    double wallSeconds = 0;
    std::string runtimeModule;  // where the runtime came from
};

PathResult MeasureFloor(size_t blocks);
// The plug-in must be initialised and idle; each leaves it idle.
PathResult MeasureFakeRuntime(soak::PlayerHost& host, size_t blocks);
PathResult MeasureStandIn(soak::PlayerHost& host, int port, size_t blocks, int listeners);

}  // namespace ombrel::test::bench
