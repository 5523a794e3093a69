// The profile build against the runtime stand-in, with the platform's own language service
// turning LCIDs into language tags.
#include <windows.h>

#include <cstring>

#include "encoder/Profile.h"
#include "tests/encoder/EncoderFixture.h"

using ::testing::ElementsAre;

namespace ombrel::test {
namespace {

IWMProfile* const kPoisonProfile = reinterpret_cast<IWMProfile*>(0xdeadbeef);

class ProfileTest : public ::testing::Test {
protected:
    // SetupProfile expected to succeed; the profile is released at once.
    void Build(const InputFormat& format, const EncoderSettings* settings) {
        IWMProfile* profile = kPoisonProfile;
        HRESULT hr = SetupProfile(&format, settings, &profile);
        ASSERT_EQ(S_OK, hr) << std::hex << hr;
        ASSERT_NE(kPoisonProfile, profile);
        ASSERT_NE(nullptr, profile);
        EXPECT_EQ(0u, profile->Release());
    }

    win::ComApartment com_;
    fake::ScopedRuntime runtime_;
};

TEST_F(ProfileTest, AudioAndScriptGiveAudio0AndArbit1InThisOrder) {
    InputFormat format = AudioFormat(44100, 2, 16, TRUE);
    EncoderSettings settings = StandardSettings();
    Build(format, &settings);
    EXPECT_THAT(
        runtime_->Calls(),
        ElementsAre("WMCreateProfileManager()", "Manager.CreateEmptyProfile(0x90000)", "Profile.CreateNewStream(Audio)",
                    "WMCreateProfileManager()",
                    "CodecInfo.SetCodecEnumerationSetting(Audio, 1, _VBRENABLED, 3, 0, 4)",
                    "CodecInfo.SetCodecEnumerationSetting(Audio, 1, _PASSESUSED, 0, 1, 4)",
                    "CodecInfo.GetCodecFormat(Audio, 1, 0)", "Format.GetMediaType(null)",
                    "Format.GetMediaType(buffer, 90)", "Format.GetBitrate()", "Stream.SetBitrate(64040)",
                    "Stream.SetBufferWindow(5000)", "Stream.SetMediaType(Audio)",
                    "Stream.SetProperty(_VBRENABLED, 3, 0, 4)", "Stream.SetLanguage(en-us)",
                    "Stream.SetStreamName(Audio0)", "Stream.SetConnectionName(WMLiveWmv9Audio1)",
                    "Profile.AddStream(Audio0)", "Profile.CreateNewStream(Script)", "Stream.SetBitrate(10000)",
                    "Stream.SetBufferWindow(5000)", "Stream.SetMediaType(Script)", "Stream.SetLanguage(ja)",  // the platform tags 0x411 "ja"
                    "Stream.SetStreamName(Arbit1)", "Stream.SetConnectionName(WMLiveWmv9Arbit1)",
                    "Profile.AddStream(Arbit1)"));
    ASSERT_EQ(2u, runtime_->addedStreams.size());
    const fake::AddedStream& audio = runtime_->addedStreams[0];
    EXPECT_EQ(64040u / 8, fake::FormatOf<WAVEFORMATEX>(audio.mediaType).nAvgBytesPerSec);
    EXPECT_EQ(0x161, fake::FormatOf<WAVEFORMATEX>(audio.mediaType).wFormatTag);
    const fake::AddedStream& script = runtime_->addedStreams[1];
    const WM_MEDIA_TYPE& type = fake::MediaTypeOf(script.mediaType);
    EXPECT_TRUE(IsEqualGUID(WMMEDIATYPE_Script, type.majortype));
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, type.subtype));
    EXPECT_TRUE(IsEqualGUID(WMFORMAT_Script, type.formattype));
    EXPECT_EQ(FALSE, type.bFixedSizeSamples);
    EXPECT_EQ(TRUE, type.bTemporalCompression);
    EXPECT_EQ(0u, type.lSampleSize);
    EXPECT_EQ(16u, type.cbFormat);
    EXPECT_TRUE(IsEqualGUID(WMSCRIPTTYPE_TwoStrings, fake::FormatOf<WMSCRIPTFORMAT>(script.mediaType).scriptType));
}

