// A thread that may outlive the caller's wait: it holds its own reference on the module whose
// code it runs and gives it back with FreeLibraryAndExitThread, so a player that frees the DLL
// while the thread is still blocked in a socket call (a firewall holding it, say) does not pull
// the code from under it. Both calls exist on Windows XP.
#pragma once

#include <windows.h>

#include <new>

#include "win/ExceptionFirewall.h"
#include "win/UniqueAny.h"

namespace win {

namespace module_thread_detail {

struct Start {
    LPTHREAD_START_ROUTINE proc;
    void* arg;
    HMODULE module;
};

inline DWORD WINAPI Run(LPVOID parameter) {
    const Start start = *static_cast<Start*>(parameter);
    delete static_cast<Start*>(parameter);
    const DWORD code = Firewall(DWORD{1}, [&] { return start.proc(start.arg); });
    ::FreeLibraryAndExitThread(start.module, code);
    return code;  // not reached
}

}  // namespace module_thread_detail

// Starts proc(arg) on a new thread that keeps this module loaded until proc returns. Returns the
// thread's handle, or an empty owner when the reference or the thread could not be had (proc
// then never runs and arg stays the caller's).
inline UniqueThread StartModuleThread(LPTHREAD_START_ROUTINE proc, void* arg) noexcept {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&module_thread_detail::Run), &module))
        return UniqueThread();
    auto* start = new (std::nothrow) module_thread_detail::Start{proc, arg, module};
    if (!start) {
        ::FreeLibrary(module);
        return UniqueThread();
    }
    UniqueThread thread(::CreateThread(nullptr, 0, module_thread_detail::Run, start, 0, nullptr));
    if (!thread) {
        delete start;
        ::FreeLibrary(module);
    }
    return thread;
}

}  // namespace win
