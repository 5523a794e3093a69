// A DSP module built inside the tests: it records every call the stand-in makes.
#pragma once

#include <windows.h>

#include <vector>

#include "plugin/DspAbi.h"
#include "win/CriticalSection.h"

namespace ombrel::test {

struct BlockCall {
    int count;
    int bits;
    int channels;
    int rate;
    DWORD thread;
};

enum class ModuleBehaviour { PassThrough, InvertFirstByte, HalveCount, FailInit };

class RecordingModule {
public:
    explicit RecordingModule(ModuleBehaviour behaviour = ModuleBehaviour::PassThrough);
    DspModule* Module() { return &module_; }

    std::vector<BlockCall> Calls() const;
    size_t CallCount() const;

    int initCalls = 0;
    int configCalls = 0;
    int quitCalls = 0;
    DWORD initThread = 0;
    DWORD configThread = 0;
    DWORD quitThread = 0;
    HWND parentAtInit = nullptr;
    HINSTANCE instanceAtInit = nullptr;

private:
    static RecordingModule& Of(DspModule* m) { return *static_cast<RecordingModule*>(m->userData); }
    static void __cdecl Config(DspModule* m);
    static int __cdecl Init(DspModule* m);
    static int __cdecl ModifySamples(DspModule* m, short* samples, int count, int bits,
                                     int channels, int rate);
    static void __cdecl Quit(DspModule* m);

    ModuleBehaviour behaviour_;
    DspModule module_{};
    mutable win::CriticalSection lock_;
    std::vector<BlockCall> calls_;
};

}  // namespace ombrel::test