TEST_F(ProfileTest, AudioOnlyIsOneStreamAudio0) {
    InputFormat format = AudioFormat();
    EncoderSettings settings = StandardSettings();
    Build(format, &settings);
    ASSERT_EQ(1u, runtime_->addedStreams.size());
    EXPECT_EQ(L"Audio0", runtime_->addedStreams[0].name);
    EXPECT_EQ(L"WMLiveWmv9Audio1", runtime_->addedStreams[0].connectionName);
}

TEST_F(ProfileTest, NoStreamFlagGivesAnEmptyProfile) {
    InputFormat format{};
    EncoderSettings settings = StandardSettings();
    Build(format, &settings);
    EXPECT_THAT(runtime_->Calls(), ElementsAre("WMCreateProfileManager()", "Manager.CreateEmptyProfile(0x90000)"));
}

TEST_F(ProfileTest, WithoutSettingsTheDefaultsAreFilledFromTheCatalogue) {
    InputFormat format = AudioFormat(44100, 2, 16, TRUE);
    Build(format, nullptr);
    ASSERT_EQ(2u, runtime_->addedStreams.size());
    EXPECT_EQ(5000u, runtime_->addedStreams[0].bufferWindow);
    EXPECT_EQ(10000u, runtime_->addedStreams[1].bitrate);
    // The first preferred name found is "Windows Media Audio 9.2", codec 1 of the catalogue.
    EXPECT_EQ(1u, runtime_->CallsStartingWith("CodecInfo.GetCodecFormat(Audio, 1, 0)").size());
}

TEST_F(ProfileTest, TheVbrFlagSelectsTheOtherEnumeration) {
    InputFormat format = AudioFormat();
    EncoderSettings settings = StandardSettings();
    settings.audio.vbrEnabled = TRUE;
    Build(format, &settings);
    ASSERT_EQ(1u, runtime_->addedStreams.size());
    EXPECT_EQ(50u, runtime_->addedStreams[0].bitrate);  // VBR format 0, not the 64040 of CBR format 0
    EXPECT_EQ(std::vector<BYTE>({1, 0, 0, 0}), runtime_->addedStreams[0].properties[L"_VBRENABLED"]);
}

TEST_F(ProfileTest, ACodecWithoutTheVbrSettingGoesOnForCbrAndFailsForVbr) {
    InputFormat format = AudioFormat();
    EncoderSettings settings = StandardSettings();
    settings.audio.codecIndex = 0;  // "Windows Media Audio Voice 9" rejects "_VBRENABLED"
    Build(format, &settings);
    EXPECT_EQ(4000u, runtime_->addedStreams.at(0).bitrate);

    settings.audio.vbrEnabled = TRUE;
    IWMProfile* profile = kPoisonProfile;
    EXPECT_EQ(kUnsupportedProperty, SetupProfile(&format, &settings, &profile));
    ASSERT_NE(kPoisonProfile, profile);  // the profile exists: it is handed back
    EXPECT_EQ(0u, profile->Release());
}

// SetupProfile's own steps failing: the address stays untouched.
TEST_F(ProfileTest, AFailureBeforeTheProfileExistsLeavesTheAddressUntouched) {
    for (const char* call : {"WMCreateProfileManager", "Manager.CreateEmptyProfile"}) {
        SCOPED_TRACE(call);
        fake::ScopedRuntime runtime;
        runtime->FailOn(call, kRuntimeFailure);
        InputFormat format = AudioFormat();
        EncoderSettings settings = StandardSettings();
        IWMProfile* profile = kPoisonProfile;
        EXPECT_EQ(kRuntimeFailure, SetupProfile(&format, &settings, &profile));
        EXPECT_EQ(kPoisonProfile, profile);
    }
}

