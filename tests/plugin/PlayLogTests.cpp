// The play log: one line per announced track while broadcasting, with the playlist's title.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "plugin/BroadcastControl.h"
#include "plugin/CurrentFile.h"
#include "plugin/PlayLog.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "tests/common/Files.h"
#include "tests/common/MessagePump.h"
#include "tests/common/PlayerWindow.h"
#include "tests/plugin/BroadcastFixture.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

TEST(PlayLogLine, DateTimeTitleAndLineEnd) {
    SYSTEMTIME t{};
    t.wYear = 2008;
    t.wMonth = 3;
    t.wDay = 9;
    t.wHour = 7;
    t.wMinute = 5;
    t.wSecond = 2;
    EXPECT_EQ("2008/03/09 07:05:02 > Song\r\n", FormatPlayLogLine(t, "Song"));
    EXPECT_EQ("2008/03/09 07:05:02 > \r\n", FormatPlayLogLine(t, nullptr));
    EXPECT_EQ("2008/03/09 07:05:02 > 100% %s %n\r\n", FormatPlayLogLine(t, "100% %s %n"));
    t = SYSTEMTIME{};
    t.wYear = 12;
    t.wMonth = 12;
    t.wDay = 31;
    t.wHour = 23;
    t.wMinute = 59;
    t.wSecond = 59;
    EXPECT_EQ("0012/12/31 23:59:59 > x\r\n", FormatPlayLogLine(t, "x"));
}

std::string Stamp(const SYSTEMTIME& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

// The lines of the log, each with its CR LF.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end + 2 - at));
    if (at < text.size()) lines.push_back(text.substr(at));
    return lines;
}

class PlayLog : public BroadcastFixture {
protected:
    void SetUp() override {
        BroadcastFixture::SetUp();
        a_ = WriteTrack({"a.wav", "Artist A", "Title A", "Album A", "", 2});
        b_ = WriteTrack({"b.wav", "Artist B", "Title B", "Album B", "", 2});
        StartPlayer({a_, b_});
        _settings.extra._fPlayLog = TRUE;
        log_ = _settings.extra._cPlayLog;
    }

    std::vector<std::string> LogLines() { return Lines(ReadWholeFile(log_)); }

    // Checks one line's form and that its time lies between the two given.
    void ExpectLine(const std::string& line, const char* title, const SYSTEMTIME& before, const SYSTEMTIME& after) {
        static const std::regex form(R"(^\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2} > )");
        EXPECT_TRUE(std::regex_search(line, form)) << line;
        const std::string stamp = line.substr(0, 19);
        EXPECT_LE(Stamp(before), stamp);
        EXPECT_GE(Stamp(after), stamp);
        EXPECT_EQ(std::string(" > ") + title + "\r\n", line.substr(19)) << line;
    }

    std::string a_, b_, log_;
};

TEST_F(PlayLog, EachAnnouncementAddsALineWithTheLocalTimeAndThePlaylistTitle) {
    StartBroadcast();
    SYSTEMTIME before{};
    ::GetLocalTime(&before);
    Announce(a_);
    Announce(a_);
    SYSTEMTIME after{};
    ::GetLocalTime(&after);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(2u, lines.size()) << ReadWholeFile(log_);
    ExpectLine(lines[0], "Artist A - Title A", before, after);
    ExpectLine(lines[1], "Artist A - Title A", before, after);
}

TEST_F(PlayLog, TheTitleIsThePlaylistEntrysNotTheAnnouncedFilesTags) {
    player_->SetPosition(1);
    StartBroadcast();
    Announce(a_);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(" > Artist B - Title B\r\n", lines[0].substr(19));
}

TEST_F(PlayLog, ThePlayersOwnAnnouncementIsLoggedWhilePlaying) {
    StartBroadcast();
    player_->Play();
    ASSERT_TRUE(PumpUntil(10000, [&] { return !LogLines().empty(); }));
    EXPECT_EQ(" > Artist A - Title A\r\n", LogLines()[0].substr(19));
}

// The track playing at 配信開始 opens the broadcast's log, once.
TEST_F(PlayLog, TheTrackPlayingAtTheStartIsTheBroadcastsFirstLine) {
    player_->Play();
    ASSERT_TRUE(PumpUntil(10000, [&] { return CurrentFile() == a_; }));
    StartBroadcast();
    ASSERT_TRUE(PumpUntil(3000, [&] { return !LogLines().empty(); }));
    EXPECT_EQ(" > Artist A - Title A\r\n", LogLines()[0].substr(19));
    Pump(1500);
    EXPECT_EQ(1u, LogLines().size());
}

TEST_F(PlayLog, NothingIsWrittenWhileIdleOrWithTheLogOff) {
    Announce(a_);
    EXPECT_FALSE(FileExists(log_)) << "not broadcasting";
    StartBroadcast();
    _settings.extra._fPlayLog = FALSE;
    Announce(a_);
    EXPECT_FALSE(FileExists(log_)) << "log off";
    _settings.extra._fPlayLog = TRUE;
    StopBroadcast();
    Announce(a_);
    EXPECT_FALSE(FileExists(log_)) << "stopped";
}

TEST_F(PlayLog, SongDetectionDoesNotMatter) {
    _fSongDetect = 0;
    StartBroadcast();
    Announce(a_);
    EXPECT_EQ(1u, LogLines().size());
}

TEST_F(PlayLog, NoTitleFromThePlayerGivesAnEmptyTitle) {
    player_->SetTitleAnswersNull(true);
    StartBroadcast();
    Announce(a_);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(" > \r\n", lines[0].substr(19));
}

// A player window of this thread whose title pointer cannot be read.
LRESULT CALLBACK BadTitleHost(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kPlayerMessage && lParam == kRequestPlaylistPosition) return 0;
    if (msg == kPlayerMessage && lParam == kRequestPlaylistTitle)
        return reinterpret_cast<LRESULT>(::GetPropA(hwnd, "title"));
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST_F(PlayLog, AnUnreadableTitleFromThePlayerGivesAnEmptyTitle) {
    win::UniqueWindow host = CreatePlayerWindow(BadTitleHost, "OmbrelBadTitleHost");
    ASSERT_TRUE(host);
    void* noAccess = ::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
    ::SetPropA(host.get(), "title", noAccess);

    StartBroadcast();
    HWND player = _hwndHost;
    _hwndHost = host.get();
    Announce(a_);
    _hwndHost = player;
    ::VirtualFree(noAccess, 0, MEM_RELEASE);

    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(" > \r\n", lines[0].substr(19));
}

TEST_F(PlayLog, ALogThatCannotBeOpenedIsSkippedAndTheTitleStillGoesOut) {
    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    size_t titles = 0;
    for (const std::string& path : {folder_, std::string(), folder_ + "\\no\\such\\folder\\log.txt"}) {
        _settings.extra._cPlayLog = path;
        Announce(a_);
        EXPECT_TRUE(WaitForTitles(encoder, ++titles)) << path;
    }
    EXPECT_FALSE(FileExists(folder_ + "\\no"));
}

TEST_F(PlayLog, LinesAreAppendedToWhatTheFileHolds) {
    {
        win::UniqueFile file(::CreateFileA(log_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ::WriteFile(file.get(), "earlier\r\n", 9, &written, nullptr);
    }

    StartBroadcast();
    Announce(a_);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("earlier\r\n", lines[0]);
    EXPECT_EQ(" > Artist A - Title A\r\n", lines[1].substr(19));
}

}  // namespace
}  // namespace ombrel::test
