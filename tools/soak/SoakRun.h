// One soak broadcast on the player's main thread: started by the main window's command, a
// verifying listener pulling the stream throughout, the feeder on its own thread, a track
// announced every so often of stream time, the sheet and the main window opened and closed
// now and then, and the stop command at the end.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/common/StreamListener.h"
#include "tools/soak/Census.h"
#include "tools/soak/Feeder.h"
#include "tools/soak/PlayerHost.h"

namespace ombrel::test::soak {

struct BroadcastPlan {
    FeedPlan feed;
    double trackSeconds = 180;  // stream time between announced tracks
    DWORD uiEveryMs = 0;        // wall time between user actions; 0: none
    double sampleSeconds = 0;   // stream time between censuses taken while broadcasting; 0: none
};

struct StreamSample {
    double streamHours = 0;
    double wallSeconds = 0;
    Census census;
};

struct BroadcastResult {
    bool started = false;
    std::string startError;  // the failed start's message box
    bool stopped = false;
    double fedSeconds = 0;
    uint64_t blocks = 0;
    int tracks = 0;
    int rateChanges = 0;
    uint64_t modifiedBlocks = 0;
    uint64_t countMismatches = 0;
    bool listenerLost = false;
    double wallSeconds = 0;
    double waitedSeconds = 0;  // the feeder waiting for the listener
    double feederCpuSeconds = 0;
    double listenerCpuSeconds = 0;
    double stopMs = 0;         // the stop command, from sending it to idle
    int sheets = 0;
    int windowsClosed = 0;
    int cancelsRepeated = 0;
    double longestTickGapMs = 0;  // the main thread's longest stretch without a timer tick
    DWORD longestSheetMs = 0;
    DWORD longestReopenMs = 0;
    ListenerReport listener;
    std::vector<StreamSample> samples;  // censuses while broadcasting

    // Everything fed reached the listener: from the stream's first frame to its last.
    bool Complete() const;
};

// Runs on the thread that owns host's window; the plug-in must be initialised and idle.
BroadcastResult RunBroadcast(PlayerHost& host, int port, const BroadcastPlan& plan);

}  // namespace ombrel::test::soak
