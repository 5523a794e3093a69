// Profiles and stream configurations: what goes in comes back, and QueryInterface answers
// exactly the interfaces each object has, with reference counts back to zero.
#include <gtest/gtest.h>

#include "encoder/Profile.h"
#include "standin/wmvcore/ComSupport.h"
#include "tests/wmvcore/StandInSupport.h"

namespace ombrel::test {
namespace {

struct QiRow {
    const IID* iid;
    HRESULT expected;
    const char* name;
};

// Queries every row, releases what came back and reports the object's count after each.
void CheckQueryInterface(IUnknown* object, const QiRow* rows, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        void* out = reinterpret_cast<void*>(1);
        HRESULT hr = object->QueryInterface(*rows[i].iid, &out);
        EXPECT_HR(rows[i].expected, hr) << rows[i].name;
        if (SUCCEEDED(hr)) {
            ASSERT_NE(nullptr, out) << rows[i].name;
            EXPECT_EQ(1u, static_cast<IUnknown*>(out)->Release()) << rows[i].name;
        } else {
            EXPECT_EQ(nullptr, out) << rows[i].name;
        }
    }
}

TEST(ProfileManagerTest, QueryInterfaceAndReferenceCount) {
    win::ComPtr<IWMProfileManager> manager;
    ASSERT_HR(S_OK, wmstandin::CreateProfileManager(manager.put()));
    const QiRow rows[] = {
        {&IID_IUnknown, S_OK, "IUnknown"},
        {&IID_IWMProfileManager, S_OK, "IWMProfileManager"},
        {&IID_IWMCodecInfo, S_OK, "IWMCodecInfo"},
        {&IID_IWMCodecInfo2, S_OK, "IWMCodecInfo2"},
        {&IID_IWMCodecInfo3, S_OK, "IWMCodecInfo3"},
        {&IID_IWMProfileManager2, E_NOINTERFACE, "IWMProfileManager2 (not provided)"},
        {&IID_IWMWriter, E_NOINTERFACE, "IWMWriter (another object)"},
    };
    CheckQueryInterface(manager.get(), rows, sizeof(rows) / sizeof(rows[0]));
    EXPECT_EQ(0u, manager.detach()->Release());
}

TEST(ProfileManagerTest, CallsThePlugInNeverMakesAreNotImplemented) {
    win::ComPtr<IWMProfileManager> manager;
    ASSERT_HR(S_OK, wmstandin::CreateProfileManager(manager.put()));
    DWORD count = 0;
    EXPECT_HR(E_NOTIMPL, manager->GetSystemProfileCount(&count));
    win::ComPtr<IWMProfile> profile;
    EXPECT_HR(E_NOTIMPL, manager->LoadProfileByData(L"<profile/>", profile.put()));
    EXPECT_HR(E_INVALIDARG, manager->CreateEmptyProfile(static_cast<WMT_VERSION>(0x50000), profile.put()));
    EXPECT_EQ(nullptr, profile.get());
}

TEST(ProfileTest, StreamConfigurationRoundTrip) {
    win::ComPtr<IWMProfileManager> manager;
    ASSERT_HR(S_OK, wmstandin::CreateProfileManager(manager.put()));
    win::ComPtr<IWMProfile> profile;
    ASSERT_HR(S_OK, manager->CreateEmptyProfile(WMT_VER_9_0, profile.put()));
    WMT_VERSION version{};
    EXPECT_HR(S_OK, profile->GetVersion(&version));
    EXPECT_EQ(WMT_VER_9_0, version);

    win::ComPtr<IWMStreamConfig> config;
    ASSERT_HR(S_OK, profile->CreateNewStream(WMMEDIATYPE_Audio, config.put()));
    EXPECT_HR(S_OK, config->SetStreamName(L"Audio0"));
    EXPECT_HR(S_OK, config->SetConnectionName(L"Audio"));
    EXPECT_HR(S_OK, config->SetBitrate(1411200));
    EXPECT_HR(S_OK, config->SetBufferWindow(5000));
    WAVEFORMATEX wave = Pcm(48000, 2, 24);
    WM_MEDIA_TYPE type = PcmType(&wave);
    win::ComPtr<IWMMediaProps> props;
    ASSERT_HR(S_OK, config.As(IID_IWMMediaProps, &props));
    EXPECT_HR(S_OK, props->SetMediaType(&type));
    WM_MEDIA_TYPE video{};
    video.majortype = WMMEDIATYPE_Video;
    EXPECT_HR(NS_E_INCOMPATIBLE_FORMAT, props->SetMediaType(&video));
    win::ComPtr<IWMStreamConfig3> config3;
    ASSERT_HR(S_OK, config.As(IID_IWMStreamConfig3, &config3));
    EXPECT_HR(S_OK, config3->SetLanguage(L"ja-JP"));
    BYTE info[3] = {7, 8, 9};
    EXPECT_HR(S_OK, config3->AddDataUnitExtension(WM_SampleExtensionGUID_ContentType, 1, info, 3));
    win::ComPtr<IWMPropertyVault> vault;
    ASSERT_HR(S_OK, config.As(IID_IWMPropertyVault, &vault));
    BOOL vbr = TRUE;
    EXPECT_HR(S_OK, vault->SetProperty(L"_VBRENABLED", WMT_TYPE_BOOL, reinterpret_cast<BYTE*>(&vbr), sizeof(vbr)));
    EXPECT_HR(S_OK, profile->AddStream(config.get()));
    // The profile holds a copy: a later change to the configuration does not reach it.
    EXPECT_HR(S_OK, config->SetBitrate(1));
    ASSERT_HR(S_OK, profile->CreateNewStream(WMMEDIATYPE_Script, config.put()));
    EXPECT_HR(S_OK, profile->AddStream(config.get()));

    DWORD count = 0;
    EXPECT_HR(S_OK, profile->GetStreamCount(&count));
    EXPECT_EQ(2u, count);
    win::ComPtr<IWMStreamConfig> back;
    ASSERT_HR(S_OK, profile->GetStream(0, back.put()));
    WORD number = 0;
    EXPECT_HR(S_OK, back->GetStreamNumber(&number));
    EXPECT_EQ(1, number);
    WCHAR text[32];
    WORD size = 32;
    EXPECT_HR(S_OK, back->GetStreamName(text, &size));
    EXPECT_EQ(std::wstring(L"Audio0"), std::wstring(text));
    EXPECT_EQ(7, size);
    size = 32;
    EXPECT_HR(S_OK, back->GetConnectionName(text, &size));
    EXPECT_EQ(std::wstring(L"Audio"), std::wstring(text));
    DWORD bitrate = 0, window = 0;
    EXPECT_HR(S_OK, back->GetBitrate(&bitrate));
    EXPECT_HR(S_OK, back->GetBufferWindow(&window));
    EXPECT_EQ(1411200u, bitrate);
    EXPECT_EQ(5000u, window);
    ASSERT_HR(S_OK, back.As(IID_IWMMediaProps, &props));
    std::vector<BYTE> block = ReadMediaType(props.get());
    const WAVEFORMATEX* backWave = WaveOf(block);
    ASSERT_NE(nullptr, backWave);
    EXPECT_EQ(48000u, backWave->nSamplesPerSec);
    EXPECT_EQ(24, backWave->wBitsPerSample);
    ASSERT_HR(S_OK, back.As(IID_IWMStreamConfig3, &config3));
    size = 32;
    EXPECT_HR(S_OK, config3->GetLanguage(text, &size));
    EXPECT_EQ(std::wstring(L"ja-JP"), std::wstring(text));
    WORD extensions = 0;
    EXPECT_HR(S_OK, config3->GetDataUnitExtensionCount(&extensions));
    EXPECT_EQ(1, extensions);
    GUID system{};
    WORD dataSize = 0;
    BYTE infoBack[8] = {};
    DWORD infoSize = sizeof(infoBack);
    EXPECT_HR(S_OK, config3->GetDataUnitExtension(0, &system, &dataSize, infoBack, &infoSize));
    EXPECT_TRUE(IsEqualGUID(WM_SampleExtensionGUID_ContentType, system));
    EXPECT_EQ(1, dataSize);
    EXPECT_EQ(3u, infoSize);
    EXPECT_EQ(9, infoBack[2]);
    ASSERT_HR(S_OK, back.As(IID_IWMPropertyVault, &vault));
    WMT_ATTR_DATATYPE valueType{};
    BOOL value = FALSE;
    DWORD valueSize = sizeof(value);
    EXPECT_HR(S_OK, vault->GetPropertyByName(L"_VBRENABLED", &valueType, reinterpret_cast<BYTE*>(&value), &valueSize));
    EXPECT_EQ(TRUE, value);
    ASSERT_HR(S_OK, profile->GetStream(1, back.put()));
    EXPECT_HR(S_OK, back->GetStreamNumber(&number));
    EXPECT_EQ(2, number);
    EXPECT_HR(E_INVALIDARG, profile->GetStream(2, back.put()));
}

TEST(ProfileTest, PlugInBuildsItsAudioAndScriptStreams) {
    win::ComApartment com;  // for the platform's language service
    ombrel::RuntimeEntryPoints saved = ombrel::ActiveRuntimeEntryPoints();
    ombrel::ActiveRuntimeEntryPoints().createProfileManager = [](IWMProfileManager** m) {
        return wmstandin::CreateProfileManager(m);
    };
    win::ComPtr<IWMProfile> profile;
    win::ComPtr<IWMProfileManager> manager;
    ASSERT_HR(S_OK, wmstandin::CreateProfileManager(manager.put()));
    ASSERT_HR(S_OK, manager->CreateEmptyProfile(WMT_VER_9_0, profile.put()));
    AudioStreamSettings audio{5000, 3, 1, FALSE, 1, 0x0409};
    ScriptStreamSettings script{10000, 5000, 0x0409};
    EXPECT_HR(S_OK, ombrel::CreateAudioStream(audio, profile.get(), 0));
    EXPECT_HR(S_OK, ombrel::CreateScriptStream(script, profile.get(), 1));
    ombrel::ActiveRuntimeEntryPoints() = saved;
    DWORD count = 0;
    EXPECT_HR(S_OK, profile->GetStreamCount(&count));
    EXPECT_EQ(2u, count);
    win::ComPtr<IWMStreamConfig> stream;
    ASSERT_HR(S_OK, profile->GetStream(0, stream.put()));
    DWORD bitrate = 0;
    EXPECT_HR(S_OK, stream->GetBitrate(&bitrate));
    EXPECT_EQ(48000u * 2 * 16, bitrate);  // codec 3's second CBR format
    win::ComPtr<IWMStreamConfig3> config3;
    ASSERT_HR(S_OK, stream.As(IID_IWMStreamConfig3, &config3));
    WCHAR language[16] = {};
    WORD size = 16;
    EXPECT_HR(S_OK, config3->GetLanguage(language, &size));
    EXPECT_EQ(0, _wcsicmp(language, L"en-us")) << std::string(language, language + wcslen(language));
}

TEST(StreamConfigTest, QueryInterfaceDependsOnTheStreamType) {
    struct Row {
        const GUID* type;
        const char* name;
        HRESULT video;
    };
    const Row rows[] = {
        {&WMMEDIATYPE_Audio, "audio", E_NOINTERFACE},  // no video properties on audio
        {&WMMEDIATYPE_Script, "script", E_NOINTERFACE},  // nor on script
        {&WMMEDIATYPE_Video, "video", S_OK},  // video streams answer IWMVideoMediaProps
    };
    win::ComPtr<IWMProfile> profile;
    ASSERT_HR(S_OK, wmstandin::CreateProfile(WMT_VER_9_0, profile.put()));
    for (const Row& row : rows) {
        win::ComPtr<IWMStreamConfig> config;
        ASSERT_HR(S_OK, profile->CreateNewStream(*row.type, config.put()));
        const QiRow qi[] = {
            {&IID_IUnknown, S_OK, "IUnknown"},
            {&IID_IWMStreamConfig, S_OK, "IWMStreamConfig"},
            {&IID_IWMStreamConfig2, S_OK, "IWMStreamConfig2"},
            {&IID_IWMStreamConfig3, S_OK, "IWMStreamConfig3"},
            {&IID_IWMMediaProps, S_OK, "IWMMediaProps"},
            {&IID_IWMPropertyVault, S_OK, "IWMPropertyVault"},
            {&IID_IWMVideoMediaProps, row.video, "IWMVideoMediaProps"},
            {&IID_IWMInputMediaProps, E_NOINTERFACE, "IWMInputMediaProps"},
        };
        SCOPED_TRACE(row.name);
        CheckQueryInterface(config.get(), qi, sizeof(qi) / sizeof(qi[0]));
        EXPECT_EQ(0u, config.detach()->Release());
    }
    win::ComPtr<IWMStreamConfig> other;
    EXPECT_HR(E_INVALIDARG, profile->CreateNewStream(WMFORMAT_Script, other.put()));
    EXPECT_EQ(0u, profile.detach()->Release());
}

TEST(BufferTest, LengthsAndReferences) {
    win::ComPtr<INSSBuffer> buffer;
    ASSERT_HR(S_OK, wmstandin::CreateBuffer(64, buffer.put()));
    DWORD length = 0, max = 0;
    BYTE* data = nullptr;
    EXPECT_HR(S_OK, buffer->GetBufferAndLength(&data, &length));
    EXPECT_HR(S_OK, buffer->GetMaxLength(&max));
    EXPECT_NE(nullptr, data);
    EXPECT_EQ(64u, length);
    EXPECT_EQ(64u, max);
    EXPECT_HR(S_OK, buffer->SetLength(10));
    EXPECT_HR(E_INVALIDARG, buffer->SetLength(65));
    EXPECT_HR(S_OK, buffer->GetLength(&length));
    EXPECT_EQ(10u, length);
    const QiRow rows[] = {
        {&IID_IUnknown, S_OK, "IUnknown"},
        {&IID_INSSBuffer, S_OK, "INSSBuffer"},
        {&IID_INSSBuffer2, E_NOINTERFACE, "INSSBuffer2"},
    };
    CheckQueryInterface(buffer.get(), rows, sizeof(rows) / sizeof(rows[0]));
    EXPECT_EQ(0u, buffer.detach()->Release());
}

}  // namespace
}  // namespace ombrel::test
