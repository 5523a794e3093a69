// The stop command's latency while the audio thread feeds blocks as fast as it can: from the
// main window's 40008 (配信終了) to the plug-in idle (flag off, worker ended, encoder released),
// with the song worker waiting for work and with its PeerCast update held by a bad node, and
// the audio thread's longest calls during the stops and outside them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/common/StandInNode.h"
#include "tools/soak/PlayerHost.h"

namespace ombrel::test::bench {

// A PeerCast node that holds the song worker's update: what it does, and its port.
struct HoldingNode {
    std::string what;  // for the table: "never answers"
    std::string key;   // for the summary line: "silent"
    int port = 0;
};

struct StopResult {
    bool ran = false;
    std::string error;
    std::vector<double> stopsMs;  // stops with the song worker waiting for work
    // For each holding node, the stops while the worker's PeerCast update waits for it.
    std::vector<std::vector<double>> heldStopsMs;
    int notIdle = 0;                  // stops after which something still ran
    double modifyMaxDuringStopsUs = 0;
    double modifyMaxOutsideUs = 0;
    uint64_t blocks = 0;
};

// The plug-in must be initialised and idle with PeerCast on; leaves it idle, its PeerCast port
// at the last node's. heldCycles stops for each node follow the plain ones.
// realRate: the audio thread feeds at about the player's rate instead of at full speed.
StopResult MeasureStops(soak::PlayerHost& host, int cycles, int heldCycles, const std::vector<HoldingNode>& nodes,
                        bool realRate = false);

// The plain stops with each broadcast recorded into a fresh folder, removed afterwards.
struct RecordedStops {
    StopResult stops;      // the audio at about the player's rate
    StopResult fullSpeed;  // the audio as fast as it goes: far more to write than a player makes
    size_t files = 0;  // recordings the folder held, one per stop when all went well
};
RecordedStops MeasureRecordedStops(soak::PlayerHost& host, int cycles);

// The stop with the relay channel option on, against a node that makes the channel at each start:
// from 40008 to idle, and from 40008 to the node's channel gone.
struct RelayStopResult {
    bool ran = false;
    std::string error;
    std::vector<double> stopsMs;
    std::vector<double> endedMs;
};

// The plug-in must be initialised and idle; the option is switched on for the run and off after.
RelayStopResult MeasureRelayStops(soak::PlayerHost& host, int cycles, StandInNode& node);

}  // namespace ombrel::test::bench
