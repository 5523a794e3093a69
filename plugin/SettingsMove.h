// Whether the settings beside the DLL have once been taken over into the player's settings folder.
// The record cannot sit in either settings file: the old one's folder refuses writes, and the new
// one is exactly what a broadcaster deletes to start over, which must then give the defaults
// rather than the old file again. So it lives under the user's registry key, one value per old
// file, the same user whose settings folder the player names.
#pragma once

#include <string>

namespace ombrel {

bool SettingsHaveMoved(const std::wstring& oldFile);
void RecordSettingsMoved(const std::wstring& oldFile);
// For tests, and for anyone cleaning up by hand: the key and the value name for oldFile.
constexpr wchar_t kSettingsMoveKey[] = L"Software\\Ombrel\\dsp_ombrel\\Moved settings";
std::wstring SettingsMoveValueName(const std::wstring& oldFile);

}  // namespace ombrel
