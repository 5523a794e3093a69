// The player's DSP plug-in records, shared by the plug-in and the player stand-in.
// Their layout is fixed by the player: 32-bit fields, cdecl functions.
#pragma once

#include <windows.h>

struct DspModule;

using DspConfigProc = void(__cdecl*)(DspModule* module);
using DspInitProc = int(__cdecl*)(DspModule* module);
// count is in sample frames; the result is the frame count handed on to the output.
using DspModifySamplesProc = int(__cdecl*)(DspModule* module, short* samples, int count,
                                           int bitsPerSample, int channels, int sampleRate);
using DspQuitProc = void(__cdecl*)(DspModule* module);

struct DspModule {
    char* description;
    HWND hwndParent;         // filled by the player before Init
    HINSTANCE hDllInstance;  // filled by the player before Init
    DspConfigProc Config;
    DspInitProc Init;
    DspModifySamplesProc ModifySamples;
    DspQuitProc Quit;
    void* userData;
};

using DspGetModuleProc = DspModule*(__cdecl*)(int index);

struct DspHeader {
    int version;
    char* description;
    DspGetModuleProc getModule;
    void* reserved;
};

using DspGetHeaderProc = DspHeader*(__cdecl*)();

constexpr int kDspHeaderVersion = 0x20;
constexpr char kDspGetHeaderExport[] = "winampDSPGetHeader2";

static_assert(sizeof(DspModule) == 32, "the player reads eight 32-bit fields");
static_assert(sizeof(DspHeader) == 16, "the player reads four 32-bit fields");
