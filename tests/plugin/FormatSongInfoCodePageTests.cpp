// Tag templates in Japanese, under code page 932. This file is compiled with
// -fexec-charset=CP932: its narrow literals are cp932 bytes (表 is 0x95 0x5C, ソ 0x83 0x5C).
#include <gtest/gtest.h>

#include "plugin/FormatSongInfo.h"

namespace ombrel::test {
namespace {

class FormatSongInfoCodePage : public ::testing::Test {
protected:
    void SetUp() override {
        if (::GetACP() != 932) GTEST_SKIP() << "needs code page 932, the system has " << ::GetACP();
    }
};

TEST_F(FormatSongInfoCodePage, JapaneseTemplateAndValuesAroundTheTags) {
    SongInfo info;
    info.artist = "表ソ楽団";
    info.title = "夜の歌";
    info.album = "ライブ";
    info.length = 245;
    EXPECT_EQ("曲：夜の歌／表ソ楽団（ライブ）4:05",
              FormatSongInfo("曲：%TITLE%／%ARTIST%（%ALBUM%）%LENGTH%", info));
}

TEST_F(FormatSongInfoCodePage, ALoneLeadByteDoesNotHideTheTagBehindIt) {
    // An artist cut in the middle of a double-byte character ends in a lead byte.
    SongInfo info;
    info.artist = "表\x82";
    info.title = "歌";
    EXPECT_EQ("表\x82歌", FormatSongInfo("%ARTIST%%TITLE%", info));
}

}  // namespace
}  // namespace ombrel::test
