#include "plugin/CurrentFile.h"

#include <windows.h>

#include "text/CodePageChars.h"
#include "win/CriticalSection.h"

namespace ombrel {
namespace {

win::CriticalSection g_lock;
PlayingFile _cCurrentFile;
// Which halves of a pair the record holds.
bool g_ansiSeen = false;
bool g_wideSeen = false;

}  // namespace

bool AnnounceCurrentFile(const std::string& path) {
    PlayingFile fresh{path, std::wstring()};  // allocate outside the lock
    win::CsLock hold(g_lock);
    if (g_wideSeen && !g_ansiSeen && _cCurrentFile.path == path) {
        g_ansiSeen = true;
        return false;
    }
    _cCurrentFile = std::move(fresh);
    g_ansiSeen = true;
    g_wideSeen = false;
    return true;
}

bool AnnounceCurrentFileW(const std::wstring& widePath) {
    // The player's ANSI path of the same file is what the system makes of the UTF-16 one.
    PlayingFile fresh{WideToCodePage(::GetACP(), widePath.data(), widePath.size()), widePath};
    win::CsLock hold(g_lock);
    const bool completes = g_ansiSeen && !g_wideSeen && _cCurrentFile.path == fresh.path;
    _cCurrentFile = std::move(fresh);
    g_wideSeen = true;
    if (completes) return false;
    g_ansiSeen = false;
    return true;
}

void SetCurrentFile(const std::string& path) {
    PlayingFile fresh{path, std::wstring()};
    win::CsLock hold(g_lock);
    _cCurrentFile = std::move(fresh);
    g_ansiSeen = g_wideSeen = false;
}

std::string CurrentFile() {
    win::CsLock hold(g_lock);
    return _cCurrentFile.path;
}

PlayingFile CurrentPlayingFile() {
    win::CsLock hold(g_lock);
    return _cCurrentFile;
}

}  // namespace ombrel
