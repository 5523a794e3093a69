// The level meter's cost: one drawing pass into the real main window's control 1004 (timed
// in a loop, wall and thread time), and the meter thread's own share of one core while the
// player plays, taken from GetThreadTimes on that thread. The copies to the screen are the X
// server's work under Wine: its processor time over the same stretch is read from /proc.
#pragma once

#include <string>

#include "tools/bench/Timing.h"
#include "tools/soak/PlayerHost.h"

namespace ombrel::test::bench {

struct MeterResult {
    bool ran = false;
    std::string error;
    int width = 0;
    int height = 0;
    Distribution pass;       // wall time of each pass
    double passCpuUs = 0;    // thread time per pass, over the loop
    bool threadFound = false;
    double seconds = 0;      // the meter thread's measured stretch
    long passes = 0;
    double threadCpuMs = 0;
    double share = 0;        // of one core, 0..1
    double xServerCpuMs = -1;  // the X server's processor time over the same stretch; -1: unknown
};

// The plug-in must be initialised with its main window open and idle; leaves the player
// answering "playing".
MeterResult MeasureMeter(soak::PlayerHost& host, int loopPasses, DWORD threadSeconds);

}  // namespace ombrel::test::bench
