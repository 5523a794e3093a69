// The plug-in brought up by the player stand-in on the test thread, which plays the player's
// main thread: Init, the hooks and the timer live here, and the song worker's requests are
// answered whenever the test pumps. Broadcasts use the recording encoder unless a test puts
// the platform's factory back.
#pragma once

#include <windows.h>
#include <winsock.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "standin/player/Player.h"
#include "tests/plugin/RecordingEncoder.h"

namespace ombrel::test {

struct TrackFile {
    std::string fileName;
    std::string artist;
    std::string title;
    std::string album;
    std::string comment;
    int seconds = 3;
    bool longLowRate = false;  // 8000 Hz mono 8-bit, for long tracks that stay small
};

class BroadcastFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a WAV file with the tags into the test's folder; returns its path.
    std::string WriteTrack(const TrackFile& track);
    // The same with a UTF-16 file name and the tags given in UTF-8, as a player of 5.3 or later
    // reads them.
    std::wstring WriteUnicodeTrack(const std::wstring& fileName, const TrackFile& utf8Tags);
    // Creates the player with these files as its playlist and brings the plug-in up.
    void StartPlayer(const std::vector<std::string>& playlist, bool realtime = true, bool loop = false);

    // The player's playing-file notification, sent as the player sends it.
    void Announce(const std::string& path);
    // The notifications of the player for a file: the ANSI path the system makes of the UTF-16
    // one (3003), then, from a 5.3 or later player, the UTF-16 path (13003).
    void AnnounceW(const std::wstring& path);
    // Pumps until the encoder has received count title commands ("TEXT"), at most ms.
    bool WaitForTitles(RecordingEncoder* encoder, size_t count, DWORD ms = 10000);
    std::vector<std::string> Titles(RecordingEncoder* encoder);
    std::vector<std::string> KeepAlives(RecordingEncoder* encoder);

    // The script field of the main window (control 1044).
    std::string ScriptField();
    void SetScriptField(const char* text);

    std::string folder_;
    std::unique_ptr<standin::Player> player_;
    unsigned playerVersion_ = standin::kPlayerVersion5666;  // what StartPlayer's player answers
    standin::HostKind host_ = standin::HostKind::Standard;  // the kind of host StartPlayer plays
    std::unique_ptr<RecordingEncoders> encoders_;
    std::vector<std::string> files_;

private:
    WSADATA wsa_{};
    bool wsaStarted_ = false;
    std::string iniPath_;
};

}  // namespace ombrel::test
