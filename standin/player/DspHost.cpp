#include "standin/player/DspHost.h"

namespace standin {
namespace {

std::string SafeText(const char* text) {
    if (text == nullptr || ::IsBadStringPtrA(text, 4096)) return std::string();
    return text;
}

}  // namespace

bool DspHost::Load(const std::string& dllPath, HWND mainWindow, std::string* error) {
    Unload();
    win::UniqueModule dll(::LoadLibraryA(dllPath.c_str()));
    if (!dll) {
        *error = "cannot load " + dllPath + " (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    auto getHeader = reinterpret_cast<DspGetHeaderProc>(
        reinterpret_cast<void*>(::GetProcAddress(dll.get(), kDspGetHeaderExport)));
    if (getHeader == nullptr) {
        *error = dllPath + " has no " + kDspGetHeaderExport + " export";
        return false;
    }
    DspHeader* header = getHeader();
    if (header == nullptr || header->getModule == nullptr) {
        *error = dllPath + " returned no header";
        return false;
    }
    headerVersion_ = header->version;
    headerDescription_ = SafeText(header->description);
    DspModule* module = header->getModule(0);
    if (!InitModule(module, reinterpret_cast<HINSTANCE>(dll.get()), mainWindow, error))
        return false;
    dll_ = std::move(dll);
    return true;
}

bool DspHost::Attach(DspModule* module, HINSTANCE instance, HWND mainWindow, std::string* error) {
    Unload();
    headerVersion_ = kDspHeaderVersion;
    headerDescription_.clear();
    return InitModule(module, instance, mainWindow, error);
}

bool DspHost::InitModule(DspModule* module, HINSTANCE instance, HWND mainWindow,
                         std::string* error) {
    if (module == nullptr || module->Init == nullptr || module->ModifySamples == nullptr ||
        module->Quit == nullptr) {
        *error = "module 0 is missing or lacks Init, ModifySamples or Quit";
        return false;
    }
    moduleDescription_ = SafeText(module->description);
    module->hwndParent = mainWindow;
    module->hDllInstance = instance;
    const int result = module->Init(module);
    if (result != 0) {
        *error = "Init answered " + std::to_string(result);
        return false;
    }
    active_ = module;
    return true;
}

void DspHost::Config() {
    DspModule* module = active_.load();
    if (module != nullptr && module->Config != nullptr) module->Config(module);
}

void DspHost::Unload() {
    DspModule* module = active_.exchange(nullptr);
    if (module != nullptr) module->Quit(module);
    dll_.reset();
}

int DspHost::ModifySamples(void* samples, int count, int bitsPerSample, int channels,
                           int sampleRate) {
    DspModule* module = active_.load();
    if (module == nullptr) return count;
    return module->ModifySamples(module, static_cast<short*>(samples), count, bitsPerSample,
                                 channels, sampleRate);
}

}  // namespace standin