// Each step of the audio stream failing in turn.
const char* const kAudioStreamSteps[] = {
    "Profile.CreateNewStream",                   // the new stream
    "CodecInfo.SetCodecEnumerationSetting",      // the enumeration
    "CodecInfo.GetCodecFormat",                  // the codec format
    "Format.QueryInterface(IWMMediaProps)",      // its properties
    "Format.GetMediaType(null)",                 // its media type size
    "Format.GetMediaType",                       // its media type
    "Format.GetBitrate",                         // its bit rate
    "Stream.SetBitrate",                         // the stream's bit rate
    "Stream.SetBufferWindow",                    // its buffer window
    "Stream.QueryInterface(IWMMediaProps)",      // its properties
    "Stream.SetMediaType",                       // its media type
    "Stream.QueryInterface(IWMStreamConfig3)",   // its language face
    "Stream.SetLanguage",                        // its language
    "Stream.SetStreamName",                      // its name
    "Stream.SetConnectionName",                  // its connection name
    "Profile.AddStream",                         // its place in the profile
};

TEST_F(ProfileTest, EveryAudioStreamFailurePassesItsCodeAndReleasesEverything) {
    for (const char* step : kAudioStreamSteps) {
        SCOPED_TRACE(step);
        fake::ScopedRuntime runtime;
        runtime->FailOn(step, kRuntimeFailure);
        InputFormat format = AudioFormat(44100, 2, 16, TRUE);
        EncoderSettings settings = StandardSettings();
        IWMProfile* profile = kPoisonProfile;
        EXPECT_EQ(kRuntimeFailure, SetupProfile(&format, &settings, &profile));
        ASSERT_NE(kPoisonProfile, profile);
        EXPECT_EQ(0u, profile->Release());
        EXPECT_THAT(runtime->CallsStartingWith("Profile.CreateNewStream(Script)"), ElementsAre());
        EXPECT_EQ(0, runtime->LiveObjects());
    }
}

TEST_F(ProfileTest, TheAudioPropertyVaultResultIsIgnored) {
    runtime_->FailOn("Stream.SetProperty", kRuntimeFailure);
    InputFormat format = AudioFormat();
    EncoderSettings settings = StandardSettings();
    Build(format, &settings);
    EXPECT_EQ(1u, runtime_->addedStreams.size());
}

TEST_F(ProfileTest, AnUnmappableLanguageFailsTheBuildAndConfigureSaysSo) {
    WmLiveEncoder encoder;
    ASSERT_EQ(S_OK, encoder.Initialize());
    InputFormat format = AudioFormat(44100, 2, 16, TRUE);
    EncoderSettings settings = StandardSettings();
    settings.script.language = 0x7FFF7FFF;  // no locale of the platform
    HRESULT hr = encoder.Configure(&format, &settings);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    char expected[64];
    std::snprintf(expected, sizeof(expected), "SetupProfile failed (0x%x)\n", static_cast<unsigned>(hr));
    EXPECT_STREQ(expected, encoder.errorText);
    EXPECT_THAT(runtime_->CallsStartingWith("Profile.AddStream"), ElementsAre("Profile.AddStream(Audio0)"));
}

// Decoder complexity names: profile, mode, level.
struct ComplexityName {
    UINT32 profile;
    UINT32 mode;
    UINT32 level;
    const WCHAR* name;
};

const ComplexityName kComplexityNames[] = {
    {0, 0, 0, L"SP"},     // simple, level 0
    {0, 1, 1, L"SP@LL"},  // simple, level 1
    {0, 4, 2, L"SP@ML"},  // simple, level 2
    {0, 0, 3, L"SP@ML"},  // simple, a larger level counts as the last
    {0, 2, 1, L"SP"},     // simple, VBR one pass: no level
    {1, 0, 0, L"MP"},     // main, level 0
    {1, 0, 1, L"MP@LL"},  // main, level 1
    {1, 1, 2, L"MP@ML"},  // main, level 2
    {1, 4, 3, L"MP@HL"},  // main, level 3
    {1, 0, 0xFFFFFFFF, L"MP@HL"},  // the level compared unsigned
    {1, 3, 2, L"MP"},     // main, VBR two passes: no level
    {2, 0, 1, L"CP"},     // complex
    {2, 2, 0, L"CP"},     // complex, VBR
    {3, 0, 0, nullptr},   // no such profile: no name
};

TEST(DecoderComplexity, NamesFollowProfileModeAndLevel) {
    for (const ComplexityName& row : kComplexityNames) {
        const WCHAR* name = DecoderComplexityName(row.profile, row.mode, row.level);
        if (!row.name) {
            EXPECT_EQ(nullptr, name) << row.profile;
        } else {
            ASSERT_NE(nullptr, name) << row.profile << " " << row.mode << " " << row.level;
            EXPECT_EQ(std::wstring(row.name), std::wstring(name)) << row.profile << " " << row.mode << " " << row.level;
        }
    }
}

