// The built wmvcore.dll: its exports loaded with LoadLibrary, and the plug-in's own live
// encoder writing through it into a sink that keeps what arrives.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "encoder/Catalogue.h"
#include "encoder/LiveEncoder.h"
#include "tests/wmvcore/FakeSink.h"
#include "tests/wmvcore/StandInSupport.h"

namespace ombrel::test {
namespace {

std::wstring BesideExe(const WCHAR* name) {
    WCHAR path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + name;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class StandInDll : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HR(S_OK, com_.Result());
        module_ = ::LoadLibraryW(BesideExe(L"wmvcore.dll").c_str());
        ASSERT_NE(nullptr, module_) << "LoadLibrary error " << ::GetLastError();
    }
    void TearDown() override {
        if (module_) ::FreeLibrary(module_);
    }
    template <typename Proc>
    Proc Entry(const char* name) {
        return reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
    }
    win::ComApartment com_;
    HMODULE module_ = nullptr;
};

TEST_F(StandInDll, ExportsTheFourEntryPointsUndecorated) {
    const char* const names[] = {"WMCreateWriter", "WMCreateWriterNetworkSink", "WMCreateWriterFileSink",
                                 "WMCreateProfileManager"};
    for (const char* name : names) EXPECT_NE(nullptr, Entry<FARPROC>(name)) << name;
    const char* const decorated[] = {"_WMCreateWriter@8", "WMCreateWriter@8", "_WMCreateProfileManager@4"};
    for (const char* name : decorated) EXPECT_EQ(nullptr, Entry<FARPROC>(name)) << name;
}

TEST(RuntimeLoad, WmvcoreByNameIsTheStandInBesideTheExecutable) {
    // The plug-in loads "wmvcore.dll" by name: under Wine it must get this one, not Wine's own
    // (whose sink factories abort the process). No other test holds the DLL at this point.
    win::ComApartment com;
    HMODULE byName = ::LoadLibraryA("wmvcore.dll");
    ASSERT_NE(nullptr, byName) << "LoadLibrary error " << ::GetLastError();
    WCHAR path[MAX_PATH] = {};
    ::GetModuleFileNameW(byName, path, MAX_PATH);
    EXPECT_EQ(0, _wcsicmp(path, BesideExe(L"wmvcore.dll").c_str())) << Narrow(path);
    // Wine reports a builtin loaded in place of a file by that file's path, so the path alone
    // proves nothing: only the stand-in lists the voice codec first.
    auto create = reinterpret_cast<WMCreateProfileManagerProc>(
        reinterpret_cast<void*>(::GetProcAddress(byName, "WMCreateProfileManager")));
    ASSERT_NE(nullptr, create);
    win::ComPtr<IWMProfileManager> manager;
    ASSERT_HR(S_OK, create(manager.put()));
    win::ComPtr<IWMCodecInfo3> info;
    ASSERT_HR(S_OK, manager.As(IID_IWMCodecInfo3, &info));
    WCHAR name[64] = {};
    DWORD size = 64;
    EXPECT_HR(S_OK, info->GetCodecName(WMMEDIATYPE_Audio, 0, name, &size));
    EXPECT_EQ(std::wstring(L"Windows Media Audio Voice 9"), std::wstring(name)) << Narrow(name);
    info.reset();
    manager.reset();
    ::FreeLibrary(byName);
}

TEST_F(StandInDll, ObjectsFromTheExportsReachZeroReferences) {
    auto createManager = Entry<WMCreateProfileManagerProc>("WMCreateProfileManager");
    auto createWriter = Entry<WMCreateWriterProc>("WMCreateWriter");
    ASSERT_NE(nullptr, createManager);
    ASSERT_NE(nullptr, createWriter);
    IWMProfileManager* manager = nullptr;
    ASSERT_HR(S_OK, createManager(&manager));
    IWMCodecInfo3* info = nullptr;
    ASSERT_HR(S_OK, manager->QueryInterface(IID_IWMCodecInfo3, reinterpret_cast<void**>(&info)));
    DWORD count = 0;
    EXPECT_HR(S_OK, info->GetCodecInfoCount(WMMEDIATYPE_Audio, &count));
    EXPECT_EQ(4u, count);
    EXPECT_EQ(1u, info->Release());
    EXPECT_EQ(0u, manager->Release());
    IWMWriter* writer = nullptr;
    ASSERT_HR(S_OK, createWriter(nullptr, &writer));
    IWMHeaderInfo* header = nullptr;
    EXPECT_HR(S_OK, writer->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&header)));
    EXPECT_EQ(1u, header->Release());
    EXPECT_EQ(0u, writer->Release());
    EXPECT_HR(E_POINTER, createManager(nullptr));
}

// The plug-in's encoder with the stand-in DLL's writer and profile manager and a network sink
// that keeps what arrives.
FakeSink* g_sink = nullptr;
HMODULE g_module = nullptr;

HRESULT DllWriter(IUnknown* certificate, IWMWriter** writer) {
    auto create = reinterpret_cast<WMCreateWriterProc>(reinterpret_cast<void*>(::GetProcAddress(g_module, "WMCreateWriter")));
    return create ? create(certificate, writer) : E_FAIL;
}
HRESULT DllProfileManager(IWMProfileManager** manager) {
    auto create = reinterpret_cast<WMCreateProfileManagerProc>(
        reinterpret_cast<void*>(::GetProcAddress(g_module, "WMCreateProfileManager")));
    return create ? create(manager) : E_FAIL;
}
HRESULT KeepingSink(IWMWriterNetworkSink** sink) {
    g_sink->AddRef();
    *sink = g_sink;
    return S_OK;
}

