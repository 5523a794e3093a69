// WAV writing and reading against real files in a temp folder.
#include <windows.h>

#include <gtest/gtest.h>

#include "standin/player/JapaneseTags.h"
#include "standin/player/WavReader.h"
#include "tests/standin/TestFiles.h"

using namespace standin;

namespace ombrel::test {
namespace {

class WavFileTest : public ::testing::Test {
protected:
    TempFolder folder_{"ombrel-wav-test"};
};

struct FormatCase {
    WavFormat format;
    bool extensible;
};

class WavRoundTrip : public WavFileTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(WavRoundTrip, SamplesFormatAndTagsComeBackAsWritten) {
    ASSERT_TRUE(folder_.IsValid());
    const FormatCase& param = GetParam();
    WavContents written = ToneContents(param.format, 1001, FullTags("Title", "Artist"));
    written.extensible = param.extensible;
    const std::string path = folder_.File("round.wav");
    ASSERT_TRUE(WriteWavFile(path, written));

    WavContents read;
    std::string error;
    ASSERT_TRUE(ReadWavFile(path, &read, &error)) << error;
    EXPECT_EQ(read.format, written.format)
        << "read " << Describe(read.format) << ", wrote " << Describe(written.format);
    EXPECT_EQ(read.extensible, param.extensible);
    EXPECT_EQ(read.pcm.size(), size_t(1001) * param.format.BlockAlign());
    EXPECT_TRUE(read.pcm == written.pcm) << "sample bytes differ";
    EXPECT_EQ(read.tags.title.value_or("<none>"), "Title");
    EXPECT_EQ(read.tags.artist.value_or("<none>"), "Artist");
    EXPECT_EQ(read.tags.comment.value_or("<none>"), "comment of Title");
    EXPECT_EQ(read.tags.album.value_or("<none>"), "album of Title");

    const WavReadResult info = ReadWavInfo(path);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_EQ(info.info.frames, 1001u);
    EXPECT_FALSE(info.info.dataTruncated);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WavRoundTrip,
    ::testing::Values(FormatCase{{44100, 2, 16}, false}, FormatCase{{22050, 1, 8}, false},
                      FormatCase{{48000, 2, 24}, false}, FormatCase{{96000, 2, 32}, false},
                      FormatCase{{48000, 6, 16}, false}, FormatCase{{8000, 1, 16}, false},
                      FormatCase{{11025, 2, 8}, false}, FormatCase{{44100, 6, 24}, false},
                      FormatCase{{44100, 2, 16}, true}, FormatCase{{48000, 6, 24}, true},
                      FormatCase{{32000, 1, 32}, true}));

TEST(SineTone, EightBitIsUnsignedAroundMidScaleAndWiderIsSigned) {
    const std::vector<uint8_t> eight = SynthesizeSine(WavFormat{8000, 1, 8}, 1000.0, 8);
    ASSERT_EQ(eight.size(), 8u);
    EXPECT_EQ(eight[0], 128) << "silence point of 8-bit PCM is 128";
    EXPECT_GT(eight[2], 180) << "quarter period peak, got " << int(eight[2]);
    EXPECT_LT(eight[6], 76) << "three-quarter period trough, got " << int(eight[6]);

    const std::vector<uint8_t> wide = SynthesizeSine(WavFormat{8000, 1, 16}, 1000.0, 8);
    const int16_t trough = int16_t(wide[12] | (wide[13] << 8));
    EXPECT_LT(trough, -16000) << "got " << trough;
}

TEST_F(WavFileTest, CodePage932TagsKeepTheirBytes) {
    WavTags tags = FullTags(JapaneseTitle(), JapaneseArtist());
    const std::string path = folder_.File("jp.wav");
    ASSERT_TRUE(WriteWavFile(path, ToneContents({22050, 1, 8}, 100, tags)));
    const WavReadResult read = ReadWavInfo(path);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.info.tags.artist.value_or(""), JapaneseArtist());

    // The bytes are code page 932 text: converted by the system's own table they are the
    // characters the source shows.
    wchar_t wide[64] = {};
    const std::string& artist = *read.info.tags.artist;
    const int n = ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, artist.data(),
                                        int(artist.size()), wide, 63);
    EXPECT_EQ(std::wstring(wide, n > 0 ? n : 0), std::wstring(L"日本語のアーティスト"))
        << "conversion gave " << n << " characters";
    const std::string& title = *read.info.tags.title;
    EXPECT_EQ(title.size(), 2u) << "one double-byte character expected";
    const int m = ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, title.data(), int(title.size()),
                                        wide, 63);
    EXPECT_EQ(std::wstring(wide, m > 0 ? m : 0), std::wstring(L"桜"));
}

TEST_F(WavFileTest, OddSizedChunksArePaddedAndSkipped) {
    WavContents c = ToneContents({44100, 1, 8}, 33, FullTags("Odd", "Pad"));  // odd data size
    c.tags.comment = std::string("ab");  // with its zero: 3 bytes, odd
    c.extraChunks.push_back({"junk", {1, 2, 3, 4, 5}});
    c.tagsAfterData = true;
    const std::vector<uint8_t> bytes = BuildWavBytes(c);
    EXPECT_EQ(bytes.size() % 2, 0u) << "every chunk ends on an even offset, size " << bytes.size();
    const std::string path = folder_.File("odd.wav");
    ASSERT_TRUE(WriteBytesToFile(path, bytes));

    WavContents read;
    std::string error;
    ASSERT_TRUE(ReadWavFile(path, &read, &error)) << error;
    EXPECT_TRUE(read.pcm == c.pcm) << "read " << read.pcm.size() << " bytes";
    EXPECT_EQ(read.tags.comment.value_or("<none>"), "ab");
    EXPECT_EQ(read.tags.title.value_or("<none>"), "Odd");
}

