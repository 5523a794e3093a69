// Which streams the encoder builds and the PCM format it is fed.
#pragma once

#include <windows.h>

struct InputFormat {
    BOOL videoEnabled;
    INT32 videoWidth;
    INT32 videoHeight;
    INT32 frameRateNumerator;
    INT32 frameRateDenominator;
    UINT32 videoFrameBytes;
    BOOL audioEnabled;
    INT32 sampleRate;
    INT32 channels;
    INT32 bitsPerSample;
    BOOL scriptEnabled;
};

static_assert(sizeof(InputFormat) == 11 * 4, "eleven 32-bit words");
