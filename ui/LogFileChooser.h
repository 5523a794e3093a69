// The play log's file chooser behind the "..." button of the output page.
#pragma once

#include <windows.h>

namespace ombrel {

// Runs the save-file dialog owned by page, starting from the text of field; a confirmed path
// replaces that text. Nothing is stored and no file is created or opened here.
void ChooseLogFile(HWND page, int fieldId);

}  // namespace ombrel
