// The encoder under test with the runtime stand-in in place and COM started on the thread.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "encoder/WmLiveEncoder.h"
#include "tests/common/FakeRuntime.h"
#include "win/ComApartment.h"

namespace ombrel::test {

constexpr HRESULT kRuntimeFailure = static_cast<HRESULT>(0xC00D1234);
constexpr DWORD kPoison = 0xdeadbeef;

inline InputFormat AudioFormat(INT32 rate = 44100, INT32 channels = 2, INT32 bits = 16, BOOL script = FALSE) {
    InputFormat format{};
    format.audioEnabled = TRUE;
    format.sampleRate = rate;
    format.channels = channels;
    format.bitsPerSample = bits;
    format.scriptEnabled = script;
    return format;
}

// Settings against the standard stand-in catalogue: codec 1 ("Windows Media Audio 9.2").
inline EncoderSettings StandardSettings() {
    EncoderSettings settings{};
    settings.audio.bufferWindow = 5000;
    settings.audio.codecIndex = 1;
    settings.audio.formatIndex = 0;
    settings.audio.vbrEnabled = FALSE;
    settings.audio.passes = 1;
    settings.audio.language = 0x409;
    settings.script.bitrate = 10000;
    settings.script.bufferWindow = 5000;
    settings.script.language = 0x411;
    return settings;
}

inline std::string ErrorOf(ombrel::WmLiveEncoder& encoder) { return encoder.errorText; }

class EncoderTest : public ::testing::Test {
protected:
    void TearDown() override {
        delete encoder_;
        encoder_ = nullptr;
    }
    ombrel::WmLiveEncoder& Encoder() {
        if (!encoder_) encoder_ = new ombrel::WmLiveEncoder();
        return *encoder_;
    }
    // Initialize, Configure (audio, optionally script) and Start, each expected to succeed.
    void StartEncoder(const InputFormat& format = AudioFormat()) {
        EncoderSettings settings = StandardSettings();
        ASSERT_EQ(S_OK, Encoder().Initialize());
        HRESULT hr = Encoder().Configure(&format, &settings);
        ASSERT_EQ(S_OK, hr) << std::hex << hr << " " << ErrorOf(Encoder());
        ASSERT_EQ(S_OK, Encoder().Start());
        runtime_->ClearCalls();
    }

    win::ComApartment com_;
    fake::ScopedRuntime runtime_;
    ombrel::WmLiveEncoder* encoder_ = nullptr;
};

}  // namespace ombrel::test
