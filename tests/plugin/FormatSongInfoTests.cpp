// Tag templates: what each template turns into for given fields.
#include <gtest/gtest.h>

#include <climits>

#include "plugin/FormatSongInfo.h"

namespace ombrel::test {
namespace {

SongInfo Song(const char* artist, const char* title, const char* comment = "", const char* album = "",
              INT32 length = 0) {
    SongInfo info;
    info.artist = artist;
    info.title = title;
    info.comment = comment;
    info.album = album;
    info.length = length;
    return info;
}

struct TemplateCase {
    const char* what;
    const char* format;
    SongInfo info;
    const char* expected;
};

class FormatSongInfoCases : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(FormatSongInfoCases, GivesTheExpectedText) {
    const TemplateCase& c = GetParam();
    EXPECT_EQ(c.expected, FormatSongInfo(c.format, c.info)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    FormatSongInfo, FormatSongInfoCases,
    ::testing::Values(
        TemplateCase{"artist and title", "%ARTIST% - %TITLE%", Song("A", "B"), "A - B"},
        TemplateCase{"an empty field removes its tag", "%ARTIST% - %TITLE%", Song("", "B"), " - B"},
        TemplateCase{"all five tags", "%ARTIST%|%TITLE%|%COMMENT%|%ALBUM%|%LENGTH%",
                     Song("ar", "ti", "co", "al", 245), "ar|ti|co|al|4:05"},
        TemplateCase{"every occurrence", "%TITLE%%TITLE% and %TITLE%", Song("", "T"), "TT and T"},
        TemplateCase{"no tag at all", "Now on air", Song("A", "B"), "Now on air"},
        TemplateCase{"empty template", "", Song("A", "B"), ""},
        // The artist is inserted first, and the title step searches what it inserted.
        TemplateCase{"artist holding the title tag", "[%ARTIST%]", Song("x%TITLE%y", "T"), "[xTy]"},
        // The title comes after the artist, so an artist tag inside it stays.
        TemplateCase{"title holding the artist tag", "[%TITLE%]", Song("Z", "a%ARTIST%b"), "[a%ARTIST%b]"},
        TemplateCase{"a value is not searched again for its own tag", "%TITLE%", Song("", "%TITLE%!"),
                     "%TITLE%!"},
        TemplateCase{"an album ending in a percent sign completes the length tag", "%ALBUM%LENGTH%",
                     Song("", "", "", "X%", 61), "X1:01"},
        TemplateCase{"the template is not a printf format", "%s %d %n %%TITLE%% 100%", Song("", "T"),
                     "%s %d %n %T% 100%"},
        TemplateCase{"a value is not a printf format either", "%TITLE%", Song("", "%s%n%x"), "%s%n%x"},
        TemplateCase{"lower case and mixed case tags stay", "%title% %Artist% %album%", Song("A", "T"),
                     "%title% %Artist% %album%"},
        TemplateCase{"other percent words stay", "%YEAR% %TRACK% %TITLE", Song("A", "T"), "%YEAR% %TRACK% %TITLE"},
        TemplateCase{"comment and album", "%COMMENT% / %ALBUM%", Song("", "", "live", "Best of"), "live / Best of"}));

TEST(FormatSongInfo, LengthIsMinutesAndTwoDigitSeconds) {
    const struct {
        INT32 seconds;
        const char* text;
    } cases[] = {
        {0, "0:00"},   {-1, "0:-1"},   {59, "0:59"},   {60, "1:00"},
        {245, "4:05"}, {3600, "60:00"}, {-61, "-1:-1"}, {INT_MAX, "35791394:07"},
        {INT_MIN, "-35791394:-8"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.text, FormatLength(c.seconds)) << c.seconds;
        EXPECT_EQ(std::string("<") + c.text + ">", FormatSongInfo("<%LENGTH%>", Song("", "", "", "", c.seconds)))
            << c.seconds;
    }
}

}  // namespace
}  // namespace ombrel::test