VideoStreamSettings VideoSettings(UINT32 mode) {
    VideoStreamSettings video{};
    video.codecIndex = 1;  // "Windows Media Video 9"
    video.mode = mode;
    video.bitrate = 400000;
    video.bufferWindow = 5000;
    video.width = 320;
    video.height = 240;
    video.framesPerSecond = 30;
    video.quality = 60;
    video.maxKeyFrameSpacing = 8000;
    video.decoderProfile = 1;
    video.decoderLevel = 2;
    video.complexity = 3;
    video.peakBitrate = 900000;
    video.peakBufferWindow = 4000;
    video.language = 0x409;
    return video;
}

TEST_F(ProfileTest, AVideoStreamInModeZeroIsCbrOnePassWithTheLevelName) {
    win::ComPtr<IWMProfileManager> manager;
    ASSERT_EQ(S_OK, runtime_->kEntryPoints.createProfileManager(manager.put()));
    win::ComPtr<IWMProfile> profile;
    ASSERT_EQ(S_OK, manager->CreateEmptyProfile(WMT_VER_9_0, profile.put()));
    runtime_->ClearCalls();
    ASSERT_EQ(S_OK, CreateVideoStream(VideoSettings(0), profile.get(), 0));
    EXPECT_THAT(runtime_->Calls(),
                ElementsAre("Profile.CreateNewStream(Video)", "Stream.SetBitrate(400000)", "Stream.SetBufferWindow(5000)",
                            "WMCreateProfileManager()",
                            "CodecInfo.SetCodecEnumerationSetting(Video, 1, _VBRENABLED, 3, 0, 4)",
                            "CodecInfo.SetCodecEnumerationSetting(Video, 1, _PASSESUSED, 0, 1, 4)",
                            "CodecInfo.GetCodecFormat(Video, 1, 0)", "Format.GetMediaType(null)",
                            "Format.GetMediaType(buffer, 160)", "Stream.SetMediaType(Video)", "Stream.SetQuality(60)",
                            "Stream.SetMaxKeyFrameSpacing(80000000)", "Stream.SetProperty(_VBRENABLED, 3, 0, 4)",
                            "Stream.SetProperty(_COMPLEXITYEX, 0, 3, 4)",
                            "Stream.SetProperty(_DECODERCOMPLEXITYPROFILE, 1, MP@ML, 12)", "Stream.SetLanguage(en-us)",
                            "Stream.SetStreamName(Video0)", "Stream.SetConnectionName(WMLiveWmv9Video1)",
                            "Profile.AddStream(Video0)"));
    const std::vector<BYTE>& type = runtime_->addedStreams.at(0).mediaType;
    const WMVIDEOINFOHEADER& header = fake::FormatOf<WMVIDEOINFOHEADER>(type);
    EXPECT_EQ(400000u, header.dwBitRate);
    EXPECT_EQ(320, header.rcSource.right);
    EXPECT_EQ(240, header.rcTarget.bottom);
    EXPECT_EQ(320, header.bmiHeader.biWidth);
    EXPECT_EQ(240, header.bmiHeader.biHeight);
    EXPECT_EQ(333333, header.AvgTimePerFrame);
    EXPECT_EQ(0x33564D57u, header.bmiHeader.biCompression);  // the codec's own fields stay
}

