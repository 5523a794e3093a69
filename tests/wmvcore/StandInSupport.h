// Shared by the stand-in's tests: result codes printed in hex, media type reading, a profile
// built the way the plug-in builds it, and the plug-in's entry point table aimed at the
// stand-in's objects in-process.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "encoder/RuntimeEntryPoints.h"
#include "encoder/WmSdk.h"
#include "standin/wmvcore/InputFormats.h"
#include "standin/wmvcore/Objects.h"
#include "win/ComApartment.h"
#include "win/ComPtr.h"

namespace ombrel::test {

inline std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}
#define EXPECT_HR(expected, actual) EXPECT_EQ(Hex(expected), Hex(actual))
#define ASSERT_HR(expected, actual) ASSERT_EQ(Hex(expected), Hex(actual))

// The media type of any IWMMediaProps as one block.
inline std::vector<BYTE> ReadMediaType(IWMMediaProps* props, HRESULT* result = nullptr) {
    DWORD size = 0;
    HRESULT hr = props->GetMediaType(nullptr, &size);
    std::vector<BYTE> block;
    if (SUCCEEDED(hr)) {
        block.resize(size);
        hr = props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(block.data()), &size);
    }
    if (result) *result = hr;
    if (FAILED(hr)) block.clear();
    return block;
}
inline const WAVEFORMATEX* WaveOf(const std::vector<BYTE>& block) {
    if (block.size() < sizeof(WM_MEDIA_TYPE)) return nullptr;
    const auto* type = reinterpret_cast<const WM_MEDIA_TYPE*>(block.data());
    if (type->cbFormat < sizeof(WAVEFORMATEX)) return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
}

inline WAVEFORMATEX Pcm(DWORD rate, WORD channels, WORD bits) { return wmstandin::PlainPcm(rate, channels, bits); }

inline WM_MEDIA_TYPE PcmType(WAVEFORMATEX* wave) {
    WM_MEDIA_TYPE type{};
    type.majortype = WMMEDIATYPE_Audio;
    type.subtype = WMMEDIASUBTYPE_PCM;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = wave->nBlockAlign;
    type.formattype = WMFORMAT_WaveFormatEx;
    type.cbFormat = sizeof(WAVEFORMATEX);
    type.pbFormat = reinterpret_cast<BYTE*>(wave);
    return type;
}

// Adds a stream of the given type with the media type, connection name and bit rate.
inline HRESULT AddStream(IWMProfile* profile, const GUID& streamType, WM_MEDIA_TYPE* type, const WCHAR* connection,
                         DWORD bitrate) {
    win::ComPtr<IWMStreamConfig> config;
    HRESULT hr = profile->CreateNewStream(streamType, config.put());
    if (FAILED(hr)) return hr;
    win::ComPtr<IWMMediaProps> props;
    hr = config.As(IID_IWMMediaProps, &props);
    if (SUCCEEDED(hr)) hr = props->SetMediaType(type);
    if (SUCCEEDED(hr)) hr = config->SetConnectionName(connection);
    if (SUCCEEDED(hr)) hr = config->SetStreamName(connection);
    if (SUCCEEDED(hr)) hr = config->SetBitrate(bitrate);
    if (SUCCEEDED(hr)) hr = config->SetBufferWindow(3000);
    if (SUCCEEDED(hr)) hr = profile->AddStream(config.get());
    return hr;
}

inline HRESULT AddPcmStream(IWMProfile* profile, WAVEFORMATEX wave) {
    WM_MEDIA_TYPE type = PcmType(&wave);
    return AddStream(profile, WMMEDIATYPE_Audio, &type, L"Audio", wave.nAvgBytesPerSec * 8);
}

inline HRESULT AddScriptStream(IWMProfile* profile) {
    WMSCRIPTFORMAT format{WMSCRIPTTYPE_TwoStrings};
    WM_MEDIA_TYPE type{};
    type.majortype = WMMEDIATYPE_Script;
    type.formattype = WMFORMAT_Script;
    type.bTemporalCompression = TRUE;
    type.cbFormat = sizeof(format);
    type.pbFormat = reinterpret_cast<BYTE*>(&format);
    return AddStream(profile, WMMEDIATYPE_Script, &type, L"Script", 10000);
}

// Aims the plug-in's runtime table at the stand-in's objects for the life of the fixture.
class StandInRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = ombrel::ActiveRuntimeEntryPoints();
        ombrel::RuntimeEntryPoints& active = ombrel::ActiveRuntimeEntryPoints();
        active.createProfileManager = [](IWMProfileManager** manager) {
            return wmstandin::CreateProfileManager(manager);
        };
        active.createWriter = [](IUnknown*, IWMWriter** writer) { return wmstandin::CreateWriter(writer); };
    }
    void TearDown() override { ombrel::ActiveRuntimeEntryPoints() = saved_; }

private:
    win::ComApartment com_;  // the plug-in asks the platform's language service for tags
    ombrel::RuntimeEntryPoints saved_{};
};

}  // namespace ombrel::test