TEST_F(WavFileTest, AbsentTagsStayAbsent) {
    WavTags tags;
    tags.title = std::string("Only a title");
    const std::string path = folder_.File("some.wav");
    ASSERT_TRUE(WriteWavFile(path, ToneContents({8000, 1, 16}, 10, tags)));
    const WavReadResult read = ReadWavInfo(path);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_FALSE(read.info.tags.artist.has_value()) << *read.info.tags.artist;
    EXPECT_FALSE(read.info.tags.comment.has_value());
    EXPECT_FALSE(read.info.tags.album.has_value());
    EXPECT_EQ(read.info.tags.title.value_or("<none>"), "Only a title");
}

TEST_F(WavFileTest, ShortDataIsCutToWholeFramesAndMarked) {
    std::vector<uint8_t> bytes = BuildWavBytes(ToneContents({44100, 2, 16}, 100));
    bytes.resize(bytes.size() - 6);  // one frame and a half missing
    const std::string path = folder_.File("short.wav");
    ASSERT_TRUE(WriteBytesToFile(path, bytes));
    const WavReadResult read = ReadWavInfo(path);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.info.frames, 98u);
    EXPECT_TRUE(read.info.dataTruncated);
}

struct BadFileCase {
    const char* name;
    std::vector<uint8_t> (*make)();
    const char* errorPart;
};

std::vector<uint8_t> Valid() { return BuildWavBytes(ToneContents({44100, 2, 16}, 10)); }
std::vector<uint8_t> Empty() { return {}; }
std::vector<uint8_t> CutInHeader() {
    std::vector<uint8_t> b = Valid();
    b.resize(7);
    return b;
}
std::vector<uint8_t> CutInFormat() {
    std::vector<uint8_t> b = Valid();
    b.resize(12 + 8 + 10);
    return b;
}
std::vector<uint8_t> CutBeforeData() {
    std::vector<uint8_t> b = Valid();
    b.resize(12 + 8 + 16);
    return b;
}
std::vector<uint8_t> Garbage() {
    std::vector<uint8_t> b(4000);
    for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(i * 7919 + 13);
    return b;
}
std::vector<uint8_t> RiffGarbageChunks() {
    std::vector<uint8_t> b = Garbage();
    const char head[] = "RIFF\xff\xff\xff\x7fWAVE";
    std::copy(head, head + 12, b.begin());
    return b;
}
std::vector<uint8_t> FloatFormat() {
    std::vector<uint8_t> b = Valid();
    b[20] = 3;  // WAVE_FORMAT_IEEE_FLOAT
    return b;
}
std::vector<uint8_t> WrongBlockAlign() {
    std::vector<uint8_t> b = Valid();
    b[32] = 3;
    return b;
}
std::vector<uint8_t> TwelveBits() {
    std::vector<uint8_t> b = Valid();
    b[34] = 12;
    return b;
}
std::vector<uint8_t> ExtensibleFloat() {
    WavContents c = ToneContents({44100, 2, 32}, 10);
    c.extensible = true;
    std::vector<uint8_t> b = BuildWavBytes(c);
    b[20 + 24] = 3;  // the subtype's first byte: KSDATAFORMAT_SUBTYPE_IEEE_FLOAT
    return b;
}

class WavBadFile : public WavFileTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(WavBadFile, FailsWithAReason) {
    const std::string path = folder_.File("bad.wav");
    ASSERT_TRUE(WriteBytesToFile(path, GetParam().make()));
    const WavReadResult read = ReadWavInfo(path);
    EXPECT_FALSE(read.ok) << GetParam().name << " was accepted with " << Describe(read.info.format);
    EXPECT_NE(read.error.find(GetParam().errorPart), std::string::npos)
        << GetParam().name << ": " << read.error;
    WavContents contents;
    std::string error;
    EXPECT_FALSE(ReadWavFile(path, &contents, &error));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavBadFile,
    ::testing::Values(BadFileCase{"empty", Empty, "not a RIFF"},
                      BadFileCase{"cut in header", CutInHeader, "not a RIFF"},
                      BadFileCase{"cut in fmt", CutInFormat, "fmt chunk too short"},
                      BadFileCase{"cut before data", CutBeforeData, "no data"},
                      BadFileCase{"garbage", Garbage, "not a RIFF"},
                      BadFileCase{"RIFF then garbage", RiffGarbageChunks, "no fmt"},
                      BadFileCase{"float", FloatFormat, "format tag 3"},
                      BadFileCase{"block align", WrongBlockAlign, "block align 3"},
                      BadFileCase{"12-bit", TwelveBits, "unsupported PCM layout"},
                      BadFileCase{"extensible float", ExtensibleFloat, "PCM subtype"}),
    [](const ::testing::TestParamInfo<BadFileCase>& info) { return std::to_string(info.index); });

TEST_F(WavFileTest, MissingFileFailsWithAReason) {
    const WavReadResult read = ReadWavInfo(folder_.File("absent.wav"));
    EXPECT_FALSE(read.ok);
    EXPECT_NE(read.error.find("cannot open"), std::string::npos) << read.error;
}

}  // namespace
}  // namespace ombrel::test
