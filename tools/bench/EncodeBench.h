// The runtime stand-in's encoding cost: its WMA encoder (the code wmvcore.dll runs on its
// encoding thread) fed the player's 576-frame blocks, timed per second of audio.
#pragma once

#include <string>

namespace ombrel::test::bench {

struct EncodeResult {
    bool ran = false;
    std::string error;
    std::string format;        // the catalogue's description of the format encoded
    double audioSeconds = 0;   // audio encoded in each run
    double msPerSecond = 0;    // wall time per second of 44.1 kHz input
    double cpuMsPerSecond = 0; // thread time per second of 44.1 kHz input
    double resampledMsPerSecond = 0;  // wall time per second of 48 kHz input, resampled
};

EncodeResult MeasureEncoding(double seconds);

}  // namespace ombrel::test::bench