TEST_F(ProfileTest, AVideoStreamInModeFourIsVbrTwoPassWithPeaksAndExtensions) {
    win::ComPtr<IWMProfileManager> manager;
    ASSERT_EQ(S_OK, runtime_->kEntryPoints.createProfileManager(manager.put()));
    win::ComPtr<IWMProfile> profile;
    ASSERT_EQ(S_OK, manager->CreateEmptyProfile(WMT_VER_9_0, profile.put()));
    VideoStreamSettings video = VideoSettings(4);
    video.contentTypeExtension = TRUE;
    video.pixelAspectRatioExtension = TRUE;
    runtime_->ClearCalls();
    ASSERT_EQ(S_OK, CreateVideoStream(video, profile.get(), 2));
    EXPECT_THAT(runtime_->CallsStartingWith("CodecInfo.SetCodecEnumerationSetting"),
                ElementsAre("CodecInfo.SetCodecEnumerationSetting(Video, 1, _VBRENABLED, 3, 1, 4)",
                            "CodecInfo.SetCodecEnumerationSetting(Video, 1, _PASSESUSED, 0, 2, 4)"));
    // The peaks come from the fields and the complexity from the level field, unlike modes 2 and 3.
    EXPECT_THAT(runtime_->CallsStartingWith("Stream.Set"),
                ElementsAre("Stream.SetBitrate(400000)", "Stream.SetBufferWindow(5000)", "Stream.SetMediaType(Video)",
                            "Stream.SetQuality(100)", "Stream.SetMaxKeyFrameSpacing(80000000)",
                            "Stream.SetProperty(_VBRENABLED, 3, 1, 4)", "Stream.SetProperty(_VBRQUALITY, 0, 60, 4)",
                            "Stream.SetProperty(_RMAX, 0, 900000, 4)", "Stream.SetProperty(_BMAX, 0, 4000, 4)",
                            "Stream.SetProperty(_COMPLEXITYEX, 0, 3, 4)",
                            "Stream.SetProperty(_DECODERCOMPLEXITYPROFILE, 1, MP@ML, 12)", "Stream.SetLanguage(en-us)",
                            "Stream.SetStreamName(Video2)", "Stream.SetConnectionName(WMLiveWmv9Video1)"));
    EXPECT_THAT(runtime_->CallsStartingWith("Stream.AddDataUnitExtension"),
                ElementsAre("Stream.AddDataUnitExtension(ContentType, 1, null, 0)",
                            "Stream.AddDataUnitExtension(PixelAspectRatio, 2, null, 0)"));
    video.mode = 2;  // VBR one pass: peaks forced to 0, the mode's own name
    runtime_->ClearCalls();
    ASSERT_EQ(S_OK, CreateVideoStream(video, profile.get(), 2));
    EXPECT_THAT(runtime_->CallsStartingWith("Stream.SetProperty"),
                ElementsAre("Stream.SetProperty(_VBRENABLED, 3, 1, 4)", "Stream.SetProperty(_VBRQUALITY, 0, 60, 4)",
                            "Stream.SetProperty(_RMAX, 0, 0, 4)", "Stream.SetProperty(_BMAX, 0, 0, 4)",
                            "Stream.SetProperty(_COMPLEXITYEX, 0, 3, 4)",
                            "Stream.SetProperty(_DECODERCOMPLEXITYPROFILE, 1, MP, 6)"));
    video.mode = 1;  // CBR two passes: the catalogue lists no such format
    EXPECT_EQ(E_INVALIDARG, CreateVideoStream(video, profile.get(), 2));
    video.mode = 5;
    EXPECT_EQ(E_FAIL, CreateVideoStream(video, profile.get(), 0));
}

TEST_F(ProfileTest, NoDecoderNameIsANullValueOfLengthZero) {
    win::ComPtr<IWMProfileManager> manager;
    ASSERT_EQ(S_OK, runtime_->kEntryPoints.createProfileManager(manager.put()));
    win::ComPtr<IWMProfile> profile;
    ASSERT_EQ(S_OK, manager->CreateEmptyProfile(WMT_VER_9_0, profile.put()));
    VideoStreamSettings video = VideoSettings(0);
    video.decoderProfile = 7;
    runtime_->ClearCalls();
    ASSERT_EQ(S_OK, CreateVideoStream(video, profile.get(), 0));
    EXPECT_THAT(runtime_->CallsStartingWith("Stream.SetProperty(_DECODER"),
                ElementsAre("Stream.SetProperty(_DECODERCOMPLEXITYPROFILE, 1, null, 0)"));
}

