// The recording folder's chooser behind the 参照... button of the output page.
#pragma once

#include <windows.h>

namespace ombrel {

// Runs the system's folder chooser owned by page, opened at the folder field shows; a chosen
// folder replaces the field's text. Nothing is stored and no folder is made or opened here.
void ChooseArchiveFolder(HWND page, int fieldId);

}  // namespace ombrel
