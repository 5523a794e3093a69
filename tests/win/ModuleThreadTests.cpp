// A thread that holds its module: it runs, hands back its exit code, and a body that throws
// ends the thread instead of the process.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>

#include "win/ModuleThread.h"

namespace ombrel::test {
namespace {

DWORD WINAPI ReturnArgument(LPVOID arg) { return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(arg)); }

DWORD WINAPI Throw(LPVOID) { throw std::runtime_error("thrown on the thread"); }

DWORD ExitCodeOf(const win::UniqueThread& thread) {
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.get(), 5000));
    DWORD code = 0xdeadbeef;
    EXPECT_TRUE(::GetExitCodeThread(thread.get(), &code));
    return code;
}

TEST(ModuleThread, RunsTheBodyAndEndsWithItsExitCode) {
    win::UniqueThread thread = win::StartModuleThread(ReturnArgument, reinterpret_cast<void*>(42));
    ASSERT_TRUE(thread);
    EXPECT_EQ(42u, ExitCodeOf(thread));
}

TEST(ModuleThread, AnExceptionEndsTheThreadWithCodeOne) {
    win::UniqueThread thread = win::StartModuleThread(Throw, nullptr);
    ASSERT_TRUE(thread);
    EXPECT_EQ(1u, ExitCodeOf(thread));
}

}  // namespace
}  // namespace ombrel::test
