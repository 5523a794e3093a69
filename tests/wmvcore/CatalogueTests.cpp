// The codec catalogue as the plug-in's catalogue and profile code see it.
#include <gtest/gtest.h>

#include <cwchar>

#include "encoder/Catalogue.h"
#include "encoder/Profile.h"
#include "standin/wmvcore/CodecCatalogue.h"
#include "standin/wmvcore/ComSupport.h"
#include "standin/wmvcore/WmaEncoder.h"
#include "tests/wmvcore/StandInSupport.h"

namespace ombrel::test {
namespace {

using CatalogueTest = StandInRuntimeTest;

win::ComPtr<IWMCodecInfo3> OpenInfo() {
    win::ComPtr<IWMCodecInfo3> info;
    EXPECT_HR(S_OK, ombrel::OpenCodecInfo(nullptr, info.put()));
    return info;
}

struct FormatRead {
    HRESULT hr;
    WAVEFORMATEX wave;
    DWORD bitrate;
};
FormatRead ReadFormat(DWORD codec, DWORD index, BOOL vbr, DWORD passes = 1) {
    WM_MEDIA_TYPE* raw = nullptr;
    win::ComPtr<IWMStreamConfig> config;
    FormatRead read{};
    read.hr = ombrel::GetCodecFormat(nullptr, WMMEDIATYPE_Audio, codec, index, vbr, passes, &raw, config.put());
    ombrel::UniqueMediaType type(raw);
    if (SUCCEEDED(read.hr) && type && type->cbFormat >= sizeof(WAVEFORMATEX)) {
        read.wave = *reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
        config->GetBitrate(&read.bitrate);
    }
    return read;
}

TEST_F(CatalogueTest, CodecsAreFoundByTheirPlatformNamesAtTheirIndices) {
    struct Row {
        const GUID* type;
        const WCHAR* name;
        DWORD index;
    };
    const Row rows[] = {
        {&WMMEDIATYPE_Audio, L"Windows Media Audio Voice 9", 0},          // filtered out by the plug-in's prefixes
        {&WMMEDIATYPE_Audio, L"Windows Media Audio 9.2", 1},              // the plug-in's default audio codec
        {&WMMEDIATYPE_Audio, L"Windows Media Audio 9.2 Lossless", 2},     // lossless by name
        {&WMMEDIATYPE_Audio, L"Windows Media Audio 10 Professional", 3},  // the professional codec
        {&WMMEDIATYPE_Video, L"Windows Media Video 9", 0},                // the only video codec
    };
    for (const Row& row : rows) {
        DWORD index = 99;
        EXPECT_HR(S_OK, ombrel::FindCodecIndex(*row.type, row.name, &index)) << std::string(row.name, row.name + wcslen(row.name));
        EXPECT_EQ(row.index, index);
    }
    DWORD index = 0;
    EXPECT_HR(E_FAIL, ombrel::FindCodecIndex(WMMEDIATYPE_Audio, L"Windows Media Audio 9", &index));
    EXPECT_EQ(static_cast<DWORD>(-1), index);
    DWORD count = 0;
    auto info = OpenInfo();
    EXPECT_HR(S_OK, info->GetCodecInfoCount(WMMEDIATYPE_Audio, &count));
    EXPECT_EQ(4u, count);
    EXPECT_HR(E_INVALIDARG, info->GetCodecInfoCount(WMMEDIATYPE_Script, &count));
}

TEST_F(CatalogueTest, DefaultsPickWma92FirstFormatAndTheLiveComplexity) {
    DWORD codec = 99, format = 99;
    EXPECT_HR(S_OK, ombrel::FindDefaultAudioCodec(&codec, &format));
    EXPECT_EQ(1u, codec);
    EXPECT_EQ(0u, format);
    EncoderSettings settings{};
    EXPECT_HR(S_OK, ombrel::FillDefaultEncoderSettings(nullptr, &settings));
    EXPECT_EQ(1u, settings.audio.codecIndex);
    EXPECT_EQ(0u, settings.video.codecIndex);
    EXPECT_EQ(2u, settings.video.complexity);
    DWORD offline = 0;
    EXPECT_HR(S_OK, ombrel::GetCodecComplexity(WMMEDIATYPE_Video, 0, FALSE, &offline));
    EXPECT_EQ(4u, offline);
    DWORD none = 77;
    EXPECT_HR(NS_E_UNSUPPORTED_PROPERTY, ombrel::GetCodecComplexity(WMMEDIATYPE_Audio, 1, TRUE, &none));
    EXPECT_EQ(77u, none);
}

TEST_F(CatalogueTest, FirstCbrFormatOfEveryPcmCodecIsCdPcm) {
    for (DWORD codec : {0, 2, 3}) {
        FormatRead read = ReadFormat(codec, 0, FALSE);
        EXPECT_HR(S_OK, read.hr) << "codec " << codec;
        EXPECT_EQ(WAVE_FORMAT_PCM, read.wave.wFormatTag) << "codec " << codec;
        EXPECT_EQ(44100u, read.wave.nSamplesPerSec) << "codec " << codec;
        EXPECT_EQ(2, read.wave.nChannels) << "codec " << codec;
        EXPECT_EQ(16, read.wave.wBitsPerSample) << "codec " << codec;
        EXPECT_EQ(1411200u, read.bitrate) << "codec " << codec;
    }
}

TEST_F(CatalogueTest, VbrAndCbrListDifferentFormatsAtTheSameIndex) {
    for (DWORD codec = 2; codec < 4; ++codec) {
        FormatRead cbr = ReadFormat(codec, 0, FALSE);
        FormatRead vbr = ReadFormat(codec, 0, TRUE);
        EXPECT_HR(S_OK, cbr.hr);
        EXPECT_HR(S_OK, vbr.hr);
        const bool same = cbr.wave.nSamplesPerSec == vbr.wave.nSamplesPerSec &&
                          cbr.wave.nChannels == vbr.wave.nChannels && cbr.wave.wBitsPerSample == vbr.wave.wBitsPerSample;
        EXPECT_FALSE(same) << "codec " << codec << ": both " << cbr.wave.nSamplesPerSec << " Hz "
                           << cbr.wave.nChannels << " ch " << cbr.wave.wBitsPerSample << " bit";
        EXPECT_EQ(WAVE_FORMAT_PCM, vbr.wave.wFormatTag);
    }
}

TEST_F(CatalogueTest, VoiceCodecRefusesTheVbrSettingButTheCbrProfileStillBuilds) {
    auto info = OpenInfo();
    for (BOOL value : {FALSE, TRUE}) {
        EXPECT_HR(static_cast<HRESULT>(0xC00D0BCD),
                  info->SetCodecEnumerationSetting(WMMEDIATYPE_Audio, 0, L"_VBRENABLED", WMT_TYPE_BOOL,
                                                   reinterpret_cast<const BYTE*>(&value), sizeof(value)))
            << "value " << value;
    }
    EXPECT_HR(S_OK, ReadFormat(0, 0, FALSE).hr);                                  // the plug-in tolerates the refusal
    EXPECT_HR(static_cast<HRESULT>(0xC00D0BCD), ReadFormat(0, 0, TRUE).hr);       // but not for VBR
}

TEST_F(CatalogueTest, TwoPassesListNoLiveFormats) {
    auto info = OpenInfo();
    for (DWORD codec = 0; codec < 4; ++codec) {
        DWORD passes = 2;
        EXPECT_HR(S_OK, info->SetCodecEnumerationSetting(WMMEDIATYPE_Audio, codec, L"_PASSESUSED", WMT_TYPE_DWORD,
                                                         reinterpret_cast<const BYTE*>(&passes), sizeof(passes)));
        DWORD count = 99;
        EXPECT_HR(S_OK, info->GetCodecFormatCount(WMMEDIATYPE_Audio, codec, &count));
        EXPECT_EQ(0u, count) << "codec " << codec;
    }
    EXPECT_HR(E_INVALIDARG, ReadFormat(1, 0, FALSE, 2).hr);
    DWORD three = 3;
    EXPECT_HR(NS_E_INVALID_NUM_PASSES,
              info->SetCodecEnumerationSetting(WMMEDIATYPE_Audio, 1, L"_PASSESUSED", WMT_TYPE_DWORD,
                                               reinterpret_cast<const BYTE*>(&three), sizeof(three)));
}

TEST_F(CatalogueTest, EnumerationSettingsPersistPerCodec) {
    auto info = OpenInfo();
    DWORD cbrCount = 0, vbrCount = 0;
    EXPECT_HR(S_OK, info->GetCodecFormatCount(WMMEDIATYPE_Audio, 2, &cbrCount));
    BOOL on = TRUE;
    EXPECT_HR(S_OK, info->SetCodecEnumerationSetting(WMMEDIATYPE_Audio, 2, L"_VBRENABLED", WMT_TYPE_BOOL,
                                                     reinterpret_cast<const BYTE*>(&on), sizeof(on)));
    EXPECT_HR(S_OK, info->GetCodecFormatCount(WMMEDIATYPE_Audio, 2, &vbrCount));
    EXPECT_EQ(4u, cbrCount);
    EXPECT_EQ(3u, vbrCount);
    // Codec 3 was not touched: still its CBR list.
    DWORD other = 0;
    EXPECT_HR(S_OK, info->GetCodecFormatCount(WMMEDIATYPE_Audio, 3, &other));
    EXPECT_EQ(4u, other);
    // Codec 2 stays VBR for later calls on the same object.
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    BOOL value = FALSE;
    DWORD size = sizeof(value);
    EXPECT_HR(S_OK, info->GetCodecEnumerationSetting(WMMEDIATYPE_Audio, 2, L"_VBRENABLED", &type,
                                                     reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(TRUE, value);
    EXPECT_EQ(WMT_TYPE_BOOL, type);
    DWORD again = 0;
    EXPECT_HR(S_OK, info->GetCodecFormatCount(WMMEDIATYPE_Audio, 2, &again));
    EXPECT_EQ(3u, again);
}

TEST_F(CatalogueTest, DescriptionsSayWhatThePcmIs) {
    struct Row {
        DWORD codec;
        BOOL vbr;
        DWORD index;
        const WCHAR* text;
    };
    const Row rows[] = {
        {1, FALSE, 0, L"192 kbps, 44 kHz, stereo 1-pass CBR"},        // the default format
        {2, FALSE, 0, L"44 kHz, stereo, 16-bit PCM (1411 kbps)"},     // CD audio, lossless
        {0, FALSE, 3, L"8 kHz, mono, 16-bit PCM (128 kbps)"},         // voice's telephone rate
        {2, TRUE, 0, L"96 kHz, stereo, 24-bit PCM (4608 kbps)"},      // lossless VBR list
        {3, TRUE, 2, L"44 kHz, 6 channels, 24-bit PCM (6350 kbps)"},  // surround, rounded kbps
    };
    auto info = OpenInfo();
    for (const Row& row : rows) {
        BOOL vbr = row.vbr;
        if (row.codec != 0) {
            ASSERT_HR(S_OK, info->SetCodecEnumerationSetting(WMMEDIATYPE_Audio, row.codec, L"_VBRENABLED",
                                                             WMT_TYPE_BOOL, reinterpret_cast<const BYTE*>(&vbr),
                                                             sizeof(vbr)));
        }
        DWORD length = 0;
        EXPECT_HR(S_OK, info->GetCodecFormatDesc(WMMEDIATYPE_Audio, row.codec, row.index, nullptr, nullptr, &length));
        EXPECT_EQ(wcslen(row.text) + 1, length);
        WCHAR text[128] = {};
        DWORD size = 128;
        EXPECT_HR(S_OK, info->GetCodecFormatDesc(WMMEDIATYPE_Audio, row.codec, row.index, nullptr, text, &size));
        EXPECT_EQ(std::wstring(row.text), std::wstring(text));
    }
    WCHAR small[4];
    DWORD size = 4;
    EXPECT_HR(wmstandin::kBufferTooSmall, info->GetCodecName(WMMEDIATYPE_Audio, 1, small, &size));
    EXPECT_EQ(24u, size);
}

// Every PCM format takes its true bit rate. Every WMA format is what the encoder made of it:
// tag 0x0161 with the encoder's 10 extra bytes, and the bit rate its blocks take, one block of
// the block alignment per 2048 frames; highest first. The encoder has no VBR mode.
TEST_F(CatalogueTest, EveryListedAudioFormatIsWhatItsEncoderMakes) {
    auto info = OpenInfo();
    for (DWORD codec = 0; codec < 4; ++codec) {
        DWORD previousKbps = ~0u;
        for (BOOL vbr : {FALSE, TRUE}) {
            if (codec == 0 && vbr) continue;
            if (codec != 0) {
                ASSERT_HR(S_OK, info->SetCodecEnumerationSetting(WMMEDIATYPE_Audio, codec, L"_VBRENABLED",
                                                                 WMT_TYPE_BOOL, reinterpret_cast<const BYTE*>(&vbr),
                                                                 sizeof(vbr)));
            }
            DWORD count = 0;
            ASSERT_HR(S_OK, info->GetCodecFormatCount(WMMEDIATYPE_Audio, codec, &count));
            if (codec == 1 && vbr) {
                EXPECT_EQ(0u, count);
                continue;
            }
            EXPECT_GT(count, codec == 1 ? 13u : 0u) << "codec " << codec << " vbr " << vbr;
            for (DWORD i = 0; i < count; ++i) {
                win::ComPtr<IWMStreamConfig> config;
                ASSERT_HR(S_OK, info->GetCodecFormat(WMMEDIATYPE_Audio, codec, i, config.put()));
                win::ComPtr<IWMMediaProps> props;
                ASSERT_HR(S_OK, config.As(IID_IWMMediaProps, &props));
                std::vector<BYTE> block = ReadMediaType(props.get());
                const WAVEFORMATEX* wave = WaveOf(block);
                ASSERT_NE(nullptr, wave);
                const auto* type = reinterpret_cast<const WM_MEDIA_TYPE*>(block.data());
                DWORD bitrate = 0;
                config->GetBitrate(&bitrate);
                if (codec == 1) {
                    EXPECT_TRUE(IsEqualGUID(wmstandin::kWmaV2Subtype, type->subtype)) << "format " << i;
                    EXPECT_EQ(wmstandin::kWmaV2Tag, wave->wFormatTag) << "format " << i;
                    EXPECT_EQ(10, wave->cbSize) << "format " << i;
                    EXPECT_EQ(sizeof(WAVEFORMATEX) + 10, type->cbFormat) << "format " << i;
                    EXPECT_EQ(wave->nBlockAlign, type->lSampleSize) << "format " << i;
                    const DWORD perSecond = (wave->nBlockAlign * wave->nSamplesPerSec + 2047) / 2048;
                    EXPECT_EQ(perSecond, wave->nAvgBytesPerSec) << "format " << i;
                    EXPECT_EQ(perSecond * 8, bitrate) << "format " << i;
                    // Listed by the bit rate asked of the encoder, in whole kbps.
                    EXPECT_LE((bitrate + 500) / 1000, previousKbps) << "format " << i;
                    previousKbps = (bitrate + 500) / 1000;
                    continue;
                }
                EXPECT_TRUE(IsEqualGUID(WMMEDIASUBTYPE_PCM, type->subtype)) << "codec " << codec << " format " << i;
                EXPECT_EQ(WAVE_FORMAT_PCM, wave->wFormatTag);
                EXPECT_EQ(wave->nSamplesPerSec * wave->nChannels * wave->wBitsPerSample, bitrate)
                    << "codec " << codec << " format " << i;
            }
        }
    }
}

}  // namespace
}  // namespace ombrel::test
