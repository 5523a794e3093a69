#include "ui/SettingsSheet.h"

namespace ombrel {

void RunSettingsSheet(HINSTANCE, HWND) {}
void CloseSettingsSheet() {}

}  // namespace ombrel
