// Pictures of windows for the README and for checking the user interface by eye: what the
// screen shows inside a window's rectangle, written as a 24-bit BMP file.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

bool CaptureWindowToBmp(HWND window, const std::string& path, std::string* error);

}  // namespace standin