TEST_F(ProfileTest, ADataUnitExtensionIsAddedOnlyWhenMissingOrTooSmall) {
    win::ComPtr<IWMProfileManager> manager;
    ASSERT_EQ(S_OK, runtime_->kEntryPoints.createProfileManager(manager.put()));
    win::ComPtr<IWMProfile> profile;
    ASSERT_EQ(S_OK, manager->CreateEmptyProfile(WMT_VER_9_0, profile.put()));
    win::ComPtr<IWMStreamConfig> stream;
    ASSERT_EQ(S_OK, profile->CreateNewStream(WMMEDIATYPE_Video, stream.put()));
    EXPECT_EQ(S_OK, EnsureDataUnitExtension(stream.get(), WM_SampleExtensionGUID_ContentType, 1));
    EXPECT_EQ(S_OK, EnsureDataUnitExtension(stream.get(), WM_SampleExtensionGUID_ContentType, 1));
    EXPECT_EQ(S_OK, EnsureDataUnitExtension(stream.get(), WM_SampleExtensionGUID_PixelAspectRatio, 2));
    EXPECT_EQ(S_OK, EnsureDataUnitExtension(stream.get(), WM_SampleExtensionGUID_ContentType, 3));
    EXPECT_THAT(runtime_->CallsStartingWith("Stream.AddDataUnitExtension"),
                ElementsAre("Stream.AddDataUnitExtension(ContentType, 1, null, 0)",
                            "Stream.AddDataUnitExtension(PixelAspectRatio, 2, null, 0)",
                            "Stream.AddDataUnitExtension(ContentType, 3, null, 0)"));
    runtime_->FailOn("Stream.QueryInterface(IWMStreamConfig2)", kRuntimeFailure);
    EXPECT_EQ(kRuntimeFailure, EnsureDataUnitExtension(stream.get(), WM_SampleExtensionGUID_ContentType, 9));
}

TEST(CopyMediaType, OneBlockWithTheFormatAtItsTail) {
    WAVEFORMATEX wave{};
    wave.nSamplesPerSec = 44100;
    WM_MEDIA_TYPE source{};
    source.majortype = WMMEDIATYPE_Audio;
    source.cbFormat = sizeof(wave);
    source.pbFormat = reinterpret_cast<BYTE*>(&wave);
    WM_MEDIA_TYPE* copy = reinterpret_cast<WM_MEDIA_TYPE*>(0xdeadbeef);
    EXPECT_EQ(E_POINTER, CopyMediaType(nullptr, &source));
    EXPECT_EQ(E_NOTIMPL, CopyMediaType(&copy, nullptr));
    EXPECT_EQ(reinterpret_cast<WM_MEDIA_TYPE*>(0xdeadbeef), copy);
    ASSERT_EQ(S_OK, CopyMediaType(&copy, &source));
    UniqueMediaType owned(copy);
    EXPECT_EQ(reinterpret_cast<BYTE*>(copy + 1), copy->pbFormat);
    EXPECT_EQ(44100u, reinterpret_cast<WAVEFORMATEX*>(copy->pbFormat)->nSamplesPerSec);
    EXPECT_TRUE(IsEqualGUID(WMMEDIATYPE_Audio, copy->majortype));
}

TEST_F(ProfileTest, OpenCodecInfoAddsAReferenceToAHeldOneOrCreatesAManager) {
    IWMCodecInfo3* info = reinterpret_cast<IWMCodecInfo3*>(0xdeadbeef);
    EXPECT_EQ(E_POINTER, OpenCodecInfo(nullptr, nullptr));
    runtime_->FailOn("Manager.QueryInterface(IWMCodecInfo3)", kRuntimeFailure, 1);
    EXPECT_EQ(kRuntimeFailure, OpenCodecInfo(nullptr, &info));
    EXPECT_EQ(reinterpret_cast<IWMCodecInfo3*>(0xdeadbeef), info);
    ASSERT_EQ(S_OK, OpenCodecInfo(nullptr, &info));
    IWMCodecInfo3* again = nullptr;
    ASSERT_EQ(S_OK, OpenCodecInfo(info, &again));
    EXPECT_EQ(info, again);
    EXPECT_EQ(1u, again->Release());
    EXPECT_EQ(0u, info->Release());
    EXPECT_THAT(runtime_->Calls(true),
                ElementsAre("WMCreateProfileManager()", "Manager.QueryInterface(IWMCodecInfo3)",
                            "WMCreateProfileManager()", "Manager.QueryInterface(IWMCodecInfo3)"));
}

}  // namespace
}  // namespace ombrel::test
