// Tag templates whose values hold tags: each step can multiply the text, so its size is bounded.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "plugin/FormatSongInfo.h"

namespace ombrel::test {
namespace {

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

template <class Work>
double Milliseconds(Work work) {
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    work();
    ::QueryPerformanceCounter(&end);
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string Repeat(const std::string& piece, size_t times) {
    std::string text;
    for (size_t n = 0; n < times; ++n) text += piece;
    return text;
}

TEST(FormatSongInfoBound, TagsMultiplyingThroughTheValuesGiveABoundedStartOfTheText) {
    // The longest template the settings file holds, and tags near the player's 1023 bytes, each
    // naming the next: in full, about 1.2e9 length texts.
    SongInfo info;
    info.artist = Repeat("%TITLE%", 146);
    info.title = Repeat("%COMMENT%", 113);
    info.comment = Repeat("%ALBUM%", 146);
    info.album = Repeat("%LENGTH%", 127);
    info.length = 245;
    const std::string format = Repeat("%ARTIST%", 511);
    const double ansiMs = Milliseconds([&] { FormatSongInfo(format, info); });
    const std::string text = FormatSongInfo(format, info);

    ASSERT_LE(text.size(), kMaxFormattedText);
    // As much of the full text as the bound let through: 4:05 again and again, perhaps ending
    // in a tag the cut left incomplete.
    size_t at = 0;
    while (text.compare(at, 4, "4:05") == 0) at += 4;
    EXPECT_GT(at, kMaxFormattedText / 4);
    const std::string rest = text.substr(at);
    EXPECT_LT(rest.size(), 8u);
    EXPECT_EQ(std::string("%LENGTH%").compare(0, rest.size(), rest), 0) << rest;

    // The same tags from a player that gives them in UTF-16: the same text, cut at the same place.
    SongInfo wide = info;
    wide.unicode = true;
    wide.artistW = Widen(info.artist);
    wide.titleW = Widen(info.title);
    wide.commentW = Widen(info.comment);
    wide.albumW = Widen(info.album);
    const double wideMs = Milliseconds([&] { FormatSongInfoW(format, wide); });
    EXPECT_EQ(FormatSongInfoW(format, wide), Widen(text));
    RecordProperty("ansi_us", static_cast<int>(ansiMs * 1000));
    RecordProperty("unicode_us", static_cast<int>(wideMs * 1000));
}

TEST(FormatSongInfoBound, OrdinaryLongTemplatesAreNotCut) {
    // A 4095-byte template (the settings file's limit) using every tag twice, values of 1023.
    SongInfo info;
    info.artist = std::string(1023, 'a');
    info.title = std::string(1023, 't');
    info.comment = std::string(1023, 'c');
    info.album = std::string(1023, 'b');
    info.length = 3600;
    const std::string tags = "%ARTIST%%TITLE%%COMMENT%%ALBUM%%LENGTH%";
    const std::string filler(4095 - 2 * tags.size(), '-');
    const std::string full = info.artist + info.title + info.comment + info.album + "60:00";
    EXPECT_EQ(FormatSongInfo(tags + filler + tags, info), full + filler + full);
}

TEST(FormatSongInfoBound, ATemplateBeyondTheBoundIsCutToIt) {
    const SongInfo info;
    EXPECT_EQ(FormatSongInfo(std::string(kMaxFormattedText + 100, 'x'), info), std::string(kMaxFormattedText, 'x'));
}

TEST(FormatSongInfoBound, ATagTheCutLeftIncompleteNeverJoinsALaterOne) {
    // The cut falls inside the second "%COMMENT%", leaving "%COMME"; the first becomes "y%ALBUM".
    // Kept, the piece's "%" would close "%ALBUM%", a tag the full text never has. What may begin
    // a tag where the cut text ends is dropped, so the text stays the start of the full one.
    const std::string filler(kMaxFormattedText - 15, 'x');
    SongInfo info;
    info.comment = "y%ALBUM";
    info.album = "REPLACED";
    const std::string full = filler + "y%ALBUMy%ALBUM";
    const std::string text = FormatSongInfo(filler + "%COMMENT%%COMMENT%", info);
    EXPECT_EQ(text, filler + "y");
    EXPECT_EQ(full.compare(0, text.size(), text), 0);

    SongInfo wide = info;
    wide.unicode = true;
    wide.commentW = Widen(info.comment);
    wide.albumW = Widen(info.album);
    EXPECT_EQ(FormatSongInfoW(filler + "%COMMENT%%COMMENT%", wide), Widen(text));
}

TEST(FormatSongInfoBoundCodePage, TheCutKeepsDoubleByteCharactersWhole) {
    if (::GetACP() != 932) GTEST_SKIP() << "needs code page 932, the system has " << ::GetACP();
    char bytes[4] = {};
    ASSERT_EQ(::WideCharToMultiByte(CP_ACP, 0, L"表", 1, bytes, sizeof bytes, nullptr, nullptr), 2);
    const std::string wide(bytes, 2);
    // One ASCII byte first, so the bound falls in the middle of a character.
    const std::string text = FormatSongInfo("a" + Repeat(wide, kMaxFormattedText / 2 + 8), SongInfo());
    EXPECT_EQ(text, "a" + Repeat(wide, kMaxFormattedText / 2 - 1));
}

}  // namespace
}  // namespace ombrel::test
