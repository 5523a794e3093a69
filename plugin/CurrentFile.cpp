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

// The ANSI path the player announces for a UTF-16 one. It converts with WC_NO_BEST_FIT_CHARS
// and the used-default flag, which code page 65001 refuses (an empty text), and gives the 8.3
// form where a name is outside the code page; older players converted as the system does.
bool AnsiPathPairs(const std::string& ansi, const std::wstring& wide) {
    if (ansi.empty()) return true;
    const UINT codePage = ::GetACP();
    if (ansi == WideToCodePage(codePage, wide.data(), wide.size())) return true;
    const int size = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr,
                                           nullptr);
    if (size > 1) {
        std::string strict(static_cast<size_t>(size), '\0');
        ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, &strict[0], size, nullptr, nullptr);
        strict.resize(static_cast<size_t>(size) - 1);
        if (ansi == strict) return true;
    }
    const DWORD shortSize = ::GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (shortSize == 0) return false;
    std::wstring shortPath(shortSize, L'\0');
    const DWORD written = ::GetShortPathNameW(wide.c_str(), &shortPath[0], shortSize);
    if (written == 0 || written >= shortSize) return false;
    shortPath.resize(written);
    return ansi == WideToCodePage(codePage, shortPath.data(), shortPath.size());
}

}  // namespace

bool AnnounceCurrentFile(const std::string& path) {
    PlayingFile fresh{path, std::wstring()};  // allocate outside the lock
    win::CsLock hold(g_lock);
    if (g_wideSeen && !g_ansiSeen && AnsiPathPairs(path, _cCurrentFile.widePath)) {
        g_ansiSeen = true;
        return false;
    }
    _cCurrentFile = std::move(fresh);
    g_ansiSeen = true;
    g_wideSeen = false;
    // An empty path names nothing to read by: the UTF-16 half that follows wakes the worker.
    return !path.empty();
}

bool AnnounceCurrentFileW(const std::wstring& widePath) {
    // The player's ANSI path of the same file is what the system makes of the UTF-16 one.
    PlayingFile fresh{WideToCodePage(::GetACP(), widePath.data(), widePath.size()), widePath};
    win::CsLock hold(g_lock);
    const bool completes = g_ansiSeen && !g_wideSeen && AnsiPathPairs(_cCurrentFile.path, widePath);
    const bool ansiNamedNothing = _cCurrentFile.path.empty();
    _cCurrentFile = std::move(fresh);
    g_wideSeen = true;
    if (completes) return ansiNamedNothing;
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
