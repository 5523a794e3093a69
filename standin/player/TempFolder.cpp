#include "standin/player/TempFolder.h"

#include <windows.h>

#include "standin/player/WideText.h"
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

// The built-in playlist has names outside the system code page.
TempFolder::~TempFolder() {
    if (path_.empty()) return;
    const std::wstring folder = WideFromAnsi(path_);
    WIN32_FIND_DATAW found;
    win::UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (find) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ::DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        } while (::FindNextFileW(find.get(), &found));
    }
    find.reset();
    ::RemoveDirectoryW(folder.c_str());
}

std::string TempFolder::File(const std::string& name) const { return path_ + "\\" + name; }

}  // namespace standin
