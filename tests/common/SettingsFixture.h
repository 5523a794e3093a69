// What the settings tests share: a fresh temp folder per test, file text helpers, and the
// plug-in's globals reset to the state Init leaves before it loads the file.
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
#include "win/UniqueAny.h"

namespace ombrel::test {

// A new folder under the user's temp folder, removed with its files at the end.
class TempFolder {
public:
    TempFolder() {
        static std::atomic<unsigned> counter{0};
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate = std::string(temp) + "ombrel_settings_" +
                                          std::to_string(GetCurrentProcessId()) + "_" +
                                          std::to_string(counter++);
            if (CreateDirectoryA(candidate.c_str(), nullptr)) path_ = candidate;
        }
    }
    ~TempFolder() {
        if (path_.empty()) return;
        WIN32_FIND_DATAA found;
        win::UniqueFind find(FindFirstFileA((path_ + "\\*").c_str(), &found));
        if (find) {
            do {
                const std::string name = found.cFileName;
                if (name != "." && name != "..") DeleteFileA(File(name.c_str()).c_str());
            } while (FindNextFileA(find.get(), &found));
        }
        find.reset();
        RemoveDirectoryA(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool Created() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    std::string File(const char* name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

inline std::string ReadFileBytes(const std::string& path) {
    win::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    return bytes;
}

inline bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    win::UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

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
    std::string FileText() const { return ReadFileBytes(IniPath()); }

    TempFolder folder_;
};

}  // namespace ombrel::test
