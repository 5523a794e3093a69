// The rebar across the top of the main window and the toolbar in its one band: five buttons
// with 48x48 images from bitmap 107 and code page 932 tooltips.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "win/GdiWrappers.h"
#include "win/UniqueAny.h"

namespace ombrel {

struct MainToolbar {
    win::UniqueWindow rebar;
    win::UniqueWindow toolbar;
    win::UniqueImageList images;
};

// Builds the rebar, the toolbar with its image list and buttons, and the band that holds it.
// A part that cannot be created is left out.
MainToolbar CreateMainToolbar(HWND dialog, HINSTANCE instance);

// The tooltip of a toolbar command (code page 932), or null for any other id.
const char* ToolbarTooltip(UINT_PTR commandId);

// Answers the toolbar's ANSI need-text notification for the five commands; false for others.
bool FillToolbarTooltip(NMTTDISPINFOA* info);

}  // namespace ombrel
