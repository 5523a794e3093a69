// Text put on the clipboard, as the user's copy command does.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

// Replaces the clipboard's contents with text (CF_UNICODETEXT; Windows gives the other text
// formats from it). False when the clipboard could not be had or text is empty.
bool CopyTextToClipboard(HWND owner, const std::wstring& text);

}  // namespace ombrel
