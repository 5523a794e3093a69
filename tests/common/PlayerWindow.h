// A player's main window for the plug-in to talk to or to own its windows, in the test process.
#pragma once

#include <windows.h>

#include "win/UniqueAny.h"

namespace ombrel::test {

// A window of its own class answering the plug-in's requests as a player would, through
// procedure: a player that behaves in one particular way.
inline win::UniqueWindow CreatePlayerWindow(WNDPROC procedure, const char* className) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    ::RegisterClassA(&wc);
    return win::UniqueWindow(::CreateWindowA(className, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr));
}

// A plain visible top-level window in the player's place, owner of the plug-in's windows.
inline win::UniqueWindow CreateOwnerWindow() {
    return win::UniqueWindow(::CreateWindowExA(0, "STATIC", "Player stand-in", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30,
                                               400, 300, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr));
}

}  // namespace ombrel::test
