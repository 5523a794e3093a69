#pragma once

// How the plug-in names itself: the player's plug-in list, message box captions, the stream's
// "WM/EncodedBy" and "WM/Publisher".
constexpr char kProductName[] = "Ombrel DSP plugin v1.05";
