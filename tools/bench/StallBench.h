// The audio thread under load: ModifySamples over a million blocks and more fed as fast as
// possible while the song worker sends a title every 50 ms, the PeerCast node never answers,
// the meter draws about thirty times a second and the main window's monitor polls; with the
// runtime stand-in, listeners come and go as well. The same thread times the floor operation
// after every block: what both show alike is the scheduler, not the plug-in. Calls longer than
// half a millisecond are sampled for where they were.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/bench/Timing.h"
#include "tools/soak/PlayerHost.h"

namespace ombrel::test::bench {

struct Stall {
    double atSeconds;   // from the start of the run
    double modifyUs;    // the ModifySamples call
    double controlUs;   // the floor operation right after it
};

enum class StallRuntime {
    kFake,     // the fake runtime with the copying writer: the plug-in's own share
    kStandIn,  // the runtime stand-in with its network sink and listeners
};

struct StallResult {
    bool ran = false;
    StallRuntime runtime = StallRuntime::kStandIn;
    std::string error;
    Distribution modify;
    Distribution control;
    size_t blocks = 0;
    double wallSeconds = 0;
    int titleAnnouncements = 0;
    int trackChanges = 0;      // each one a PeerCast request the node never answers
    long long scriptsWritten = -1;  // script samples the runtime got (fake runtime only)
    int listenerSessions = 0;  // connections opened
    int listenersDropped = 0;  // closed by the sink (too slow) before the listener left
    long meterPasses = 0;
    std::vector<Stall> worst;  // the longest calls, longest first
    int samples = 0;           // long calls sampled
    std::vector<std::pair<int, std::string>> where;  // the most frequent call chains sampled
};

// The plug-in must be initialised and idle, its PeerCast settings aimed at a node that never
// answers; leaves it idle.
StallResult MeasureStalls(soak::PlayerHost& host, int port, size_t blocks, StallRuntime runtime);

}  // namespace ombrel::test::bench
