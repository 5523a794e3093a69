// Copies text through a pointer that another module handed us and that may be bad.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

// The longest text taken from the player: the longest path the system knows (32767
// characters) plus its terminator.
constexpr size_t kGuardedCopyLimit = 32768;

// Reads the zero-terminated text at from into *to, at most limit bytes including the
// terminator. Every byte is read only after the system has confirmed that its page is
// committed and readable (and not a guard page), so a pointer into unmapped or protected
// memory gives false instead of a fault; so does text without a terminator within the
// limit. *to is left empty on failure.
//
// Without structured exception handling in this compiler, this is a check before the read:
// memory the owner frees between the check and the read would still fault. The player's
// pointers stay valid while it sends us the message that carries them, so what this guards
// against is a pointer that was never good.
bool CopyStringGuarded(const char* from, std::string* to, size_t limit = kGuardedCopyLimit);

// The same for UTF-16 text; limit counts characters including the terminator.
bool CopyWideStringGuarded(const wchar_t* from, std::wstring* to, size_t limit = kGuardedCopyLimit);

}  // namespace ombrel
