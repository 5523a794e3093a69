// The player's side of the DSP plug-in records: loads the DLL (or takes a module a test built),
// fills in the module, and calls Init, Config, ModifySamples and Quit.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "plugin/DspAbi.h"
#include "win/UniqueAny.h"

namespace standin {

class DspHost {
public:
    DspHost() = default;
    ~DspHost() { Unload(); }
    DspHost(const DspHost&) = delete;
    DspHost& operator=(const DspHost&) = delete;

    // Both run Init on the calling thread, which must own mainWindow.
    bool Load(const std::string& dllPath, HWND mainWindow, std::string* error);
    bool Attach(DspModule* module, HINSTANCE instance, HWND mainWindow, std::string* error);

    bool IsLoaded() const { return active_.load() != nullptr; }
    const std::string& HeaderDescription() const { return headerDescription_; }
    const std::string& ModuleDescription() const { return moduleDescription_; }
    int HeaderVersion() const { return headerVersion_; }

    void Config();
    // Quit once, then FreeLibrary; nothing may be playing.
    void Unload();

    // Audio thread: the frame count handed on, or count itself when no module is loaded.
    int ModifySamples(void* samples, int count, int bitsPerSample, int channels, int sampleRate);

private:
    bool InitModule(DspModule* module, HINSTANCE instance, HWND mainWindow, std::string* error);

    win::UniqueModule dll_;
    std::atomic<DspModule*> active_{nullptr};
    std::string headerDescription_;
    std::string moduleDescription_;
    int headerVersion_ = 0;
};

}  // namespace standin
