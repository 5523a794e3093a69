// What the settings tests share: file text helpers and the plug-in's globals reset to the state
// Init leaves before it loads the file.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "tests/common/ExpectedCodePage.h"
#include "tests/common/Files.h"
#include "win/UniqueAny.h"

namespace ombrel::test {

// The lines of a file's text without their line ends; blank lines are left out because
// the layout between sections is the platform's business.
inline std::vector<std::string> NonBlankLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The encoder catalogue's defaults, as Init has them before loading the settings.
constexpr UINT32 kEncoderAudioBufferWindow = 5000;
constexpr UINT32 kEncoderAudioCodecIndex = 2;
constexpr UINT32 kEncoderScriptBitrate = 10000;
constexpr UINT32 kEncoderScriptBufferWindow = 5000;

class SettingsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGlobals();
        ASSERT_TRUE(folder_.Created()) << "no temp folder under " << folder_.Path();
    }
    void TearDown() override {
        _settings = Settings{};
        _inputFormat = InputFormat{};
        _encoderSettings = EncoderSettings{};
    }

    // Init's state before it loads the file: built-in defaults and the encoder catalogue's.
    static void ResetGlobals() {
        _settings = Settings{};
        _inputFormat = InputFormat{};
        _encoderSettings = EncoderSettings{};
        _encoderSettings.audio.bufferWindow = kEncoderAudioBufferWindow;
        _encoderSettings.audio.codecIndex = kEncoderAudioCodecIndex;
        _encoderSettings.audio.formatIndex = 0;
        _encoderSettings.audio.language = GetSystemDefaultLCID();
        _encoderSettings.script.bitrate = kEncoderScriptBitrate;
        _encoderSettings.script.bufferWindow = kEncoderScriptBufferWindow;
        _encoderSettings.script.language = GetSystemDefaultLCID();
        SetDefaultSettings();
    }

    std::string IniPath() const { return folder_.File("dsp_ombrel.ini"); }
    std::string LogPath() const { return folder_.File("dsp_ombrel_log.txt"); }
    void Load() { LoadSettingsFile(IniPath().c_str(), LogPath().c_str()); }
    void Save() { SaveSettingsFile(IniPath().c_str()); }
    std::string FileText() const { return ReadWholeFile(IniPath()); }

    TempFolder folder_;
};

}  // namespace ombrel::test
