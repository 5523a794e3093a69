#include "ui/AboutBox.h"

namespace ombrel {

void RunAboutBox(HINSTANCE, HWND) {}

}  // namespace ombrel
