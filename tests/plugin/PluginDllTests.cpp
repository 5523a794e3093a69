// The built dsp_ombrel.dll, loaded by the player stand-in exactly as the player loads it.
// Each test works on its own copy of the DLL in a fresh folder, where it keeps its settings.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "plugin/DspAbi.h"
#include "standin/player/DefaultPlaylist.h"
#include "standin/player/Player.h"
#include "tests/common/Files.h"
#include "tests/common/Loopback.h"
#include "tests/common/MessagePump.h"
#include "tests/common/ProcessThreads.h"
#include "tests/common/StandInNode.h"
#include "ui/ResourceIds.h"

namespace ombrel::test {
namespace {

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
std::string Narrow(const wchar_t* text) { return std::string(text, text + std::wcslen(text)); }

class PluginDll : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "ombrel_dll_" + std::to_string(::GetCurrentProcessId()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::CreateDirectoryA(folder_.c_str(), nullptr);
        dll_ = folder_ + "\\dsp_ombrel.dll";
        ASSERT_TRUE(::CopyFileA((ExeFolder() + "\\dsp_ombrel.dll").c_str(), dll_.c_str(), FALSE))
            << "no dsp_ombrel.dll beside the test executable";
        ini_ = folder_ + "\\dsp_ombrel.ini";
    }
    void TearDown() override {
        for (const char* name : {"dsp_ombrel.dll", "dsp_ombrel.ini"})
            ::DeleteFileA((folder_ + "\\" + name).c_str());
        for (const std::string& track : tracks_) ::DeleteFileA(track.c_str());
        ::RemoveDirectoryA(folder_.c_str());
    }

    standin::PlayerOptions FastPlaylist() {
        std::string error;
        tracks_ = standin::WriteDefaultPlaylist(folder_, &error);
        EXPECT_FALSE(tracks_.empty()) << error;
        standin::PlayerOptions options;
        options.files = tracks_;
        options.realtime = false;
        options.verify = true;
        return options;
    }

    std::string folder_;
    std::string dll_;
    std::string ini_;
    std::vector<std::string> tracks_;
};

// What Explorer shows on the DLL's Details page: the product, its version, a description and
// the copyright, in the language the version block announces.
TEST_F(PluginDll, VersionInformationNamesTheProductItsVersionAndCopyright) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(Wide(dll_).c_str(), &ignored);
    ASSERT_GT(size, 0u) << ::GetLastError();
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(Wide(dll_).c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);  // 1.0
    EXPECT_EQ(0x00050000u, fixed->dwFileVersionLS);  // .5.0
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(DWORD(VFT_DLL), fixed->dwFileType);
    WORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                 &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(0x0411, translation[0]);
    EXPECT_EQ(1200, translation[1]);
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } rows[] = {
        {L"ProductName", L"Ombrel DSP plugin"},
        {L"ProductVersion", L"1.05"},
        {L"FileVersion", L"1.05"},
        {L"FileDescription", L"Ombrel DSP plugin v1.05"},
        {L"OriginalFilename", L"dsp_ombrel.dll"},
        {L"LegalCopyright", L"Copyright (C) 2026 Ombrel developers"},
    };
    for (const auto& row : rows) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\041104b0\\") + row.name;
        wchar_t* value = nullptr;
        EXPECT_TRUE(::VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
            << Narrow(row.name);
        if (value) {
            EXPECT_EQ(std::wstring(row.value), std::wstring(value)) << Narrow(row.name);
        }
    }
}

