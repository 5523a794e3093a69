#include "plugin/SettingsMove.h"

#include <windows.h>

#include "win/UniqueAny.h"

namespace ombrel {

std::wstring SettingsMoveValueName(const std::wstring& oldFile) {
    // The same file however its path was spelled in letter case.
    std::wstring name = oldFile;
    if (!name.empty()) ::CharLowerBuffW(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

bool SettingsHaveMoved(const std::wstring& oldFile) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsMoveKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return false;
    const win::UniqueRegistryKey key(opened);
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    const LONG result = ::RegQueryValueExW(key.get(), SettingsMoveValueName(oldFile).c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(&value), &size);
    return result == ERROR_SUCCESS && type == REG_DWORD && value != 0;
}

void RecordSettingsMoved(const std::wstring& oldFile) {
    if (SettingsHaveMoved(oldFile)) return;
    HKEY created = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsMoveKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created,
                          nullptr) != ERROR_SUCCESS)
        return;
    const win::UniqueRegistryKey key(created);
    const DWORD moved = 1;
    ::RegSetValueExW(key.get(), SettingsMoveValueName(oldFile).c_str(), 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&moved), sizeof moved);
}

}  // namespace ombrel