TEST_F(StandInDll, ThePlugInsLiveEncoderWritesThroughTheStandIn) {
    FakeSink sink;
    g_sink = &sink;
    g_module = module_;
    ombrel::RuntimeEntryPoints saved = ombrel::ActiveRuntimeEntryPoints();
    ombrel::ActiveRuntimeEntryPoints().createWriter = DllWriter;
    ombrel::ActiveRuntimeEntryPoints().createProfileManager = DllProfileManager;
    ombrel::ActiveRuntimeEntryPoints().createWriterNetworkSink = KeepingSink;

    EncoderSettings settings{};
    ASSERT_HR(S_OK, ombrel::FillDefaultEncoderSettings(nullptr, &settings));
    // "Windows Media Audio 9.2 Lossless": the bytes written come out unchanged.
    settings.audio.codecIndex = 2;
    InputFormat format{};
    format.audioEnabled = TRUE;
    format.sampleRate = 44100;
    format.channels = 2;
    format.bitsPerSample = 16;
    format.scriptEnabled = TRUE;

    ombrel::LiveEncoder* encoder = nullptr;
    ASSERT_HR(S_OK, ombrel::WMLiveCreateInterface(&encoder));
    EXPECT_HR(S_OK, encoder->Initialize());
    EXPECT_HR(S_OK, encoder->Configure(&format, &settings));
    EXPECT_HR(S_OK, encoder->SetStringAttribute(L"Title", L"Ombrel test title"));
    EXPECT_HR(S_OK, encoder->SetStringAttribute(L"WM/Genre", L"Ambient"));
    EXPECT_HR(S_OK, encoder->Start());

    // Two seconds of 1152-frame blocks of a pattern that never repeats within a block.
    const int kFrames = 1152;
    std::vector<std::vector<BYTE>> blocks;
    unsigned seed = 99;
    for (int b = 0; b < 77; ++b) {
        std::vector<BYTE> pcm(kFrames * 4);
        for (BYTE& byte : pcm) byte = static_cast<BYTE>((seed = seed * 1664525 + 1013904223) >> 24);
        EXPECT_HR(S_OK, encoder->WriteAudio(pcm.data(), kFrames)) << "block " << b;
        blocks.push_back(std::move(pcm));
    }
    EXPECT_HR(S_OK, encoder->WriteScript(L"TEXT", L"Ombrel test title"));
    WM_WRITER_STATISTICS stats{};
    EXPECT_HR(S_OK, encoder->GetStatistics(&stats));
    EXPECT_HR(S_OK, encoder->Stop());
    encoder->Release();
    ombrel::ActiveRuntimeEntryPoints() = saved;

    const QWORD scriptBytes = (5 + 18) * sizeof(WCHAR);
    EXPECT_EQ(77u * kFrames * 4 + scriptBytes, stats.qwByteCount);
    EXPECT_EQ(78u, stats.qwSampleCount);
    EXPECT_NEAR(1411200.0, static_cast<double>(stats.dwAverageBitrate), 1411200 * 0.01);
    EXPECT_NEAR(1411200.0, static_cast<double>(stats.dwCurrentBitrate), 1411200 * 0.01);
    EXPECT_EQ(1411200u + settings.script.bitrate, stats.dwExpectedBitrate);
    EXPECT_EQ(5u, sink.maxClients);
    EXPECT_EQ(1, sink.closes);
    EXPECT_EQ(1, sink.Refs()) << "the encoder and writer let go of the sink";

    std::vector<FakeSink::Event> events = sink.Events();
    std::string kinds = sink.Kinds();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ('H', kinds.front()) << kinds;
    EXPECT_EQ('E', kinds.back()) << kinds;
    EXPECT_EQ(std::string::npos, kinds.find('H', 1)) << kinds;
    const std::vector<BYTE>& header = events.front().bytes;
    const std::wstring title = L"Ombrel test title";
    EXPECT_NE(std::string::npos, FindBytes(header, title.c_str(), title.size() * 2)) << "title not in the header";
    const std::wstring genre = L"WM/Genre";
    EXPECT_NE(std::string::npos, FindBytes(header, genre.c_str(), genre.size() * 2)) << "genre not in the header";

    std::vector<BYTE> data;
    size_t packetSize = events[1].bytes.size();
    for (size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ('D', events[i].kind) << i;
        EXPECT_EQ(packetSize, events[i].bytes.size()) << "packet " << i;
        data.insert(data.end(), events[i].bytes.begin(), events[i].bytes.end());
    }
    EXPECT_GE(data.size(), 77u * kFrames * 4) << "the packets carry all the PCM";
    // The PCM passes unchanged: in every block some 256-byte run lies whole within one packet.
    for (size_t b = 0; b < blocks.size(); ++b) {
        bool found = false;
        for (size_t at = 0; at + 256 <= blocks[b].size() && !found; at += 256)
            found = FindBytes(data, blocks[b].data() + at, 256) != std::string::npos;
        EXPECT_TRUE(found) << "block " << b << " not found in the packets";
    }
    const std::wstring command = L"TEXT";
    std::vector<BYTE> script(reinterpret_cast<const BYTE*>(command.c_str()),
                             reinterpret_cast<const BYTE*>(command.c_str()) + 10);
    script.insert(script.end(), reinterpret_cast<const BYTE*>(title.c_str()),
                  reinterpret_cast<const BYTE*>(title.c_str()) + (title.size() + 1) * 2);
    EXPECT_NE(std::string::npos, FindBytes(data, script.data(), script.size())) << "script sample not carried unchanged";
}

}  // namespace
}  // namespace ombrel::test
