// The requests the plug-in sends to the main window, answered through real SendMessage calls.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "plugin/PlayerRequests.h"
#include "standin/player/JapaneseTags.h"
#include "standin/player/Player.h"
#include "standin/player/WideText.h"
#include "tests/standin/TestFiles.h"

using namespace standin;

namespace ombrel::test {
namespace {

LRESULT Ask(HWND window, WPARAM wParam, LPARAM request) {
    return ::SendMessageA(window, kPlayerMessage, wParam, request);
}

class RequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.IsValid());
        tagged_ = folder_.File("tagged.wav");
        titleOnly_ = folder_.File("title only.wav");
        japanese_ = folder_.File("japanese.wav");
        garbage_ = folder_.File("garbage.wav");
        ASSERT_TRUE(WriteWavFile(tagged_, ToneContents({22050, 1, 8}, 50000,
                                                       FullTags("Song A", "Artist A"))));
        WavTags titleOnly;
        titleOnly.title = std::string("Lonely Title");
        ASSERT_TRUE(WriteWavFile(titleOnly_, ToneContents({44100, 2, 16}, 44099, titleOnly)));
        ASSERT_TRUE(WriteWavFile(japanese_, ToneContents({48000, 2, 24}, 96000,
                                                         FullTags(JapaneseTitle(),
                                                                  JapaneseArtist()))));
        ASSERT_TRUE(WriteBytesToFile(garbage_, std::vector<uint8_t>(100, 0x5A)));
        PlayerOptions options;
        options.files = {tagged_, titleOnly_, japanese_};
        player_ = std::make_unique<Player>(options);
        ASSERT_NE(player_->Window(), nullptr);
    }

    HWND Window() const { return player_->Window(); }

    TempFolder folder_{"ombrel-request-test"};
    std::string tagged_, titleOnly_, japanese_, garbage_;
    std::unique_ptr<Player> player_;
};

TEST_F(RequestTest, MainWindowHasThePlayerClassAndIsTopLevel) {
    char name[64] = {};
    ::GetClassNameA(Window(), name, sizeof(name));
    EXPECT_STREQ(name, "Winamp v1.x");
    EXPECT_EQ(::GetParent(Window()), nullptr);
    EXPECT_EQ(::GetWindowThreadProcessId(Window(), nullptr), ::GetCurrentThreadId());
    EXPECT_EQ(::FindWindowA("Winamp v1.x", "Ombrel player stand-in"), Window());
}

// As the player installed per user: %APPDATA%\Winamp, there once asked; or the folder it was given.
TEST_F(RequestTest, SettingsFolderIsAPerUserFolderThatExists) {
    char appData[MAX_PATH] = "";
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData)));
    const auto* folder = reinterpret_cast<const char*>(Ask(Window(), 0, kRequestSettingsFolder));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(std::string(folder), std::string(appData) + "\\Winamp");
    const DWORD attributes = ::GetFileAttributesA(folder);
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << folder;

    PlayerOptions options;
    options.settingsFolder = folder_.File("player settings\\");
    Player given(options);
    folder = reinterpret_cast<const char*>(Ask(given.Window(), 0, kRequestSettingsFolder));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(std::string(folder), folder_.File("player settings")) << "no final separator";
    EXPECT_NE(::GetFileAttributesA(folder), INVALID_FILE_ATTRIBUTES) << "created";
    const auto* wide = reinterpret_cast<const wchar_t*>(Ask(given.Window(), 0, kRequestSettingsFolderW));
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::wstring(wide), given.SettingsFolder()) << "5.58 and later answer 1335 in UTF-16";
    ::RemoveDirectoryA(folder);

    // 2.95 knows no 1335 and names its install folder on 335.
    options.version = kPlayerVersion295;
    options.installFolder = folder_.Path();
    Player old(options);
    EXPECT_EQ(Ask(old.Window(), 0, kRequestSettingsFolderW), 1);
    folder = reinterpret_cast<const char*>(Ask(old.Window(), 0, kRequestSettingsFolder));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(std::string(folder), folder_.Path());
    ::RemoveDirectoryA(folder_.File("player settings").c_str());
}

TEST_F(RequestTest, StoppedPlayerAnswersStateAndPosition) {
    EXPECT_EQ(Ask(Window(), 0, kRequestIsPlaying), 0);
    EXPECT_EQ(Ask(Window(), 0, kRequestPlaylistPosition), 0);
    player_->SetPosition(2);
    EXPECT_EQ(Ask(Window(), 0, kRequestPlaylistPosition), 2);
    player_->SetPosition(7);
    EXPECT_EQ(Ask(Window(), 0, kRequestPlaylistPosition), 2) << "out of range positions are ignored";
}