TEST_F(PluginDll, HeaderAndModuleRecordsAreThePlayers) {
    HMODULE dll = ::LoadLibraryA(dll_.c_str());
    ASSERT_NE(nullptr, dll);
    auto getHeader = reinterpret_cast<DspGetHeaderProc>(
        reinterpret_cast<void*>(::GetProcAddress(dll, kDspGetHeaderExport)));
    ASSERT_NE(nullptr, getHeader);

    DspHeader* header = getHeader();
    ASSERT_NE(nullptr, header);
    EXPECT_EQ(header, getHeader()) << "the header is one static record";
    EXPECT_EQ(0x20, header->version);
    EXPECT_STREQ("Ombrel DSP plugin v1.05", header->description);
    EXPECT_EQ(nullptr, header->reserved);

    DspModule* module = header->getModule(0);
    ASSERT_NE(nullptr, module);
    EXPECT_STREQ("Ombrel DSP plugin v1.05", module->description);
    EXPECT_NE(header->description, module->description) << "each record has its own copy";
    EXPECT_EQ(nullptr, module->hwndParent);
    EXPECT_EQ(nullptr, module->hDllInstance);
    EXPECT_NE(nullptr, module->Config);
    EXPECT_NE(nullptr, module->Init);
    EXPECT_NE(nullptr, module->ModifySamples);
    EXPECT_NE(nullptr, module->Quit);
    EXPECT_EQ(nullptr, module->userData);
    EXPECT_EQ(module, header->getModule(0));
    for (int index : {1, 2, -1, 0x7FFFFFFF}) EXPECT_EQ(nullptr, header->getModule(index)) << index;

    ::FreeLibrary(dll);
    EXPECT_FALSE(FileExists(ini_)) << "loading alone must not touch the settings";
}

TEST_F(PluginDll, InitThenQuitLeavesNothingRunningAndWritesTheSettings) {
    standin::Player player(standin::PlayerOptions{});
    int threadsBefore = CountProcessThreads();

    std::string error;
    ASSERT_TRUE(player.LoadPlugin(dll_, &error)) << error;
    EXPECT_EQ(0x20, player.Plugin().HeaderVersion());
    EXPECT_EQ("Ombrel DSP plugin v1.05", player.Plugin().ModuleDescription());
    EXPECT_EQ(threadsBefore + 1, CountProcessThreads()) << "the meter thread runs from Init";
    Pump(300);
    player.UnloadPlugin();

    EXPECT_EQ(threadsBefore, CountProcessThreads());
    // The DLL is gone now: a hook or timer left behind would call into freed code.
    ::SendMessageA(player.Window(), WM_USER, 0, 104);
    ::PostMessageA(player.Window(), WM_NULL, 0, 0);
    Pump(2500);

    std::string text = ReadWholeFile(ini_);
    int keys = 0;
    for (char c : text) keys += c == '=';
    EXPECT_EQ(32, keys) << text;
}

TEST_F(PluginDll, PlayingHandsEveryBlockBackUntouched) {
    standin::Player player(FastPlaylist());
    std::string error;
    ASSERT_TRUE(player.LoadPlugin(dll_, &error)) << error;
    player.Play();
    EXPECT_EQ(standin::PumpResult::Done, player.PumpUntilPlaylistEnds(60000));
    standin::StatisticsSnapshot stats = player.Stats();
    EXPECT_GT(stats.blocks, 100u) << "tracks started " << stats.tracksStarted << ", skipped " << stats.tracksSkipped;
    EXPECT_EQ(0u, stats.countMismatches);
    EXPECT_EQ(0u, stats.modifiedBlocks);
    EXPECT_EQ(tracks_.size(), stats.tracksAnnounced);
    player.UnloadPlugin();
    EXPECT_TRUE(FileExists(ini_));
}

TEST_F(PluginDll, MalformedBlocksAreHandedBackUntouched) {
    standin::Player player(standin::PlayerOptions{});
    std::string error;
    ASSERT_TRUE(player.LoadPlugin(dll_, &error)) << error;
    auto getHeader = reinterpret_cast<DspGetHeaderProc>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA(dll_.c_str()), kDspGetHeaderExport)));
    ASSERT_NE(nullptr, getHeader);
    DspModule* module = getHeader()->getModule(0);

    const struct {
        const char* what;
        int count, bits, channels, rate;
        bool nullSamples;
    } cases[] = {
        {"sample rate 0", 576, 16, 2, 0, false},
        {"no channels", 576, 16, 0, 44100, false},
        {"20-bit samples", 576, 20, 2, 44100, false},
        {"null samples", 576, 16, 2, 44100, true},
        {"negative count", -576, 16, 2, 44100, false},
        {"count past the block", 0x40000000, 16, 2, 44100, false},
    };
    std::vector<unsigned char> block(576 * 4);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 13 + 1);
    const std::vector<unsigned char> original = block;
    for (const auto& c : cases) {
        void* samples = c.nullSamples ? nullptr : block.data();
        EXPECT_EQ(c.count, module->ModifySamples(module, static_cast<short*>(samples), c.count, c.bits,
                                                 c.channels, c.rate))
            << c.what;
        EXPECT_TRUE(block == original) << c.what;
    }
    player.UnloadPlugin();
}

