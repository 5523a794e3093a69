// The settings file against Wine's real private-profile functions, on files in a temp folder.
#include <windows.h>
#include <shlobj.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/DspModule.h"
#include "plugin/IniFile.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PluginState.h"
#include "plugin/RecordingFile.h"
#include "plugin/Settings.h"
#include "plugin/SettingsLocation.h"
#include "plugin/TextEscape.h"
#include "standin/player/Player.h"
#include "ui/Monitor.h"
#include "ui/ResourceIds.h"
#include "tests/common/PlayerWindow.h"
#include "tests/common/SettingsFixture.h"

namespace ombrel::test {
namespace {

using ::testing::ElementsAreArray;

// The recording folder's default as the shell names it, in the file's code page.
std::string MusicFolder() {
    WCHAR music[MAX_PATH] = L"";
    EXPECT_EQ(S_OK, ::SHGetFolderPathW(nullptr, CSIDL_MYMUSIC, nullptr, SHGFP_TYPE_CURRENT, music));
    char ansi[MAX_PATH * 2] = "";
    ::WideCharToMultiByte(CP_ACP, 0, music, -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

// ---- First run ----

using SettingsFirstRun = SettingsFixture;

TEST_F(SettingsFirstRun, LoadWithoutFileKeepsEveryValue) {
    // Values no fallback would give, so a load that read anything shows.
    _settings.extra._dwPort = 1234;
    _settings.peerCast._cChannel = "kept";
    _inputFormat.scriptEnabled = TRUE;

    Load();

    EXPECT_EQ(_settings.extra._dwPort, 1234u);
    EXPECT_EQ(_settings.extra._dwMaxClient, 5u);
    EXPECT_EQ(_settings.extra._fPlayLog, TRUE);
    EXPECT_EQ(_settings.extra._cPlayLog, LogPath()) << "the log is on: it is written from the first track";
    EXPECT_EQ(_settings.peerCast._cChannel, "kept");
    EXPECT_EQ(_settings.peerCast._dwPort, 7144u);
    EXPECT_EQ(_settings.peerCast._cFormatArtist, "%ARTIST%");
    EXPECT_EQ(_settings.script._cFormat, "%ARTIST% - %TITLE%");
    EXPECT_EQ(_inputFormat.scriptEnabled, TRUE);
    EXPECT_EQ(_encoderSettings.audio.bufferWindow, kEncoderAudioBufferWindow);
    EXPECT_EQ(_encoderSettings.audio.codecIndex, kEncoderAudioCodecIndex);
    EXPECT_EQ(_encoderSettings.script.bitrate, kEncoderScriptBitrate);
    EXPECT_EQ(GetFileAttributesA(IniPath().c_str()), INVALID_FILE_ATTRIBUTES) << "load created the file";
}

TEST_F(SettingsFirstRun, SaveCreatesTheFourSectionsInSaveOrder) {
    Load();
    Save();

    const std::string lcid = std::to_string(GetSystemDefaultLCID());
    const std::vector<std::string> expected = {
        "[AudioCodec]",
        "_dwBufferWindow=5000",
        "_dwCodecIndex=2",
        "_dwFormatIndex=0",
        "_dwLanguage=" + lcid,
        "[Extra]",
        "_dwPort=8008",
        "_dwMaxClient=5",
        "_fPlayLog=true",
        "_fArchive=false",
        "_fPortMapping=false",
        "_cPlayLog=" + LogPath(),
        "_cTitle=",
        "_cAuthor=",
        "_cDescription=",
        "_cCopyright=",
        "_cGenre=",
        "_cAlbum=",
        "_cComposer=",
        "_cArchiveFolder=" + MusicFolder(),
        "[PeerCast]",
        "_fEnable=false",
        "_dwPort=7144",
        "_fRelayChannel=false",
        "_fRelayIPv6=false",
        "_cChannel=",
        "_cFormatArtist=%ARTIST%",
        "_cFormatTitle=%TITLE%",
        "_cFormatAlbum=%ALBUM%",
        "_cContact=",
        "[Script]",
        "_fEnable=false",
        "_dwBitrate=10000",
        "_dwBufferWindow=5000",
        "_dwLanguage=" + lcid,
        "_cFormat=%ARTIST% - %TITLE%",
    };
    EXPECT_THAT(NonBlankLines(FileText()), ElementsAreArray(expected)) << FileText();
}

// ---- Reading what is (or is not) in the file ----

using SettingsLoad = SettingsFixture;

TEST_F(SettingsLoad, MissingKeysTakeTheirFallbacks) {
    ASSERT_TRUE(WriteWholeFile(IniPath(), "[Extra]\r\n_dwPort=9000\r\n"));
    // Values that differ from every fallback, so each one read shows.
    _settings.extra._fPlayLog = FALSE;
    _settings.peerCast._dwPort = 1;
    _settings.peerCast._cFormatTitle = "x";
    _settings.peerCast._fRelayChannel = TRUE;
    _settings.peerCast._fRelayIPv6 = TRUE;
    _settings.extra._fPortMapping = TRUE;
    _settings.peerCast._cContact = "x";
    _settings.extra._fArchive = TRUE;
    _settings.extra._cArchiveFolder = L"x";
    _encoderSettings.audio.language = 1;
    _encoderSettings.script.bitrate = 1;
    _encoderSettings.script.bufferWindow = 1;
    _encoderSettings.script.language = 1;
    _inputFormat.scriptEnabled = TRUE;

    Load();

    EXPECT_EQ(_settings.extra._dwPort, 9000u);
    EXPECT_EQ(_settings.extra._dwMaxClient, 1u);
    EXPECT_EQ(_settings.extra._fPlayLog, TRUE);
    EXPECT_EQ(_settings.extra._cPlayLog, LogPath());
    EXPECT_EQ(_settings.extra._cTitle, L"");
    EXPECT_EQ(_settings.extra._fArchive, FALSE) << "an older file records nothing";
    EXPECT_EQ(_settings.extra._cArchiveFolder, DefaultArchiveFolder());
    EXPECT_EQ(_encoderSettings.audio.bufferWindow, 0u);
    EXPECT_EQ(_encoderSettings.audio.codecIndex, 0u);
    EXPECT_EQ(_encoderSettings.audio.formatIndex, 0u);
    EXPECT_EQ(_encoderSettings.audio.language, GetSystemDefaultLCID());
    EXPECT_EQ(_settings.peerCast._fEnable, FALSE);
    EXPECT_EQ(_settings.peerCast._dwPort, 7144u);
    EXPECT_EQ(_settings.peerCast._cFormatArtist, "%ARTIST%");
    EXPECT_EQ(_settings.peerCast._cFormatTitle, "%TITLE%");
    EXPECT_EQ(_settings.peerCast._cFormatAlbum, "%ALBUM%");
    EXPECT_EQ(_settings.peerCast._fRelayChannel, FALSE) << "an older file has no channel option";
    EXPECT_EQ(_settings.peerCast._fRelayIPv6, FALSE) << "an older file has no IPv6 option";
    EXPECT_EQ(_settings.extra._fPortMapping, FALSE) << "an older file never opens the router's port";
    EXPECT_EQ(_settings.peerCast._cContact, "");
    EXPECT_EQ(_inputFormat.scriptEnabled, FALSE);
    EXPECT_EQ(_encoderSettings.script.bitrate, 10000u);
    EXPECT_EQ(_encoderSettings.script.bufferWindow, 5000u);
    EXPECT_EQ(_encoderSettings.script.language, GetSystemDefaultLCID());
    EXPECT_EQ(_settings.script._cFormat, "");
}

TEST_F(SettingsLoad, StoredPlayLogIsKept) {
    ASSERT_TRUE(WriteWholeFile(IniPath(), "[Extra]\r\n_cPlayLog=D:\\logs\\play.txt\r\n"));
    Load();
    EXPECT_EQ(_settings.extra._cPlayLog, "D:\\logs\\play.txt");
}

TEST_F(SettingsLoad, NumbersReadAsLeadingDecimal) {
    struct Case {
        const char* stored;
        DWORD expected;
    };
    const Case cases[] = {
        {"abc", 0},                  // no digits
        {"9000x", 9000},             // stops at the first other character
        {"", 0},                     // present but empty: not the fallback
        {"+42", 42},                 // one sign accepted
        {"-1", 4294967295u},         // negative wraps as unsigned
        {"4294967295", 4294967295u}, // the largest "%u" text
        {"99999999999", 4294967295u},  // beyond 32 bits saturates
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WritePrivateProfileStringA("Extra", "_dwPort", c.stored, IniPath().c_str()));
        Load();
        EXPECT_EQ(_settings.extra._dwPort, c.expected) << "stored \"" << c.stored << "\"";
    }
}

TEST_F(SettingsLoad, FlagsAreExactlyTrueOrFalse) {
    struct Case {
        const char* section;
        const char* stored;
        BOOL expected;
    };
    const Case cases[] = {
        {"Extra", "false", FALSE},    // the one text that turns the log off
        {"Extra", "TRUE", TRUE},      // case matters: fallback true
        {"Extra", "FALSE", TRUE},     // case matters: fallback true
        {"Extra", "0", TRUE},         // numbers are not flags
        {"PeerCast", "true", TRUE},   // the one text that turns it on
        {"PeerCast", "yes", FALSE},   // fallback false
        {"PeerCast", "True", FALSE},  // fallback false
        {"PeerCast", "1", FALSE},     // fallback false
    };
    for (const Case& c : cases) {
        const bool extra = std::string(c.section) == "Extra";
        ASSERT_TRUE(WritePrivateProfileStringA(c.section, extra ? "_fPlayLog" : "_fEnable", c.stored,
                                               IniPath().c_str()));
        // The opposite of what is expected, so a load that skipped the key shows.
        (extra ? _settings.extra._fPlayLog : _settings.peerCast._fEnable) = !c.expected;
        Load();
        EXPECT_EQ(extra ? _settings.extra._fPlayLog : _settings.peerCast._fEnable, c.expected)
            << c.section << " stored \"" << c.stored << "\"";
    }
}

TEST_F(SettingsLoad, LongValueIsCutTo4095Characters) {
    std::string channel;
    for (int i = 0; i < 5000; ++i) channel += static_cast<char>('a' + i % 26);
    ASSERT_TRUE(WritePrivateProfileStringA("PeerCast", "_cChannel", channel.c_str(), IniPath().c_str()));

    Load();

    EXPECT_EQ(_settings.peerCast._cChannel.size(), 4095u);
    EXPECT_EQ(_settings.peerCast._cChannel, channel.substr(0, 4095));
}

TEST_F(SettingsLoad, DescriptionEndingInOneBackslashLosesIt) {
    ASSERT_TRUE(WriteWholeFile(IniPath(), "[Extra]\r\n_cDescription=tail\\\r\n"));
    Load();
    EXPECT_EQ(_settings.extra._cDescription, L"tail");
}

// ---- Save then load ----

using SettingsRoundTrip = SettingsFixture;

TEST_F(SettingsRoundTrip, DescriptionIsStoredEscapedOnOneLine) {
    _settings.extra._cDescription = L"a\\b\nc";
    Save();
    const std::vector<std::string> lines = NonBlankLines(FileText());
    EXPECT_THAT(lines, ::testing::Contains("_cDescription=a\\\\b\\nc")) << FileText();

    _settings.extra._cDescription.clear();
    Load();
    EXPECT_EQ(_settings.extra._cDescription, L"a\\b\nc");
}

TEST_F(SettingsRoundTrip, SameKeyNamesInDifferentSectionsStayApart) {
    struct Case {
        BOOL peerCastEnable;
        BOOL scriptEnable;
    };
    // Each switch on while the other is off, both ways round.
    const Case cases[] = {{TRUE, FALSE}, {FALSE, TRUE}};
    for (const Case& c : cases) {
        _settings.extra._dwPort = 1111;
        _settings.peerCast._dwPort = 2222;
        _encoderSettings.audio.bufferWindow = 3333;
        _encoderSettings.script.bufferWindow = 4444;
        _encoderSettings.audio.language = 1041;
        _encoderSettings.script.language = 1033;
        _settings.peerCast._fEnable = c.peerCastEnable;
        _inputFormat.scriptEnabled = c.scriptEnable;
        Save();
        ResetGlobals();
        Load();
        EXPECT_EQ(_settings.extra._dwPort, 1111u);
        EXPECT_EQ(_settings.peerCast._dwPort, 2222u);
        EXPECT_EQ(_encoderSettings.audio.bufferWindow, 3333u);
        EXPECT_EQ(_encoderSettings.script.bufferWindow, 4444u);
        EXPECT_EQ(_encoderSettings.audio.language, 1041u);
        EXPECT_EQ(_encoderSettings.script.language, 1033u);
        EXPECT_EQ(_settings.peerCast._fEnable, c.peerCastEnable);
        EXPECT_EQ(_inputFormat.scriptEnabled, c.scriptEnable);
    }
}

TEST_F(SettingsRoundTrip, NumbersAbove2To31ComeBackExactly) {
    const DWORD values[] = {
        2147483647u,  // the largest value a signed reading keeps
        2147483648u,  // the first one it would clamp
        3000000000u,  // in the middle
        4294967295u,  // the largest "%u" text
    };
    for (DWORD value : values) {
        _settings.extra._dwMaxClient = value;
        _settings.peerCast._dwPort = value;  // read back signed, then wrapped
        _encoderSettings.audio.codecIndex = value;
        _encoderSettings.script.bitrate = value;
        Save();
        ResetGlobals();
        Load();
        EXPECT_EQ(_settings.extra._dwMaxClient, value);
        EXPECT_EQ(_settings.peerCast._dwPort, value);
        EXPECT_EQ(_encoderSettings.audio.codecIndex, value);
        EXPECT_EQ(_encoderSettings.script.bitrate, value);
    }
}

TEST_F(SettingsRoundTrip, EveryFieldComesBack) {
    _encoderSettings.audio = {7000, 3, 4, FALSE, 0, 1031};
    _encoderSettings.script = {20000, 6000, 1036};
    _settings.extra = {8100, 9, FALSE, "C:\\log.txt", L"Title", L"Author", L"Line 1\r\nLine 2\tend",
                       L"(c) me", L"Genre", L"Album", L"Composer", TRUE, L"D:\\Radio\\Recordings"};
    _settings.peerCast = {TRUE, 7145, "channel", "%A%", "%T%", "%L%", TRUE, "http://example.jp/"};
    _settings.script._cFormat = "%TITLE%";
    _inputFormat.scriptEnabled = TRUE;
    const EncoderSettings encoder = _encoderSettings;
    const Settings saved = _settings;

    Save();
    ResetGlobals();
    Load();

    EXPECT_EQ(_encoderSettings.audio.bufferWindow, encoder.audio.bufferWindow);
    EXPECT_EQ(_encoderSettings.audio.codecIndex, encoder.audio.codecIndex);
    EXPECT_EQ(_encoderSettings.audio.formatIndex, encoder.audio.formatIndex);
    EXPECT_EQ(_encoderSettings.audio.language, encoder.audio.language);
    EXPECT_EQ(_encoderSettings.script.bitrate, encoder.script.bitrate);
    EXPECT_EQ(_encoderSettings.script.bufferWindow, encoder.script.bufferWindow);
    EXPECT_EQ(_encoderSettings.script.language, encoder.script.language);
    EXPECT_EQ(_settings.extra._dwPort, saved.extra._dwPort);
    EXPECT_EQ(_settings.extra._dwMaxClient, saved.extra._dwMaxClient);
    EXPECT_EQ(_settings.extra._fPlayLog, saved.extra._fPlayLog);
    EXPECT_EQ(_settings.extra._cPlayLog, saved.extra._cPlayLog);
    EXPECT_EQ(_settings.extra._cTitle, saved.extra._cTitle);
    EXPECT_EQ(_settings.extra._cAuthor, saved.extra._cAuthor);
    EXPECT_EQ(_settings.extra._cDescription, saved.extra._cDescription);
    EXPECT_EQ(_settings.extra._cCopyright, saved.extra._cCopyright);
    EXPECT_EQ(_settings.extra._cGenre, saved.extra._cGenre);
    EXPECT_EQ(_settings.extra._cAlbum, saved.extra._cAlbum);
    EXPECT_EQ(_settings.extra._cComposer, saved.extra._cComposer);
    EXPECT_EQ(_settings.extra._fArchive, saved.extra._fArchive);
    EXPECT_EQ(_settings.extra._cArchiveFolder, saved.extra._cArchiveFolder);
    EXPECT_EQ(_settings.peerCast._fEnable, saved.peerCast._fEnable);
    EXPECT_EQ(_settings.peerCast._dwPort, saved.peerCast._dwPort);
    EXPECT_EQ(_settings.peerCast._cChannel, saved.peerCast._cChannel);
    EXPECT_EQ(_settings.peerCast._cFormatArtist, saved.peerCast._cFormatArtist);
    EXPECT_EQ(_settings.peerCast._cFormatTitle, saved.peerCast._cFormatTitle);
    EXPECT_EQ(_settings.peerCast._cFormatAlbum, saved.peerCast._cFormatAlbum);
    EXPECT_EQ(_settings.peerCast._fRelayChannel, saved.peerCast._fRelayChannel);
    EXPECT_EQ(_settings.peerCast._cContact, saved.peerCast._cContact);
    EXPECT_EQ(_settings.script._cFormat, saved.script._cFormat);
    EXPECT_EQ(_inputFormat.scriptEnabled, TRUE);
}

// ---- The reader's own rules ----

TEST(SettingsParseDecimal, TakesTheLeadingNumber) {
    struct Case {
        const char* text;
        int64_t expected;
    };
    const Case cases[] = {
        {"", 0},                                  // nothing
        {"abc", 0},                               // no digits
        {"9000x", 9000},                          // stops at the first other character
        {"  \t17", 17},                           // leading blanks skipped
        {"+5", 5},                                // plus sign
        {"-5", -5},                               // minus sign
        {"--5", 0},                               // only one sign
        {"- 5", 0},                               // no blank after the sign
        {"2147483648", 2147483648ll},             // above the signed range
        {"4294967295", 4294967295ll},             // the largest "%u" text
        {"4294967296", 4294967295ll},             // just beyond 32 bits saturates
        {"123456789012345678901234567890", 4294967295ll},  // far beyond 64 bits as well
        {"-99999999999", -4294967295ll},          // negative saturates the same
    };
    for (const Case& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.expected) << "\"" << c.text << "\"";
}

using SettingsIniFile = SettingsFixture;

TEST_F(SettingsIniFile, FallbacksPassThroughTheirTextForm) {
    ASSERT_TRUE(WriteWholeFile(IniPath(), "[S]\r\n"));
    IniFile ini;
    ini.SetFile(IniPath().c_str());
    ini.SetSection("S");
    EXPECT_EQ(ini.ReadUInt("missing", 4294967295u), 4294967295u);
    EXPECT_EQ(ini.ReadInt("missing", -5), -5);
    EXPECT_EQ(ini.ReadInt("missing", 7144), 7144);
    EXPECT_EQ(ini.ReadBool("missing", true), true);
    EXPECT_EQ(ini.ReadBool("missing", false), false);
    EXPECT_STREQ(ini.ReadString("missing", "%ARTIST%"), "%ARTIST%");
}

TEST_F(SettingsIniFile, ReadIntWrapsLargeUnsignedText) {
    ASSERT_TRUE(WriteWholeFile(IniPath(), "[S]\r\nall=4294967295\r\nminus=-7144\r\n"));
    IniFile ini;
    ini.SetFile(IniPath().c_str());
    ini.SetSection("S");
    EXPECT_EQ(ini.ReadInt("all", 0), -1);
    EXPECT_EQ(ini.ReadInt("minus", 0), -7144);
}

TEST_F(SettingsIniFile, DefaultSectionIsApplicationData) {
    IniFile ini;
    ini.SetFile(IniPath().c_str());
    EXPECT_TRUE(ini.WriteUInt("key", 42));
    const std::vector<std::string> expected = {"[ApplicationData]", "key=42"};
    EXPECT_THAT(NonBlankLines(FileText()), ElementsAreArray(expected)) << FileText();
}

TEST_F(SettingsIniFile, LongSectionNameIsCutTo259) {
    const std::string name(300, 's');
    IniFile ini;
    ini.SetFile(IniPath().c_str());
    ini.SetSection(name.c_str());
    EXPECT_TRUE(ini.WriteBool("key", true));
    const std::vector<std::string> expected = {"[" + name.substr(0, 259) + "]", "key=true"};
    EXPECT_THAT(NonBlankLines(FileText()), ElementsAreArray(expected)) << FileText();
}

// ---- Escapes ----

TEST(SettingsEscape, EscapesInTheirOrder) {
    struct Case {
        const char* text;
        const char* escaped;
    };
    const Case cases[] = {
        {"plain", "plain"},              // nothing to do
        {"a\\b\nc", "a\\\\b\\nc"},       // backslash doubled, line feed named
        {"\r\n\t", "\\r\\n\\t"},         // every control character named
        {"\\n", "\\\\n"},                // a literal backslash-n stays two characters
        {"end\\", "end\\\\"},            // trailing backslash doubled
    };
    for (const Case& c : cases) EXPECT_EQ(EscapeText(c.text), c.escaped) << "\"" << c.text << "\"";
}

TEST(SettingsEscape, UnescapesWhatItKnowsAndDropsOtherBackslashes) {
    struct Case {
        const char* stored;
        const char* text;
    };
    const Case cases[] = {
        {"a\\\\b\\nc", "a\\b\nc"},  // the saved form comes back
        {"\\r\\t", "\r\t"},          // carriage return and tab
        {"\\q", "q"},                // unknown escape keeps the character
        {"\\N", "N"},                // escapes are lower case only
        {"tail\\", "tail"},          // a backslash at the very end is dropped
        {"\\\\\\", "\\"},            // an escaped backslash, then a dropped one
        {"", ""},                    // empty stays empty
    };
    for (const Case& c : cases) EXPECT_EQ(UnescapeText(c.stored), c.text) << "\"" << c.stored << "\"";
}

TEST(SettingsEscape, UnescapeUndoesEscape) {
    const char* const texts[] = {
        "",                        // empty
        "no escapes",              // plain
        "C:\\path\\to\\file",      // backslashes
        "line 1\r\nline 2\n",      // CR LF and LF
        "\ttabbed\t",              // tabs at both ends
        "ends with a backslash\\", // trailing backslash
        "\\n\\r\\t\\\\",           // text that looks escaped already
        "\\\n\\\r\\\t",            // backslash before each control character
    };
    for (const char* text : texts) EXPECT_EQ(UnescapeText(EscapeText(text)), text) << "\"" << text << "\"";
}

// ---- Where the file lives ----

class SettingsPath : public ::testing::Test {
protected:
    void SetUp() override { saved_ = PluginModule().hDllInstance; }
    void TearDown() override { PluginModule().hDllInstance = saved_; }

    static std::string FolderOf(HMODULE module) {
        char name[MAX_PATH] = "";
        GetModuleFileNameA(module, name, MAX_PATH);
        const std::string path = name;
        return path.substr(0, path.find_last_of('\\'));
    }

    HINSTANCE saved_ = nullptr;
};

TEST_F(SettingsPath, FileIsBesideTheModule) {
    PluginModule().hDllInstance = GetModuleHandleA(nullptr);
    const std::string folder = FolderOf(GetModuleHandleA(nullptr));
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(PathBesidePlugin(kSettingsFileName), folder + "\\dsp_ombrel.ini");
    EXPECT_EQ(PathBesidePlugin(kDefaultPlayLogName), folder + "\\dsp_ombrel_log.txt");
}

// The built plug-in copied into a temp folder and loaded from there: the file follows the DLL.
TEST_F(SettingsPath, LoadAndSaveUseTheFolderOfThePluginDll) {
    TempFolder folder;
    ASSERT_TRUE(folder.Created());
    const std::string built = FolderOf(GetModuleHandleA(nullptr)) + "\\dsp_ombrel.dll";
    const std::string copy = folder.File("dsp_ombrel.dll");
    ASSERT_TRUE(CopyFileA(built.c_str(), copy.c_str(), FALSE)) << built << " error " << GetLastError();
    win::UniqueModule dll(LoadLibraryA(copy.c_str()));
    ASSERT_TRUE(dll) << copy << " error " << GetLastError();
    PluginModule().hDllInstance = dll.get();

    _settings = Settings{};
    SetDefaultSettings();
    _settings.peerCast._cChannel = "beside";
    SaveSettings();
    SetDefaultSettings();
    LoadSettings();

    EXPECT_NE(GetFileAttributesA(folder.File("dsp_ombrel.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(_settings.peerCast._cChannel, "beside");
    EXPECT_EQ(_settings.extra._cPlayLog, folder.File("dsp_ombrel_log.txt"));
    PluginModule().hDllInstance = saved_;
    _settings = Settings{};
}

// A player whose answers to requests 1335 and 335 a test chooses, counting the times it is asked.
LRESULT g_settingsFolderAnswer = 0;
LRESULT g_wideSettingsFolderAnswer = 0;
int g_settingsFolderAsked = 0;

LRESULT CALLBACK SettingsFolderPlayer(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPlayerMessage && lParam == kRequestSettingsFolder) {
        ++g_settingsFolderAsked;
        return g_settingsFolderAnswer;
    }
    if (message == kPlayerMessage && lParam == kRequestSettingsFolderW) return g_wideSettingsFolderAnswer;
    return DefWindowProcA(window, message, wParam, lParam);
}

std::wstring Wide(const std::string& ansi) {
    std::wstring wide(ansi.size() + 1, L'\0');
    wide.resize(size_t(MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], int(wide.size())) - 1));
    return wide;
}

class SettingsLocation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Created() && player_);
        g_settingsFolderAsked = 0;
        g_settingsFolderAnswer = reinterpret_cast<LRESULT>(playerFolder_.c_str());
        g_wideSettingsFolderAnswer = 0;
        CreateDirectoryA(playerFolder_.c_str(), nullptr);
    }
    void TearDown() override {
        g_settingsFolderAnswer = g_wideSettingsFolderAnswer = 0;
        RemoveFolder(playerFolder_);
    }

