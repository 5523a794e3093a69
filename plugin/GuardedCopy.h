// Copies text through a pointer that another module handed us and that may be bad.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

// The longest text taken from the player: the longest path the system knows (32767
// characters) plus its terminator.
constexpr size_t kGuardedCopyLimit = 32768;

// Reads the zero-terminated text at from into *to, at most limit bytes including the
// terminator. The system does the reading (ReadProcessMemory on this process), so a pointer
// into unmapped or protected memory gives false instead of a fault; so does text without a
// terminator within the limit. *to is left empty on failure.
bool CopyStringGuarded(const char* from, std::string* to, size_t limit = kGuardedCopyLimit);

}  // namespace ombrel