// The plug-in's code is compiled against Windows XP's declarations, as this test is: a record of
// a later Windows (the rebar band's chevron fields of Vista) cannot slip into it unnoticed.
TEST(PluginBuild, SeesWindowsXpDeclarationsOnly) {
    EXPECT_EQ(_WIN32_WINNT, 0x0501);
    EXPECT_EQ(sizeof(REBARBANDINFOA), size_t(REBARBANDINFOA_V6_SIZE));
}

// A firewall that holds one socket call of the plug-in for 4 s, longer than Quit waits for the
// relay's end: the loaded DLL's import of select is pointed at a wait of the test's own code.
using SelectProc = int(WINAPI*)(int, fd_set*, fd_set*, fd_set*, const timeval*);
SelectProc g_realSelect = nullptr;
LONG g_holding = 0;
LONG g_held = 0;
DWORD g_mainThread = 0;

int WINAPI HeldSelect(int count, fd_set* read, fd_set* write, fd_set* error, const timeval* timeout) {
    if (::GetCurrentThreadId() != g_mainThread && g_holding) {
        ::InterlockedIncrement(&g_held);
        ::Sleep(4000);
    }
    return g_realSelect(count, read, write, error, timeout);
}

bool HoldSocketCallsOf(HMODULE dll) {
    auto* base = reinterpret_cast<BYTE*>(dll);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name;
         ++entry) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + entry->Name), "wsock32.dll") != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(name->Name), "select") != 0) continue;
            DWORD old = 0;
            ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            g_realSelect = reinterpret_cast<SelectProc>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<decltype(slots->u1.Function)>(&HeldSelect);
            ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return true;
        }
    }
    return false;
}

// The player frees the DLL as soon as Quit returns, while the thread ending the relay channel is
// still held in a socket call: the thread keeps the DLL's code loaded until it has returned.
TEST_F(PluginDll, TheRelaysEndOutlivingQuitKeepsTheDllLoaded) {
    WSADATA wsa;
    ASSERT_EQ(0, ::WSAStartup(MAKEWORD(1, 1), &wsa));  // the test's own sockets: the node's
    StandInNode node(NodeBehaviour::JsonRpcSilentStop);
    ASSERT_TRUE(node.listening());
    const std::string settings = "[Extra]\r\n_dwPort=" + std::to_string(FreeLoopbackPort()) +
                                 "\r\n[PeerCast]\r\n_fEnable=true\r\n_fRelayChannel=true\r\n_cChannel=Ombrel Radio\r\n"
                                 "_dwPort=" + std::to_string(node.port()) + "\r\n";
    ASSERT_TRUE(WriteWholeFile(ini_, settings));
    standin::PlayerOptions options = FastPlaylist();
    options.realtime = true;
    options.loop = true;
    {
        standin::Player player(options);
        std::string error;
        ASSERT_TRUE(player.LoadPlugin(dll_, &error)) << error;
        HMODULE dll = ::GetModuleHandleA(dll_.c_str());
        g_mainThread = ::GetCurrentThreadId();
        ASSERT_TRUE(HoldSocketCallsOf(dll));
        player.Play();
        HWND main = nullptr;
        ASSERT_TRUE(PumpUntil(5000, [&] { return (main = ::FindWindowA(nullptr, "Ombrel DSP plugin")) != nullptr; }));
        ::PostMessageA(main, WM_COMMAND, IDM_START_BROADCAST, 0);
        ASSERT_TRUE(PumpUntil(15000, [&] { return !node.Channel("Ombrel Radio").is_null(); }));
        g_holding = 1;
        ::SendMessageA(main, WM_COMMAND, IDM_STOP_BROADCAST, 0);
        player.UnloadPlugin();
        g_holding = 0;
        EXPECT_GT(g_held, 0) << "the ending thread was held";
        EXPECT_NE(nullptr, ::GetModuleHandleA(dll_.c_str())) << "the ending thread still holds the DLL";
    }
    Pump(5000);
    EXPECT_EQ(nullptr, ::GetModuleHandleA(dll_.c_str())) << "the thread gave the DLL back";
    node.Stop();
    ::WSACleanup();
}

}  // namespace
}  // namespace ombrel::test
