// The About box: dialog 110, modal, naming the plug-in and its version.
#pragma once

#include <windows.h>

namespace ombrel {

// Runs dialog 110 from instance with owner as its parent; returns when it closes.
void RunAboutBox(HINSTANCE instance, HWND owner);

}  // namespace ombrel
