// The meter's entry points as the main window and the meter thread call them: both find the
// meter in control 1004 of the main window.
#include "ui/LevelMeter.h"

#include "ui/GradientImage.h"
#include "ui/MainWindow.h"
#include "ui/MeterDrawing.h"
#include "ui/ResourceIds.h"

namespace ombrel {

void BuildGradientImage(HWND mainWindow) {
    BuildGradientImageFor(mainWindow ? ::GetDlgItem(mainWindow, IDC_LEVEL_METER) : nullptr);
}

// The handle is read afresh each pass: the user may close the window at any time, and its
// destruction clears the handle before the gradient image goes.
void DrawMeter(double leftAttenuation, double rightAttenuation) {
    const HWND mainWindow = MainWindowHandle();
    if (mainWindow == nullptr || !::IsWindow(mainWindow)) return;
    DrawMeterInto(::GetDlgItem(mainWindow, IDC_LEVEL_METER), leftAttenuation, rightAttenuation);
}

}  // namespace ombrel
