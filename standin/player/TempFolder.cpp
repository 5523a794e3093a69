#include "standin/player/TempFolder.h"

#include <windows.h>

#include "win/UniqueAny.h"

namespace standin {

TempFolder::TempFolder(const std::string& prefix) {
    char temp[MAX_PATH];
    const DWORD n = ::GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) return;
    // Process id and a counter keep parallel test runs and repeated folders apart.
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = std::string(temp) + prefix + "-" +
                                      std::to_string(::GetCurrentProcessId()) + "-" +
                                      std::to_string(::InterlockedIncrement(&counter));
        if (::CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
}

TempFolder::~TempFolder() {
    if (path_.empty()) return;
    WIN32_FIND_DATAA found;
    win::UniqueFind find(::FindFirstFileA((path_ + "\\*").c_str(), &found));
    if (find) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ::DeleteFileA(File(found.cFileName).c_str());
        } while (::FindNextFileA(find.get(), &found));
    }
    find.reset();
    ::RemoveDirectoryA(path_.c_str());
}

std::string TempFolder::File(const std::string& name) const { return path_ + "\\" + name; }

}  // namespace standin
