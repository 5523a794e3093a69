#include "ui/MainWindow.h"

namespace ombrel {

void OpenMainWindow(HINSTANCE, HWND) {}
void CloseMainWindow() {}
HWND MainWindowHandle() { return nullptr; }
HINSTANCE MainWindowInstance() { return nullptr; }
void ShowScriptText(const char*) {}

}  // namespace ombrel