    TempFolder folder_;
    const std::wstring pluginFolder_ = Wide(folder_.Path()) + L"\\";
    const std::string playerFolder_ = folder_.Path() + "\\player";
    win::UniqueWindow player_ = CreatePlayerWindow(SettingsFolderPlayer, "OmbrelSettingsFolderPlayer");
};

TEST_F(SettingsLocation, PlayerAnswersAreReadSafely) {
    EXPECT_EQ(AskPlayerSettingsFolder(player_.get()), Wide(playerFolder_));
    for (LRESULT none : {0, 1, 0x10, 0xFFFF}) {
        g_settingsFolderAnswer = none;
        EXPECT_EQ(AskPlayerSettingsFolder(player_.get()), L"") << "answer " << none;
    }
    static const char empty[] = "";
    g_settingsFolderAnswer = reinterpret_cast<LRESULT>(empty);
    EXPECT_EQ(AskPlayerSettingsFolder(player_.get()), L"") << "a player that could not convert its folder";
    EXPECT_EQ(AskPlayerSettingsFolder(nullptr), L"");

    // The UTF-16 answer comes first, and a path longer than MAX_PATH comes whole.
    std::wstring longFolder = L"C:\\";
    while (longFolder.size() < 2 * MAX_PATH) longFolder += L"\u914D\u4FE1\u8A2D\u5B9A\\";  // 配信設定
    g_wideSettingsFolderAnswer = reinterpret_cast<LRESULT>(longFolder.c_str());
    g_settingsFolderAsked = 0;
    EXPECT_EQ(AskPlayerSettingsFolder(player_.get()), longFolder);
    EXPECT_EQ(g_settingsFolderAsked, 0) << "335 is asked only where 1335 is not answered";
    for (LRESULT none : {0, 1, 0x10}) {
        g_wideSettingsFolderAnswer = none;
        g_settingsFolderAnswer = reinterpret_cast<LRESULT>(playerFolder_.c_str());
        EXPECT_EQ(AskPlayerSettingsFolder(player_.get()), Wide(playerFolder_)) << "1335 answered " << none;
    }
}

