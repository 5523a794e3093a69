// The settings file when it is not what the plug-in wrote: binary garbage, values longer than
// a read can take, a read-only file, a folder in its place, a folder that is missing. Loading
// gives the values the file holds or the defaults where nothing can be read, never a crash;
// saving never destroys what the plug-in could not read.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "plugin/BroadcastControl.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "tests/common/Files.h"
#include "tests/common/SettingsFixture.h"
#include "tests/plugin/BroadcastFixture.h"

namespace ombrel::test {
namespace {

// The file's text; one the platform keeps in UTF-16 (it has the byte order mark) as ANSI.
std::string AsAnsi(const std::string& bytes) {
    if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0) return bytes;
    const std::wstring wide(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string ansi(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), size, nullptr, nullptr);
    return ansi;
}

// The value of key in section as the file's own text holds it, whole; empty when absent.
std::string StoredValue(const std::string& fileText, const std::string& section, const std::string& key) {
    bool inSection = false;
    for (const std::string& line : NonBlankLines(AsAnsi(fileText))) {
        if (line.front() == '[') {
            inSection = line == "[" + section + "]";
            continue;
        }
        if (inSection && line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
    }
    return std::string();
}

class SettingsFileFault : public SettingsFixture {
protected:
    // Values that neither a fallback nor a built-in default gives, so every field a load
    // touches shows.
    static void SetSentinels() {
        _encoderSettings.audio.bufferWindow = 11;
        _encoderSettings.audio.codecIndex = 12;
        _encoderSettings.audio.formatIndex = 13;
        _encoderSettings.audio.language = 14;
        ExtraSettings& extra = _settings.extra;
        extra._dwPort = 15;
        extra._dwMaxClient = 16;
        extra._fPlayLog = FALSE;
        extra._cPlayLog = "sentinel.log";
        extra._cTitle = L"sentinel";
        extra._cDescription = L"sentinel";
        PeerCastSettings& peerCast = _settings.peerCast;
        peerCast._fEnable = TRUE;
        peerCast._dwPort = 17;
        peerCast._cChannel = "sentinel";
        peerCast._cFormatTitle = "sentinel";
        _inputFormat.scriptEnabled = TRUE;
        _encoderSettings.script.bitrate = 18;
        _encoderSettings.script.bufferWindow = 19;
        _encoderSettings.script.language = 20;
        _settings.script._cFormat = "sentinel";
    }

    // A file that exists but names none of the keys: every field takes its fallback.
    void ExpectFallbacks(const std::string& what) {
        const LCID lcid = GetSystemDefaultLCID();
        EXPECT_EQ(0u, _encoderSettings.audio.bufferWindow) << what;
        EXPECT_EQ(0u, _encoderSettings.audio.codecIndex) << what;
        EXPECT_EQ(0u, _encoderSettings.audio.formatIndex) << what;
        EXPECT_EQ(lcid, _encoderSettings.audio.language) << what;
        const ExtraSettings& extra = _settings.extra;
        EXPECT_EQ(8008u, extra._dwPort) << what;
        EXPECT_EQ(1u, extra._dwMaxClient) << what;
        EXPECT_EQ(TRUE, extra._fPlayLog) << what;
        EXPECT_EQ(LogPath(), extra._cPlayLog) << what;
        EXPECT_EQ(L"", extra._cTitle) << what;
        EXPECT_EQ(L"", extra._cDescription) << what;
        const PeerCastSettings& peerCast = _settings.peerCast;
        EXPECT_EQ(FALSE, peerCast._fEnable) << what;
        EXPECT_EQ(7144u, peerCast._dwPort) << what;
        EXPECT_EQ("", peerCast._cChannel) << what;
        EXPECT_EQ("%TITLE%", peerCast._cFormatTitle) << what;
        EXPECT_EQ(FALSE, _inputFormat.scriptEnabled) << what;
        EXPECT_EQ(10000u, _encoderSettings.script.bitrate) << what;
        EXPECT_EQ(5000u, _encoderSettings.script.bufferWindow) << what;
        EXPECT_EQ(lcid, _encoderSettings.script.language) << what;
        EXPECT_EQ("", _settings.script._cFormat) << what;
    }

    // No file could be read: every sentinel is still there.
    void ExpectSentinels(const std::string& what) {
        EXPECT_EQ(11u, _encoderSettings.audio.bufferWindow) << what;
        EXPECT_EQ(12u, _encoderSettings.audio.codecIndex) << what;
        EXPECT_EQ(15u, _settings.extra._dwPort) << what;
        EXPECT_EQ(16u, _settings.extra._dwMaxClient) << what;
        EXPECT_EQ("sentinel.log", _settings.extra._cPlayLog) << what;
        EXPECT_EQ(L"sentinel", _settings.extra._cTitle) << what;
        EXPECT_EQ(TRUE, _settings.peerCast._fEnable) << what;
        EXPECT_EQ("sentinel", _settings.peerCast._cChannel) << what;
        EXPECT_EQ(TRUE, _inputFormat.scriptEnabled) << what;
        EXPECT_EQ(18u, _encoderSettings.script.bitrate) << what;
        EXPECT_EQ("sentinel", _settings.script._cFormat) << what;
    }
};

std::string RandomBytes(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
    return bytes;
}

TEST_F(SettingsFileFault, BinaryGarbageGivesTheFallbacksAndASaveMakesTheFileReadable) {
    const struct {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"random bytes", RandomBytes(8192, 1)},
        {"zero bytes only", std::string(4096, '\0')},
        {"a UTF-16 byte order mark, then random bytes", "\xFF\xFE" + RandomBytes(4096, 2)},
        {"a UTF-8 byte order mark, then random bytes", "\xEF\xBB\xBF" + RandomBytes(4096, 3)},
        {"one line of 200000 brackets", std::string(200000, '[')},
        {"a section name without its end, then random bytes", "[Extra\r\n_dwPort" + RandomBytes(2048, 4)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(WriteWholeFile(IniPath(), row.bytes));
        SetSentinels();
        Load();
        ExpectFallbacks(std::string("loaded from ") + row.what);

        Save();
        SetSentinels();
        Load();
        ExpectFallbacks(std::string("saved over ") + row.what + " and loaded again");
        EXPECT_EQ("8008", StoredValue(FileText(), "Extra", "_dwPort"));
        EXPECT_EQ("1", StoredValue(FileText(), "Extra", "_dwMaxClient"));
    }
}

TEST_F(SettingsFileFault, SectionsAndKeysThePluginDoesNotKnowSurviveASave) {
    ASSERT_TRUE(WriteWholeFile(IniPath(),
                               "[Notes]\r\nmine=keep this\r\n[Extra]\r\n_dwPort=9000\r\n_cNote=also this\r\n"));
    Load();
    EXPECT_EQ(9000u, _settings.extra._dwPort);
    _settings.extra._dwPort = 9001;
    Save();
    const std::string text = FileText();
    EXPECT_EQ("keep this", StoredValue(text, "Notes", "mine")) << text;
    EXPECT_EQ("also this", StoredValue(text, "Extra", "_cNote")) << text;
    EXPECT_EQ("9001", StoredValue(text, "Extra", "_dwPort")) << text;
}

// A text of n characters from a small alphabet, different for each seed.
std::string Pattern(size_t n, char seed) {
    std::string text;
    for (size_t i = 0; i < n; ++i) text += static_cast<char>('a' + (seed + i) % 26);
    return text;
}

struct TextKey {
    const char* section;
    const char* key;
};

const TextKey kTextKeys[] = {
    {"Extra", "_cPlayLog"},       {"Extra", "_cTitle"},          {"Extra", "_cAuthor"},
    {"Extra", "_cDescription"},   {"Extra", "_cCopyright"},      {"Extra", "_cGenre"},
    {"Extra", "_cAlbum"},         {"Extra", "_cComposer"},       {"PeerCast", "_cChannel"},
    {"PeerCast", "_cFormatArtist"}, {"PeerCast", "_cFormatTitle"}, {"PeerCast", "_cFormatAlbum"},
    {"PeerCast", "_cContact"},     {"Script", "_cFormat"},
};

// The narrow text each key's setting holds after a load.
std::string Loaded(const TextKey& k) {
    const std::string key = k.key;
    auto narrow = [](const std::wstring& wide) { return std::string(wide.begin(), wide.end()); };
    const ExtraSettings& extra = _settings.extra;
    if (key == "_cPlayLog") return extra._cPlayLog;
    if (key == "_cTitle") return narrow(extra._cTitle);
    if (key == "_cAuthor") return narrow(extra._cAuthor);
    if (key == "_cDescription") return narrow(extra._cDescription);
    if (key == "_cCopyright") return narrow(extra._cCopyright);
    if (key == "_cGenre") return narrow(extra._cGenre);
    if (key == "_cAlbum") return narrow(extra._cAlbum);
    if (key == "_cComposer") return narrow(extra._cComposer);
    if (key == "_cChannel") return _settings.peerCast._cChannel;
    if (key == "_cFormatArtist") return _settings.peerCast._cFormatArtist;
    if (key == "_cFormatTitle") return _settings.peerCast._cFormatTitle;
    if (key == "_cFormatAlbum") return _settings.peerCast._cFormatAlbum;
    if (key == "_cContact") return _settings.peerCast._cContact;
    return _settings.script._cFormat;
}

// Each text value of 5000 characters is read as its first 4095; a save that changed none of
// them keeps all 5000 in the file, and a changed one is saved as changed.
TEST_F(SettingsFileFault, ValuesOf5000CharactersAreReadAsTheirStartAndNeverSavedCut) {
    std::string file;
    std::vector<std::string> stored;
    const char* section = "";
    for (size_t i = 0; i < std::size(kTextKeys); ++i) {
        const TextKey& k = kTextKeys[i];
        // The description's escapes: every third character pair is a line break.
        std::string value = std::string(k.key) == "_cDescription" ? std::string() : Pattern(5000, char(i));
        while (value.size() < 5000) value += "ab\\n";
        value.resize(5000);
        stored.push_back(value);
        if (std::string(section) != k.section) {
            file += std::string("[") + (section = k.section) + "]\r\n";
            // Long numbers and flags too, where the plug-in looks for them.
            if (std::string(section) == "Extra")
                file += "_dwPort=9000" + std::string(4996, 'x') + "\r\n_fPlayLog=false" + std::string(4995, 'x') +
                        "\r\n_dwMaxClient=" + std::string(5000, '7') + "\r\n";
        }
        file += std::string(k.key) + "=" + value + "\r\n";
    }
    ASSERT_TRUE(WriteWholeFile(IniPath(), file));

    Load();
    for (size_t i = 0; i < std::size(kTextKeys); ++i) {
        const TextKey& k = kTextKeys[i];
        std::string expected = stored[i].substr(0, 4095);
        if (std::string(k.key) == "_cDescription") {
            expected.clear();
            for (int n = 0; n < 4095 / 4; ++n) expected += "ab\n";
            expected += "ab";  // the cut leaves "ab\" of the next escape; the lone backslash goes
        }
        EXPECT_EQ(expected.size(), Loaded(k).size()) << k.key;
        EXPECT_EQ(expected, Loaded(k)) << k.key;
    }
    // Numbers and flags follow their reading rules: the leading number, exactly true or false.
    EXPECT_EQ(9000u, _settings.extra._dwPort);
    EXPECT_EQ(TRUE, _settings.extra._fPlayLog);
    EXPECT_EQ(4294967295u, _settings.extra._dwMaxClient);

    Save();
    std::string text = FileText();
    for (size_t i = 0; i < std::size(kTextKeys); ++i) {
        const std::string kept = StoredValue(text, kTextKeys[i].section, kTextKeys[i].key);
        EXPECT_EQ(5000u, kept.size()) << kTextKeys[i].key << " was saved cut";
        EXPECT_EQ(stored[i], kept) << kTextKeys[i].key;
    }
    EXPECT_EQ("9000", StoredValue(text, "Extra", "_dwPort"));
    EXPECT_EQ("true", StoredValue(text, "Extra", "_fPlayLog"));

    // A second start reads the same; the user then changes two of them.
    ResetGlobals();
    Load();
    EXPECT_EQ(stored[8].substr(0, 4095), _settings.peerCast._cChannel);
    _settings.peerCast._cChannel = "changed";
    _settings.extra._cTitle = L"changed too";
    Save();
    text = FileText();
    EXPECT_EQ("changed", StoredValue(text, "PeerCast", "_cChannel"));
    EXPECT_EQ("changed too", StoredValue(text, "Extra", "_cTitle"));
    EXPECT_EQ(stored[2], StoredValue(text, "Extra", "_cAuthor")) << "an unchanged one stays whole";

    // Once changed, the setting is saved like any other: back to a long text of the user's.
    _settings.peerCast._cChannel = stored[8].substr(0, 4095);
    Save();
    EXPECT_EQ(stored[8].substr(0, 4095), StoredValue(FileText(), "PeerCast", "_cChannel"));
}

// 4095 characters are a whole value; from 4096 on the read holds only the start.
TEST_F(SettingsFileFault, TheLongestWholeValueIs4095Characters) {
    for (size_t length : {4094u, 4095u, 4096u, 4097u}) {
        const std::string channel = Pattern(length, 5);
        ASSERT_TRUE(WriteWholeFile(IniPath(), "[PeerCast]\r\n_cChannel=" + channel + "\r\n"));
        Load();
        EXPECT_EQ(channel.substr(0, 4095), _settings.peerCast._cChannel) << length;
        _settings.extra._dwPort = 9000 + static_cast<DWORD>(length);
        Save();
        EXPECT_EQ(channel, StoredValue(FileText(), "PeerCast", "_cChannel")) << length;
        EXPECT_EQ(std::to_string(9000 + length), StoredValue(FileText(), "Extra", "_dwPort")) << length;
    }
}

TEST_F(SettingsFileFault, ALongValueIsKeptOnlyInTheFileItWasReadFrom) {
    const std::string channel = Pattern(5000, 3);
    ASSERT_TRUE(WritePrivateProfileStringA("PeerCast", "_cChannel", channel.c_str(), IniPath().c_str()));
    Load();
    const std::string other = folder_.File("other.ini");
    SaveSettingsFile(other.c_str());
    EXPECT_EQ(channel.substr(0, 4095), StoredValue(ReadWholeFile(other), "PeerCast", "_cChannel"));
    DeleteFileA(other.c_str());
}

// Nothing is shown and nothing breaks; the file keeps what it held, so the settings changed in
// this session are back to the file's at the next start.
TEST_F(SettingsFileFault, AReadOnlyFileIsLeftAsItWas) {
    _settings.extra._dwPort = 9100;
    _settings.peerCast._cChannel = "mine";
    Save();
    const std::string before = FileText();
    ASSERT_EQ("9100", StoredValue(before, "Extra", "_dwPort"));
    ASSERT_TRUE(SetFileAttributesA(IniPath().c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine running as root lets writers through the attribute; where it does, a handle that
    // shares no writing makes the refusal as real as the attribute makes it elsewhere.
    win::UniqueFile refusal;
    if (win::UniqueFile(CreateFileA(IniPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr)))
        refusal.reset(CreateFileA(IniPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    RecordProperty("attribute_refuses_writers", refusal ? 0 : 1);

    Load();
    EXPECT_EQ(9100u, _settings.extra._dwPort);
    _settings.extra._dwPort = 9200;
    _settings.peerCast._cChannel = "changed";
    Save();

    EXPECT_EQ(before, FileText());
    EXPECT_EQ(9200u, _settings.extra._dwPort) << "the session keeps the user's value";
    EXPECT_EQ(FILE_ATTRIBUTE_READONLY, GetFileAttributesA(IniPath().c_str()) & FILE_ATTRIBUTE_READONLY);
    refusal.reset();
    SetFileAttributesA(IniPath().c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A folder of the file's name is no settings file: the built-in defaults stay, as on a first
// run, and a save leaves the folder alone.
TEST_F(SettingsFileFault, AFolderWhereTheFileShouldBeIsLikeNoFile) {
    ASSERT_TRUE(CreateDirectoryA(IniPath().c_str(), nullptr));
    SetSentinels();
    Load();
    ExpectSentinels("loaded from a folder");
    Save();
    const DWORD attributes = GetFileAttributesA(IniPath().c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << "the folder is still there";
    EXPECT_TRUE(RemoveDirectoryA(IniPath().c_str())) << "and still empty";
}

TEST_F(SettingsFileFault, AMissingFolderGivesTheDefaultsAndASaveCreatesNothing) {
    const std::string folder = folder_.File("missing");
    const std::string path = folder + "\\dsp_ombrel.ini";
    SetSentinels();
    LoadSettingsFile(path.c_str(), LogPath().c_str());
    ExpectSentinels("loaded from a missing folder");
    SaveSettingsFile(path.c_str());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.c_str()));
}

// The same through the player: Init finds a folder beside the plug-in, keeps the built-in
// defaults, and Quit's save leaves the folder alone.
using SettingsFileFaultInPlayer = BroadcastFixture;

TEST_F(SettingsFileFaultInPlayer, AFolderBesideThePluginGivesTheBuiltInDefaults) {
    const std::string ini = ExeFolder() + "\\dsp_ombrel.ini";
    ASSERT_TRUE(CreateDirectoryA(ini.c_str(), nullptr));
    StartPlayer({});
    EXPECT_EQ(5u, _settings.extra._dwMaxClient);
    EXPECT_EQ("%ARTIST% - %TITLE%", _settings.script._cFormat);
    EXPECT_NE(0u, _encoderSettings.audio.bufferWindow);
    player_.reset();
    EXPECT_TRUE(GetFileAttributesA(ini.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(RemoveDirectoryA(ini.c_str()));
}

}  // namespace
}  // namespace ombrel::test
