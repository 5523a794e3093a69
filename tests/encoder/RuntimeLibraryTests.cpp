// Reaching the Windows Media runtime at run time.
#include <gtest/gtest.h>

#include "encoder/WmRuntime.h"

namespace ombrel::test {
namespace {

TEST(RuntimeLibrary, AMissingDllIsAFailureCodeNotACrash) {
    RuntimeLibrary library("ombrel_no_such_runtime.dll");
    FARPROC proc = reinterpret_cast<FARPROC>(0xdeadbeef);
    EXPECT_EQ(static_cast<HRESULT>(0x8007007E), library.Resolve("WMCreateWriter", &proc));
    EXPECT_EQ(nullptr, proc);
    EXPECT_FALSE(library.Loaded());
}

TEST(RuntimeLibrary, AMissingEntryPointIsAFailureCode) {
    RuntimeLibrary library("kernel32.dll");
    FARPROC proc = reinterpret_cast<FARPROC>(0xdeadbeef);
    EXPECT_EQ(static_cast<HRESULT>(0x8007007F), library.Resolve("WMCreateWriterNetworkSink", &proc));
    EXPECT_EQ(nullptr, proc);
    EXPECT_EQ(S_OK, library.Resolve("GetTickCount", &proc));
    EXPECT_NE(nullptr, proc);
}

// The runtime's code stays for the process's life: no holder going away, and no FreeLibrary
// elsewhere (the player unloading the plug-in), unloads it under the runtime's own threads.
TEST(RuntimeLibrary, TheDllStaysLoadedForTheLifeOfTheProcess) {
    // A DLL nothing else in this process loads, so only the library's hold can keep it (a
    // repeated run finds it pinned by the first).
    if (::GetModuleHandleA("cabinet.dll")) GTEST_SKIP() << "cabinet.dll is already loaded";
    {
        RuntimeLibrary library("cabinet.dll");
        FARPROC proc = nullptr;
        ASSERT_EQ(S_OK, library.Resolve("FCICreate", &proc));
        EXPECT_TRUE(library.Loaded());
        EXPECT_EQ(S_OK, library.Resolve("FDICreate", &proc));
    }
    HMODULE module = ::GetModuleHandleA("cabinet.dll");
    ASSERT_NE(nullptr, module);
    for (int i = 0; i < 16; ++i) ::FreeLibrary(module);
    EXPECT_EQ(module, ::GetModuleHandleA("cabinet.dll"));
}

TEST(RuntimeLibrary, NullResultPlacesAreRefused) {
    EXPECT_EQ(E_POINTER, wmruntime::CreateWriter(nullptr, nullptr));
    EXPECT_EQ(E_POINTER, wmruntime::CreateWriterNetworkSink(nullptr));
    EXPECT_EQ(E_POINTER, wmruntime::CreateWriterFileSink(nullptr));
    EXPECT_EQ(E_POINTER, wmruntime::CreateProfileManager(nullptr));
}

// The platform's writer factory, called through the resolved __stdcall pointer: a wrong
// calling convention or argument list would unbalance the stack or fail here.
TEST(RuntimeLibrary, ThePlatformWriterIsCreatedThroughTheResolvedEntryPoint) {
    IWMWriter* writer = reinterpret_cast<IWMWriter*>(0xdeadbeef);
    HRESULT hr = wmruntime::CreateWriter(nullptr, &writer);
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    ASSERT_NE(nullptr, writer);
    IWMWriterAdvanced* advanced = nullptr;
    EXPECT_EQ(S_OK, writer->QueryInterface(IID_IWMWriterAdvanced, reinterpret_cast<void**>(&advanced)));
    if (advanced) advanced->Release();
    EXPECT_EQ(0u, writer->Release());
}

}  // namespace
}  // namespace ombrel::test