// The folder takes files: everything stays beside the DLL, as it always has, the player is not
// asked and the probe leaves nothing behind; a file another program holds open stays there too.
TEST_F(SettingsLocation, AWritableFolderKeepsEverythingBesideTheDll) {
    for (bool held : {false, true}) {
        win::UniqueFile holder;
        if (held) {
            ASSERT_TRUE(WriteWholeFile(folder_.File("dsp_ombrel.ini"), "[Extra]\r\n"));
            holder.reset(CreateFileA(folder_.File("dsp_ombrel.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     0, nullptr));
            ASSERT_TRUE(holder);
        }
        const SettingsFiles files = LocateSettingsFiles(pluginFolder_, player_.get());
        EXPECT_EQ(files.readPath, Wide(folder_.File("dsp_ombrel.ini")));
        EXPECT_EQ(files.writePath, Wide(folder_.File("dsp_ombrel.ini")));
        EXPECT_EQ(files.defaultPlayLog, folder_.File("dsp_ombrel_log.txt"));
        EXPECT_EQ(files.unwritablePlayLog, "");
        EXPECT_EQ(g_settingsFolderAsked, 0);
    }
    WIN32_FIND_DATAA found;
    int entries = 0;
    win::UniqueFind find(FindFirstFileA(folder_.File("*").c_str(), &found));
    for (bool more = static_cast<bool>(find); more; more = FindNextFileA(find.get(), &found))
        entries += found.cFileName[0] != '.' && std::string(found.cFileName) != "player";
    EXPECT_EQ(entries, 1) << "only the settings file";
}

// A folder that takes no file (here: one that is not there) sends both files to the player's
// folder when that one takes a file; where no folder does, nothing is written anywhere.
TEST_F(SettingsLocation, AFolderThatTakesNoFileUsesThePlayersFolderOrNone) {
    const std::wstring refusing = Wide(folder_.File("gone\\"));
    SettingsFiles files = LocateSettingsFiles(refusing, player_.get());
    EXPECT_EQ(files.readPath, Wide(playerFolder_) + L"\\dsp_ombrel.ini");
    EXPECT_EQ(files.writePath, Wide(playerFolder_) + L"\\dsp_ombrel.ini");
    EXPECT_EQ(files.defaultPlayLog, playerFolder_ + "\\dsp_ombrel_log.txt");
    EXPECT_EQ(files.unwritablePlayLog, folder_.File("gone\\dsp_ombrel_log.txt"));

    const std::string gone = folder_.File("gone too");
    for (LRESULT none : {LRESULT(0), reinterpret_cast<LRESULT>(gone.c_str())}) {
        g_settingsFolderAnswer = none;
        files = LocateSettingsFiles(refusing, player_.get());
        EXPECT_EQ(files.writePath, L"") << "no folder takes the settings";
        EXPECT_EQ(files.readPath, refusing + L"dsp_ombrel.ini");
    }
}

// The player's folder named in UTF-16 with a name outside the system code page, and one whose
// path is longer than MAX_PATH bytes in the code page: the settings go there and come back.
// Under code page 65001 (CTest plugin_utf8) the ANSI answer is empty and 1335 alone names it.
TEST_F(SettingsLocation, APlayersFolderOutsideTheCodePageTakesTheSettings) {
    const std::wstring korean = Wide(folder_.Path()) + L"\\\uC0AC\uC6A9\uC790";  // 사용자
    std::wstring longJapanese = Wide(folder_.Path());
    for (int level = 0; level < 3; ++level)
        longJapanese += L"\\" + std::wstring(40, L'\u653E');  // 放, 80 bytes in code page 932
    const std::wstring refusing = Wide(folder_.File("gone\\"));
    for (const std::wstring& folder : {korean, longJapanese}) {
        SCOPED_TRACE(testing::Message() << folder.size() << " characters");
        standin::PlayerOptions options;
        options.wideSettingsFolder = folder;
        // The stand-in makes only the last level.
        for (size_t at = folder.find(L'\\', Wide(folder_.Path()).size() + 1); at != std::wstring::npos;
             at = folder.find(L'\\', at + 1))
            CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
        {
            standin::Player player(options);
            const SettingsFiles files = LocateSettingsFiles(refusing, player.Window());
            ASSERT_EQ(files.writePath, folder + L"\\dsp_ombrel.ini");
            _settings = Settings{};
            SetDefaultSettings();
            _settings.peerCast._cChannel = "moved";
            SaveSettingsFile(files.writePath);
            SetDefaultSettings();
            LoadSettingsFile(files.readPath, files.defaultPlayLog.c_str());
            EXPECT_EQ(_settings.peerCast._cChannel, "moved");
            EXPECT_NE(GetFileAttributesW(files.writePath.c_str()), INVALID_FILE_ATTRIBUTES);
            DeleteFileW(files.writePath.c_str());
        }
        for (std::wstring level = folder; level.size() > Wide(folder_.Path()).size();
             level.erase(level.find_last_of(L'\\')))
            RemoveDirectoryW(level.c_str());
        _settings = Settings{};
    }
}

// No folder takes the settings: they stay in memory for the run, nothing is written, and the
// main window's monitor says so in Japanese once the relay line is free.
TEST_F(SettingsLocation, WithNoFolderTheSettingsStayInMemoryAndTheMonitorSaysSo) {
    const std::string built = ExeFolder() + "\\dsp_ombrel.dll";
    const std::string copy = folder_.File("dsp_ombrel.dll");
    ASSERT_TRUE(CopyFileA(built.c_str(), copy.c_str(), FALSE)) << built;
    win::UniqueModule dll(LoadLibraryA(copy.c_str()));
    ASSERT_TRUE(dll);
    // The folder refuses the write probe: a file already holds the probe's name.
    const std::string probe = folder_.File("dsp_ombrel.ini.") + std::to_string(GetCurrentProcessId()) + ".probe";
    ASSERT_TRUE(WriteWholeFile(probe, ""));
    const HINSTANCE savedModule = PluginModule().hDllInstance;
    const HWND savedHost = _hwndHost;
    PluginModule().hDllInstance = dll.get();
    _hwndHost = player_.get();
    g_settingsFolderAnswer = 0;

    _settings = Settings{};
    SetDefaultSettings();
    LoadSettings();
    EXPECT_TRUE(SettingsHaveNoHome());
    _settings.peerCast._cChannel = "kept";
    SaveSettings();
    EXPECT_EQ(GetFileAttributesA(folder_.File("dsp_ombrel.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(_settings.peerCast._cChannel, "kept");

    win::UniqueWindow monitor(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr));
    CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 100, 20, monitor.get(), HMENU(IDC_RELAY_STATE), nullptr, nullptr);
    UpdateMonitor(monitor.get());
    wchar_t shown[64] = L"";
    GetDlgItemTextW(monitor.get(), IDC_RELAY_STATE, shown, 64);
    EXPECT_EQ(std::wstring(shown), kSettingsNotSavedText);

    // A player that names a folder that takes files ends it at the next load.
    g_settingsFolderAnswer = reinterpret_cast<LRESULT>(playerFolder_.c_str());
    LoadSettings();
    EXPECT_FALSE(SettingsHaveNoHome());
    UpdateMonitor(monitor.get());
    GetDlgItemTextW(monitor.get(), IDC_RELAY_STATE, shown, 64);
    EXPECT_EQ(std::wstring(shown), L"");

    PluginModule().hDllInstance = savedModule;
    _hwndHost = savedHost;
    DeleteFileA(probe.c_str());
    LoadSettings();  // the located files of the test's own module again, for the tests after
    _settings = Settings{};
}

}  // namespace
}  // namespace ombrel::test
