// The DLL's entry points. Everything else is reached through the header record.
#include <windows.h>

#include "plugin/DspModule.h"

extern "C" __declspec(dllexport) DspHeader* __cdecl winampDSPGetHeader2() {
    return ombrel::DspHeaderRecord();
}

// Start-up work belongs to Init: the loader lock is held here.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}