TEST_F(RequestTest, TitleIsArtistDashTitleOrTheFileName) {
    struct Case {
        WPARAM position;
        std::string expected;
    } cases[] = {{0, "Artist A - Song A"},
                 {1, "title only.wav"},
                 {2, std::string(JapaneseArtist()) + " - " + JapaneseTitle()}};
    for (const Case& c : cases) {
        const auto* title = reinterpret_cast<const char*>(Ask(Window(), c.position, 212));
        ASSERT_NE(title, nullptr) << "position " << c.position;
        EXPECT_EQ(std::string(title), c.expected) << "position " << c.position;
        EXPECT_EQ(Ask(Window(), c.position, 212), reinterpret_cast<LRESULT>(title))
            << "the title storage moved between two requests";
    }
}

TEST_F(RequestTest, TitleIsNullOutOfRangeAndWithTheKnob) {
    EXPECT_EQ(Ask(Window(), 3, kRequestPlaylistTitle), 0);
    EXPECT_EQ(Ask(Window(), WPARAM(-1), kRequestPlaylistTitle), 0);
    player_->SetTitleAnswersNull(true);
    EXPECT_EQ(Ask(Window(), 0, kRequestPlaylistTitle), 0);
    player_->SetTitleAnswersNull(false);
    EXPECT_NE(Ask(Window(), 0, kRequestPlaylistTitle), 0);
}

// A 5.666 player answers the UTF-16 requests (UTF-8 tags as read, ANSI ones converted); a 2.95
// one answers request 0 with its version and every UTF-16 request with 1, as unknown requests.
TEST_F(RequestTest, UnicodeRequestsAnswerByVersion) {
    const std::wstring path = WideFromAnsi(folder_.Path()) + L"\\\ubd04\ub0a0.wav";
    WavTags tags = FullTags(u8"\ubd04\ub0a0 \U0001F3B5", u8"Beyonc\u00e9");
    tags.utf8 = true;
    ASSERT_TRUE(WriteWavFile(path, ToneContents({44100, 2, 16}, 88200, tags)));
    for (const unsigned version : {kPlayerVersion5666, kPlayerVersion295}) {
        PlayerOptions options;
        options.files = {tagged_};
        options.wideFiles = {path};
        options.version = version;
        Player player(options);
        const bool unicode = version == kPlayerVersion5666;
        EXPECT_EQ(Ask(player.Window(), 0, kRequestVersion), LRESULT(version));
        wchar_t buffer[kTagAnswerSize] = {};
        TagRequestRecordW tag{path.c_str(), L"title", buffer, kTagAnswerSize};
        EXPECT_EQ(Ask(player.Window(), reinterpret_cast<WPARAM>(&tag), kRequestTagW), 1);
        BasicInfoRecordW info{path.c_str(), 0, -7, nullptr, 0};
        EXPECT_EQ(Ask(player.Window(), reinterpret_cast<WPARAM>(&info), kRequestBasicInfoW), 1);
        const auto* title = reinterpret_cast<const wchar_t*>(Ask(player.Window(), 1, kRequestPlaylistTitleW));
        if (!unicode) {
            EXPECT_EQ(std::wstring(buffer), L"") << "a 2.95 player writes nothing";
            EXPECT_EQ(info.length, -7);
            EXPECT_EQ(title, reinterpret_cast<const wchar_t*>(1));
            continue;
        }
        EXPECT_EQ(std::wstring(buffer), L"\ubd04\ub0a0 \U0001F3B5");
        EXPECT_EQ(info.length, 2);
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(std::wstring(title), L"Beyonc\u00e9 - \ubd04\ub0a0 \U0001F3B5");
        TagRequestRecordW ansiTagged{player.GetPlaylist().At(0)->widePath.c_str(), L"ARTIST", buffer, kTagAnswerSize};
        EXPECT_EQ(Ask(player.Window(), reinterpret_cast<WPARAM>(&ansiTagged), kRequestTagW), 1);
        EXPECT_EQ(std::wstring(buffer), L"Artist A");
    }
}

struct TagCase {
    const char* file;  // "tagged", "title only", "japanese", "garbage", "missing"
    const char* tag;
    LRESULT answer;
    std::string text;  // expected buffer contents when answer is 1
};

