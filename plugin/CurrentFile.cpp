#include "plugin/CurrentFile.h"

#include "win/CriticalSection.h"

namespace ombrel {
namespace {

win::CriticalSection g_lock;
std::string _cCurrentFile;

}  // namespace

void SetCurrentFile(const std::string& path) {
    std::string copy = path;  // allocate outside the lock
    win::CsLock hold(g_lock);
    _cCurrentFile.swap(copy);
}

std::string CurrentFile() {
    win::CsLock hold(g_lock);
    return _cCurrentFile;
}

}  // namespace ombrel
