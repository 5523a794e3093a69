// One drawing pass of the level meter: a black back buffer, the two bars copied from the
// gradient image, and the finished frame copied out in one piece.
#pragma once

#include <windows.h>

namespace ombrel {

// Draws the meter for a width x height area at (0, 0) of target; attenuations in dB.
void RenderMeter(HDC target, int width, int height, double leftAttenuation, double rightAttenuation);

// One pass into the control's client area through the control's own device context.
void DrawMeterInto(HWND control, double leftAttenuation, double rightAttenuation);

}  // namespace ombrel
