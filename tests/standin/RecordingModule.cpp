#include "tests/standin/RecordingModule.h"

namespace ombrel::test {

RecordingModule::RecordingModule(ModuleBehaviour behaviour) : behaviour_(behaviour) {
    static char description[] = "Recording test module";
    module_.description = description;
    module_.Config = &Config;
    module_.Init = &Init;
    module_.ModifySamples = &ModifySamples;
    module_.Quit = &Quit;
    module_.userData = this;
}

std::vector<BlockCall> RecordingModule::Calls() const {
    win::CsLock hold(lock_);
    return calls_;
}

size_t RecordingModule::CallCount() const {
    win::CsLock hold(lock_);
    return calls_.size();
}

void __cdecl RecordingModule::Config(DspModule* m) {
    ++Of(m).configCalls;
    Of(m).configThread = ::GetCurrentThreadId();
}

int __cdecl RecordingModule::Init(DspModule* m) {
    RecordingModule& self = Of(m);
    ++self.initCalls;
    self.initThread = ::GetCurrentThreadId();
    self.parentAtInit = m->hwndParent;
    self.instanceAtInit = m->hDllInstance;
    return self.behaviour_ == ModuleBehaviour::FailInit ? 1 : 0;
}

int __cdecl RecordingModule::ModifySamples(DspModule* m, short* samples, int count, int bits,
                                           int channels, int rate) {
    RecordingModule& self = Of(m);
    {
        win::CsLock hold(self.lock_);
        self.calls_.push_back({count, bits, channels, rate, ::GetCurrentThreadId()});
    }
    if (self.behaviour_ == ModuleBehaviour::InvertFirstByte) {
        auto* bytes = reinterpret_cast<unsigned char*>(samples);
        bytes[0] = static_cast<unsigned char>(~bytes[0]);
    }
    if (self.behaviour_ == ModuleBehaviour::HalveCount) return count / 2;
    return count;
}

void __cdecl RecordingModule::Quit(DspModule* m) {
    ++Of(m).quitCalls;
    Of(m).quitThread = ::GetCurrentThreadId();
}

}  // namespace ombrel::test
