// Small helpers shared by the plug-in tests.
#pragma once

#include <windows.h>
#include <tlhelp32.h>
#include <winsock.h>

#include <string>

#include "win/UniqueAny.h"
#include "win/UniqueSocket.h"

namespace testing_support {

// Threads of this process right now.
inline int CountProcessThreads() {
    // A snapshot, like a file, is INVALID_HANDLE_VALUE when it failed.
    win::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    DWORD self = ::GetCurrentProcessId();
    for (BOOL ok = ::Thread32First(snapshot.get(), &entry); ok; ok = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == self) ++count;
    }
    return count;
}

// Dispatches this thread's messages for ms milliseconds, or until done() holds. The keyboard
// messages of the modeless dialog that dialog() names go through IsDialogMessage, as a host
// that supports modeless dialogs dispatches them.
template <typename Done, typename Dialog>
bool PumpUntil(DWORD ms, Done done, Dialog dialog) {
    DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            HWND window = dialog();
            if (window && ::IsDialogMessageA(window, &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (done()) return true;
        if (::GetTickCount() - start >= ms) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

template <typename Done>
bool PumpUntil(DWORD ms, Done done) {
    return PumpUntil(ms, done, [] { return HWND(nullptr); });
}

inline void Pump(DWORD ms) {
    PumpUntil(ms, [] { return false; });
}

inline std::string ExeFolder() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/"));
}

inline std::string ReadWholeFile(const std::string& path) {
    std::string text;
    win::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return text;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
    return text;
}

inline bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A window of its own class answering the plug-in's requests as a player would, through
// procedure: a player that behaves in one particular way.
inline win::UniqueWindow CreatePlayerWindow(WNDPROC procedure, const char* className) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    ::RegisterClassA(&wc);
    return win::UniqueWindow(::CreateWindowA(className, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr));
}

// Whether something accepts a connection on 127.0.0.1:port.
inline bool ConnectsOnLoopback(int port) {
    win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    address.sin_port = ::htons(static_cast<u_short>(port));
    return s && ::connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace testing_support
