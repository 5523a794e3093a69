// Settings text under the thread's ANSI code page. This file is compiled with
// -fexec-charset=CP932: its narrow literals are cp932 bytes, so 表 is 0x95 0x5C.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/Settings.h"
#include "plugin/TextEscape.h"
#include "tests/common/ExpectedCodePage.h"
#include "tests/common/SettingsFixture.h"

namespace ombrel::test {
namespace {

using ::testing::Contains;

// Fails a run that was meant for one code page but got another; skips what needs another.
class SettingsCodePage : public SettingsFixture {
protected:
    void SetUp() override {
        SettingsFixture::SetUp();
        const UINT expected = ExpectedAnsiCodePage();
        if (expected != 0) {
            ASSERT_EQ(GetACP(), expected) << "OMBREL_EXPECT_ACP=" << expected;
        }
        ASSERT_EQ(ThreadAnsiCodePage(), GetACP());
    }

    static bool Needs(UINT codePage) { return GetACP() == codePage; }

    // The file's line as text of the given code page, independent of the thread's.
    static std::wstring Decode(UINT codePage, const std::string& bytes) {
        const int size = static_cast<int>(bytes.size());
        const int chars = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
        std::wstring text(chars, L'\0');
        MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), chars);
        return text;
    }
};

TEST_F(SettingsCodePage, JapaneseTitleRoundTripsUnder932) {
    if (!Needs(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    _settings.extra._cTitle = L"日本語";
    _settings.extra._cAuthor = L"作者：テスト";

    Save();
    const std::vector<std::string> lines = NonBlankLines(FileText());
    EXPECT_THAT(lines, Contains("_cTitle=日本語")) << FileText();
    EXPECT_THAT(lines, Contains("_cAuthor=作者：テスト")) << FileText();
    ResetGlobals();
    Load();

    EXPECT_EQ(_settings.extra._cTitle, L"日本語");
    EXPECT_EQ(_settings.extra._cAuthor, L"作者：テスト");
}

TEST_F(SettingsCodePage, DescriptionWithTrailByte5CRoundTripsUnder932) {
    if (!Needs(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    // 表 and ソ end in 0x5C; the one real backslash is the only one doubled.
    _settings.extra._cDescription = L"表示\\ソフト\n次の行";

    Save();
    EXPECT_THAT(NonBlankLines(FileText()), Contains("_cDescription=表示\\\\ソフト\\n次の行")) << FileText();
    ResetGlobals();
    Load();

    EXPECT_EQ(_settings.extra._cDescription, L"表示\\ソフト\n次の行");
}

TEST_F(SettingsCodePage, StoredDescriptionEndingInTrailByte5CKeepsIt) {
    if (!Needs(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    ASSERT_TRUE(WriteWholeFile(IniPath(), "[Extra]\r\n_cDescription=一覧表\r\n"));
    Load();
    EXPECT_EQ(_settings.extra._cDescription, L"一覧表");
}

TEST_F(SettingsCodePage, EscapesWalkDoubleByteCharactersUnder932) {
    if (!Needs(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    struct Case {
        std::string text;
        std::string escaped;
    };
    const std::string leadOnly = std::string("表").substr(0, 1);
    const Case cases[] = {
        {"表", "表"},                      // trail byte 0x5C is no backslash
        {"表\\", "表\\\\"},                // a real backslash after it is
        {"予定表\n能力", "予定表\\n能力"},  // 能 ends in 0x5C too
        {"\\表\t", "\\\\表\\t"},           // escapes on both sides
        {leadOnly, leadOnly},               // a lone lead byte at the end stays one byte
        {"表" + leadOnly, "表" + leadOnly}, // after a whole character as well
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EscapeText(c.text), c.escaped) << "\"" << c.text << "\"";
        EXPECT_EQ(UnescapeText(c.escaped), c.text) << "\"" << c.escaped << "\"";
    }
    // A backslash before a double-byte character keeps the whole character.
    EXPECT_EQ(UnescapeText("\\表"), "表");
}

TEST_F(SettingsCodePage, AccentedTitleRoundTripsUnder1252) {
    if (!Needs(1252)) GTEST_SKIP() << "needs code page 1252, have " << GetACP();
    // Kept out of the assertion macros, whose own text is cp932 here and cannot hold é.
    const std::wstring title = L"Café";
    const std::wstring description = L"Crème\tbrûlée";
    const std::wstring titleLine = L"_cTitle=Café";
    const std::wstring descriptionLine = L"_cDescription=Crème\\tbrûlée";
    _settings.extra._cTitle = title;
    _settings.extra._cDescription = description;

    Save();
    std::vector<std::wstring> decoded;
    for (const std::string& line : NonBlankLines(FileText())) decoded.push_back(Decode(1252, line));
    EXPECT_THAT(decoded, Contains(titleLine)) << FileText();
    EXPECT_THAT(decoded, Contains(descriptionLine)) << FileText();
    ResetGlobals();
    Load();

    EXPECT_EQ(_settings.extra._cTitle, title);
    EXPECT_EQ(_settings.extra._cDescription, description);
}

// Text the code page cannot hold is saved as question marks, never as garbage or a crash.
TEST_F(SettingsCodePage, UnmappableTitleIsSavedAsQuestionMarks) {
    // ♫ is in neither code page; the note outside the 16-bit range is two UTF-16 units.
    _settings.extra._cTitle = L"A\u266B\U0001F3B5";
    Save();
    EXPECT_THAT(NonBlankLines(FileText()), Contains("_cTitle=A???")) << FileText();
    ResetGlobals();
    Load();
    EXPECT_EQ(_settings.extra._cTitle, L"A???");
}

// A stored title cut inside a double-byte character loads with the default character in its place.
TEST_F(SettingsCodePage, StoredTitleEndingInLoneLeadByteLoadsCleanly) {
    if (!Needs(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    const std::string leadOnly = std::string("表").substr(0, 1);
    ASSERT_TRUE(WriteWholeFile(IniPath(), "[Extra]\r\n_cTitle=予定" + leadOnly + "\r\n"));
    Load();
    // The lone byte becomes the code page's default character, ・.
    EXPECT_EQ(_settings.extra._cTitle, L"予定・");
}

}  // namespace
}  // namespace ombrel::test
