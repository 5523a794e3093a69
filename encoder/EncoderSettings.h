// How each stream is encoded: forty-two 32-bit words in four consecutive parts.
#pragma once

#include <windows.h>

#include <cstddef>

struct VideoStreamSettings {
    UINT32 codecIndex;
    UINT32 mode;  // 0..4: VBR and pass selection
    UINT32 bitrate;
    UINT32 bufferWindow;  // ms
    INT32 width;
    INT32 height;
    double framesPerSecond;
    BOOL contentTypeExtension;
    UINT32 reserved1[4];
    BOOL pixelAspectRatioExtension;
    UINT32 reserved2[3];
    UINT32 quality;             // 0..100
    UINT32 maxKeyFrameSpacing;  // ms
    UINT32 decoderProfile;      // 0 simple, 1 main, 2 complex
    UINT32 decoderLevel;
    UINT32 complexity;
    UINT32 peakBitrate;
    UINT32 peakBufferWindow;  // ms
    LCID language;
    UINT32 reserved3;
};

struct AudioStreamSettings {
    UINT32 bufferWindow;  // ms
    UINT32 codecIndex;
    UINT32 formatIndex;  // within the enumeration chosen by vbrEnabled and passes
    BOOL vbrEnabled;
    UINT32 passes;
    LCID language;
};

struct ScriptStreamSettings {
    UINT32 bitrate;       // bits per second
    UINT32 bufferWindow;  // ms
    LCID language;
};

struct VideoTimingSettings {
    UINT32 reserved[3];
    UINT32 frameRateShift;  // low five bits used
    BOOL useFrameDuration;
    UINT32 frameDuration;  // 100-ns units per frame
    UINT32 reserved2;
};

struct EncoderSettings {
    VideoStreamSettings video;
    AudioStreamSettings audio;
    ScriptStreamSettings script;
    VideoTimingSettings timing;
};

static_assert(sizeof(VideoStreamSettings) == 26 * 4, "twenty-six words");
static_assert(offsetof(VideoStreamSettings, framesPerSecond) == 6 * 4, "frame rate in words 6 and 7");
static_assert(sizeof(AudioStreamSettings) == 6 * 4, "six words");
static_assert(sizeof(ScriptStreamSettings) == 3 * 4, "three words");
static_assert(sizeof(VideoTimingSettings) == 7 * 4, "seven words");
static_assert(sizeof(EncoderSettings) == 42 * 4, "forty-two words");
static_assert(offsetof(EncoderSettings, audio) == 26 * 4 && offsetof(EncoderSettings, script) == 32 * 4 &&
                  offsetof(EncoderSettings, timing) == 35 * 4,
              "the four parts follow each other without padding");
