// PCM conversion from a writer input's format to its stream's format.
#include <gtest/gtest.h>

#include <cstring>

#include "standin/wmvcore/PcmConverter.h"
#include "tests/wmvcore/StandInSupport.h"

namespace ombrel::test {
namespace {

std::vector<BYTE> Convert(const WAVEFORMATEX& in, const WAVEFORMATEX& out, const std::vector<BYTE>& data) {
    wmstandin::PcmConverter converter;
    EXPECT_HR(S_OK, converter.Configure(in, out));
    std::vector<BYTE> result;
    EXPECT_HR(S_OK, converter.Convert(data.data(), static_cast<DWORD>(data.size()), &result));
    return result;
}

std::vector<BYTE> Le16(std::initializer_list<int> values) {
    std::vector<BYTE> bytes;
    for (int v : values) {
        bytes.push_back(static_cast<BYTE>(v & 0xFF));
        bytes.push_back(static_cast<BYTE>((v >> 8) & 0xFF));
    }
    return bytes;
}

std::vector<int> Read16(const std::vector<BYTE>& bytes) {
    std::vector<int> values;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        values.push_back(static_cast<int16_t>(static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8)));
    return values;
}

TEST(PcmConverterTest, IdenticalFormatsPassBitForBit) {
    const WAVEFORMATEX formats[] = {
        Pcm(44100, 2, 16),  // the player's usual PCM
        Pcm(8000, 1, 8),    // unsigned 8-bit
        Pcm(96000, 6, 24),  // packed 24-bit surround
        Pcm(48000, 8, 32),  // the widest accepted
    };
    for (const WAVEFORMATEX& format : formats) {
        std::vector<BYTE> data(format.nBlockAlign * 1000);
        unsigned seed = 12345;
        for (BYTE& b : data) b = static_cast<BYTE>((seed = seed * 1103515245 + 12345) >> 16);
        wmstandin::PcmConverter converter;
        ASSERT_HR(S_OK, converter.Configure(format, format));
        EXPECT_TRUE(converter.PassesThrough()) << format.nSamplesPerSec << " Hz " << format.nChannels << " ch";
        std::vector<BYTE> out;
        ASSERT_HR(S_OK, converter.Convert(data.data(), static_cast<DWORD>(data.size()), &out));
        EXPECT_EQ(data.size(), out.size());
        EXPECT_TRUE(out == data) << format.wBitsPerSample << "-bit " << format.nChannels << " ch differs";
    }
}

TEST(PcmConverterTest, BitDepths) {
    struct Row {
        WORD inBits;
        std::vector<BYTE> in;
        WORD outBits;
        std::vector<BYTE> expected;
    };
    const Row rows[] = {
        {16, {0x34, 0x12}, 24, {0x00, 0x34, 0x12}},               // widened exactly
        {16, {0x34, 0x12}, 32, {0x00, 0x00, 0x34, 0x12}},         // widened exactly
        {24, {0x56, 0x34, 0x12}, 16, {0x34, 0x12}},               // 0x123456 / 256 rounds down to 0x1234
        {24, {0x80, 0x34, 0x12}, 16, {0x35, 0x12}},               // 0x123480 / 256 rounds up to 0x1235
        {32, {0xFF, 0xFF, 0xFF, 0x7F}, 16, {0xFF, 0x7F}},         // full scale clamps to 32767
        {16, {0x00, 0x80}, 8, {0x00}},                            // -32768 is 8-bit 0
        {16, {0x00, 0x00}, 8, {0x80}},                            // silence is 8-bit 128
        {16, {0xFF, 0x7F}, 8, {0xFF}},                            // 32767 clamps to 255
        {8, {0xC0}, 16, {0x00, 0x40}},                            // 8-bit 192 is +0.5
    };
    for (const Row& row : rows) {
        std::vector<BYTE> out = Convert(Pcm(44100, 1, row.inBits), Pcm(44100, 1, row.outBits), row.in);
        EXPECT_EQ(row.expected, out) << row.inBits << " -> " << row.outBits << " bits";
    }
}

TEST(PcmConverterTest, Channels) {
    struct Row {
        WORD inChannels;
        std::vector<BYTE> in;
        WORD outChannels;
        std::vector<int> expected;
    };
    const Row rows[] = {
        {1, Le16({1000}), 2, {1000, 1000}},                                  // mono on both sides
        {2, Le16({1000, 3000}), 1, {2000}},                                  // stereo averaged
        {6, Le16({1000, -1000, 0, 5000, 0, 0}), 2, {414, -414}},             // 5.1 folded: LFE left out
        {6, Le16({0, 0, 2000, 0, 0, 0}), 2, {586, 586}},                     // centre at -3 dB on both
        {2, Le16({1000, -1000}), 6, {1000, -1000, 0, 0, 0, 0}},              // stereo into the front pair
        {1, Le16({-7}), 6, {-7, -7, -7, -7, -7, -7}},                        // mono everywhere
    };
    for (const Row& row : rows) {
        std::vector<BYTE> out = Convert(Pcm(44100, row.inChannels, 16), Pcm(44100, row.outChannels, 16), row.in);
        EXPECT_EQ(row.expected, Read16(out)) << row.inChannels << " -> " << row.outChannels << " channels";
    }
}

TEST(PcmConverterTest, RateDoublingInterpolatesAndStaysContinuousAcrossCalls) {
    wmstandin::PcmConverter converter;
    ASSERT_HR(S_OK, converter.Configure(Pcm(22050, 1, 16), Pcm(44100, 1, 16)));
    EXPECT_FALSE(converter.PassesThrough());
    std::vector<BYTE> out;
    std::vector<BYTE> first = Le16({0, 100, 200, 300});
    std::vector<BYTE> second = Le16({400, 500});
    ASSERT_HR(S_OK, converter.Convert(first.data(), static_cast<DWORD>(first.size()), &out));
    ASSERT_HR(S_OK, converter.Convert(second.data(), static_cast<DWORD>(second.size()), &out));
    // Every input frame and the midpoints between them, the one across the two calls included.
    std::vector<int> expected = {0, 50, 100, 150, 200, 250, 300, 350, 400, 450, 500};
    EXPECT_EQ(expected, Read16(out));
}

TEST(PcmConverterTest, DownsamplingKeepsTheLongRunRatio) {
    wmstandin::PcmConverter converter;
    ASSERT_HR(S_OK, converter.Configure(Pcm(48000, 2, 16), Pcm(44100, 2, 16)));
    std::vector<BYTE> block(4 * 480, 0);
    std::vector<BYTE> out;
    for (int i = 0; i < 100; ++i)  // one second in 10 ms blocks
        ASSERT_HR(S_OK, converter.Convert(block.data(), static_cast<DWORD>(block.size()), &out));
    // 48000 frames in: frames at 0, 48/44.1, ... up to the last input frame.
    EXPECT_NEAR(44100.0, out.size() / 4.0, 1.0);
}

TEST(PcmConverterTest, RefusedFormatsAndPartialFrames) {
    WAVEFORMATEX floatFormat = Pcm(44100, 2, 32);
    floatFormat.wFormatTag = 3;
    WAVEFORMATEX badAlign = Pcm(44100, 2, 16);
    badAlign.nBlockAlign = 3;
    struct Row {
        WAVEFORMATEX format;
        const char* why;
    };
    const Row rows[] = {
        {Pcm(44100, 2, 12), "12-bit"},
        {Pcm(44100, 9, 16), "nine channels"},
        {Pcm(0, 2, 16), "rate 0"},
        {floatFormat, "IEEE float tag"},
        {badAlign, "block alignment"},
    };
    for (const Row& row : rows) {
        wmstandin::PcmConverter converter;
        EXPECT_HR(NS_E_INVALID_INPUT_FORMAT, converter.Configure(row.format, Pcm(44100, 2, 16))) << row.why;
    }
    wmstandin::PcmConverter converter;
    ASSERT_HR(S_OK, converter.Configure(Pcm(44100, 2, 16), Pcm(44100, 2, 16)));
    BYTE three[3] = {};
    std::vector<BYTE> out;
    EXPECT_HR(E_INVALIDARG, converter.Convert(three, 3, &out));
    EXPECT_EQ(0u, out.size());
}

}  // namespace
}  // namespace ombrel::test
