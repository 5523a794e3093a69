// The stop command's latency while the audio thread feeds blocks as fast as it can: from the
// main window's 40008 (配信終了) to the plug-in idle (flag off, worker ended, encoder released),
// and the audio thread's longest calls during the stops and outside them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/soak/PlayerHost.h"

namespace bench {

struct StopResult {
    bool ran = false;
    std::string error;
    std::vector<double> stopsMs;      // stops with the song worker waiting for work
    std::vector<double> hungStopsMs;  // stops while the worker waits for the silent PeerCast node
    int notIdle = 0;                  // stops after which something still ran
    double modifyMaxDuringStopsUs = 0;
    double modifyMaxOutsideUs = 0;
    uint64_t blocks = 0;
};

// The plug-in must be initialised and idle, its PeerCast settings aimed at a node that never
// answers; leaves it idle.
StopResult MeasureStops(soak::PlayerHost& host, int cycles, int hungCycles);

}  // namespace bench
