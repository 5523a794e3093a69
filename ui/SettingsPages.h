// The dialog procedures of the settings sheet's five pages, in the sheet's order.
#pragma once

#include <windows.h>

namespace ombrel {

INT_PTR CALLBACK CodecPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OutputPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AttributesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ScriptPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PeerCastPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace ombrel
