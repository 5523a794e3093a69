// Files and folders of a test run.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "win/UniqueAny.h"

namespace ombrel::test {

// The folder of this executable, where the built DLLs lie beside it.
inline std::string ExeFolder() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/"));
}

inline std::string ReadWholeFile(const std::string& path) {
    std::string text;
    win::UniqueFile file(
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return text;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
    return text;
}

inline bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    win::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

inline bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Every file of folder, then the folder; nothing when folder is empty.
// Names outside the system code page included.
inline void RemoveFolder(const std::string& folder) {
    if (folder.empty()) return;
    std::wstring wide(folder.size() + 1, L'\0');
    wide.resize(size_t(::MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, &wide[0], int(wide.size())) - 1));
    WIN32_FIND_DATAW found{};
    {
        win::UniqueFind find(::FindFirstFileW((wide + L"\\*").c_str(), &found));
        if (find) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    ::DeleteFileW((wide + L"\\" + found.cFileName).c_str());
            } while (::FindNextFileW(find.get(), &found));
        }
    }
    ::RemoveDirectoryW(wide.c_str());
}

// A new folder under the user's temp folder, removed with its files at the end.
class TempFolder {
public:
    TempFolder() {
        static std::atomic<unsigned> counter{0};
        char temp[MAX_PATH] = "";
        ::GetTempPathA(MAX_PATH, temp);
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate = std::string(temp) + "ombrel_settings_" +
                                          std::to_string(::GetCurrentProcessId()) + "_" +
                                          std::to_string(counter++);
            if (::CreateDirectoryA(candidate.c_str(), nullptr)) path_ = candidate;
        }
    }
    ~TempFolder() { RemoveFolder(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool Created() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    std::string File(const char* name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

}  // namespace ombrel::test