TEST_F(RequestTest, TagRequestsReadTheInfoChunk) {
    const TagCase cases[] = {
        {"tagged", "TITLE", 1, "Song A"},
        {"tagged", "ARTIST", 1, "Artist A"},
        {"tagged", "COMMENT", 1, "comment of Song A"},
        {"tagged", "ALBUM", 1, "album of Song A"},
        {"tagged", "artist", 1, "Artist A"},
        {"title only", "ARTIST", 1, ""},
        {"title only", "TITLE", 1, "Lonely Title"},
        {"japanese", "ARTIST", 1, JapaneseArtist()},
        {"japanese", "TITLE", 1, JapaneseTitle()},
        {"tagged", "YEAR", 0, ""},
        {"tagged", "", 0, ""},
        {"garbage", "TITLE", 0, ""},
        {"missing", "TITLE", 0, ""},
    };
    for (const TagCase& c : cases) {
        const std::string file = std::string(c.file);
        const std::string path = file == "tagged"       ? tagged_
                                 : file == "title only" ? titleOnly_
                                 : file == "japanese"   ? japanese_
                                 : file == "garbage"    ? garbage_
                                                        : folder_.File("missing.wav");
        char buffer[kTagAnswerSize];
        std::memset(buffer, 'x', sizeof(buffer));
        TagRequestRecord record{path.c_str(), c.tag, buffer, kTagAnswerSize};
        const LRESULT answer = Ask(Window(), reinterpret_cast<WPARAM>(&record), kRequestTag);
        EXPECT_EQ(answer, c.answer) << c.file << " " << c.tag;
        if (answer == 1 && c.answer == 1) {
            EXPECT_EQ(std::string(buffer), c.text) << c.file << " " << c.tag;
        }
    }
}

TEST_F(RequestTest, TagAnswerIsCutToTheBufferAndTerminated) {
    char buffer[16];
    std::memset(buffer, '#', sizeof(buffer));
    TagRequestRecord record{tagged_.c_str(), "ARTIST", buffer, 5};
    EXPECT_EQ(Ask(Window(), reinterpret_cast<WPARAM>(&record), kRequestTag), 1);
    EXPECT_EQ(std::string(buffer), "Arti");
    EXPECT_EQ(buffer[5], '#') << "wrote past the buffer size it was given";

    record.bufferSize = 1;
    EXPECT_EQ(Ask(Window(), reinterpret_cast<WPARAM>(&record), kRequestTag), 1);
    EXPECT_EQ(buffer[0], '\0');
}

TEST_F(RequestTest, TagRequestWithBadPointersAnswersZero) {
    char buffer[32];
    const TagRequestRecord cases[] = {
        {nullptr, "TITLE", buffer, 32},
        {tagged_.c_str(), nullptr, buffer, 32},
        {tagged_.c_str(), "TITLE", nullptr, 32},
        {tagged_.c_str(), "TITLE", buffer, 0},
        {tagged_.c_str(), "TITLE", buffer, -4},
        {reinterpret_cast<const char*>(16), "TITLE", buffer, 32},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        TagRequestRecord record = cases[i];
        EXPECT_EQ(Ask(Window(), reinterpret_cast<WPARAM>(&record), kRequestTag), 0) << "case " << i;
    }
    EXPECT_EQ(Ask(Window(), 0, kRequestTag), 0);
    EXPECT_EQ(Ask(Window(), 16, kRequestTag), 0) << "a record at an unmapped address";
}

TEST_F(RequestTest, BasicInfoWritesWholeSeconds) {
    struct Case {
        std::string path;
        LRESULT answer;
        int length;
    } cases[] = {{tagged_, 1, 2},      // 50000 / 22050 = 2.27
                 {titleOnly_, 1, 0},   // one frame short of a second
                 {japanese_, 1, 2},    // exactly 2
                 {garbage_, 0, -77},
                 {folder_.File("missing.wav"), 0, -77}};
    for (const Case& c : cases) {
        BasicInfoRecord record{c.path.c_str(), 0, -77, nullptr, 0};
        EXPECT_EQ(Ask(Window(), reinterpret_cast<WPARAM>(&record), kRequestBasicInfo), c.answer)
            << c.path;
        EXPECT_EQ(record.length, c.length) << c.path;
    }
    EXPECT_EQ(Ask(Window(), 0, kRequestBasicInfo), 0);
}

TEST_F(RequestTest, RequestsFromAnotherThreadGetTheSameAnswers) {
    player_->SetPosition(1);
    LRESULT position = -1;
    std::string title;
    std::atomic<bool> done(false);
    std::thread asker([&] {
        position = Ask(Window(), 0, kRequestPlaylistPosition);
        const auto* t = reinterpret_cast<const char*>(Ask(Window(), 1, kRequestPlaylistTitle));
        title = t ? t : "<null>";
        done = true;
    });
    EXPECT_EQ(PumpUntil([&] { return done.load(); }, 10000), PumpResult::Done);
    asker.join();
    EXPECT_EQ(position, 1);
    EXPECT_EQ(title, "title only.wav");
}

TEST_F(RequestTest, CloseAsksTheOwnerInsteadOfDestroying) {
    ::SendMessageA(Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(player_->CloseRequested());
    EXPECT_TRUE(::IsWindow(Window()));
}

}  // namespace
}  // namespace ombrel::test
