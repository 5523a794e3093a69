// The multiplexer: every header object read back field by field, and the data packets' fixed
// size, payload fields, times and the samples they carry.
#include <windows.h>
#include <mmreg.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "standin/wmvcore/AsfMuxer.h"
#include "standin/wmvcore/InputFormats.h"
#include "tests/common/AsfReader.h"

namespace ombrel::test {
namespace {

using namespace wmstandin;

std::vector<BYTE> Utf16Value(const std::wstring& s) {
    std::vector<BYTE> v;
    for (wchar_t c : s) {
        v.push_back(static_cast<BYTE>(c));
        v.push_back(static_cast<BYTE>(c >> 8));
    }
    v.push_back(0);
    v.push_back(0);
    return v;
}

std::vector<BYTE> WaveFormat(WORD channels, DWORD rate, WORD bits) {
    const WAVEFORMATEX w = PlainPcm(rate, channels, bits);
    const BYTE* p = reinterpret_cast<const BYTE*>(&w);
    return std::vector<BYTE>(p, p + sizeof w);
}

std::vector<AsfStream> AudioAndScript() {
    AsfStream audio;
    audio.number = 1;
    audio.mediaType = WMMEDIATYPE_Audio;
    audio.format = WaveFormat(2, 44100, 16);
    audio.bitrate = 1411200;
    audio.bufferWindow = 3000;
    audio.name = L"Audio Stream";
    audio.language = L"en-us";
    AsfStream script;
    script.number = 2;
    script.mediaType = WMMEDIATYPE_Script;
    script.bitrate = 1000;
    script.bufferWindow = 5000;
    script.name = L"Script Stream";
    script.language = L"ja-jp";
    return {audio, script};
}

std::vector<AsfAttribute> Attributes() {
    std::vector<AsfAttribute> a;
    auto add = [&](const wchar_t* name, const wchar_t* value) {
        a.push_back({name, WMT_TYPE_STRING, Utf16Value(value)});
    };
    add(L"Title", L"Night Radio");
    add(L"Author", L"Ombrel");
    add(L"Copyright", L"(c) 2024");
    add(L"Description", L"Caf\u00e9 live");
    add(L"WM/Genre", L"Jazz");
    add(L"WM/AlbumTitle", L"Album");
    add(L"WM/Composer", L"Composer");
    add(L"WM/EncodedBy", L"Encoder");
    add(L"WM/Publisher", L"Publisher");
    a.push_back({L"WM/Count", WMT_TYPE_DWORD, {0x78, 0x56, 0x34, 0x12}});
    return a;
}

class AsfMuxerTest : public ::testing::Test {
protected:
    AsfMuxer muxer{AudioAndScript(), Attributes(), 3200};
    ParsedHeader header = ParseHeader(muxer.Header());
};

TEST_F(AsfMuxerTest, HeaderObjectHoldsItsDeclaredObjectsThenTheDataObjectHead) {
    ASSERT_TRUE(header.ok) << header.error;
    EXPECT_EQ(header.declaredCount, header.objects.size());
    // file properties, two stream properties, extension, content, extended content, bit rates
    EXPECT_EQ(header.objects.size(), 7u);
    ASSERT_EQ(header.dataHead.size(), 50u);
    EXPECT_TRUE(asf::ReadGuid(&header.dataHead[0]) == asf::kDataObject);
    // Live, the size is that of the head alone; 0 (allowed for a broadcast) is refused by VLC's
    // own demultiplexer as an object smaller than its 24-byte head.
    EXPECT_EQ(asf::ReadU64(&header.dataHead[16]), 50u) << "live: the head alone";
    EXPECT_EQ(asf::ReadU64(&header.dataHead[40]), 0u) << "live: packet count unknown";
    EXPECT_EQ(header.dataHead[48], 1);
    EXPECT_EQ(header.dataHead[49], 1);
}

TEST_F(AsfMuxerTest, FilePropertiesAreBroadcastWithOnePacketSize) {
    ASSERT_TRUE(header.ok) << header.error;
    const auto found = Find(header.objects, asf::kFilePropertiesObject);
    ASSERT_EQ(found.size(), 1u);
    const auto& b = found[0]->body;
    ASSERT_EQ(b.size(), 80u);
    // The file id is the data object's.
    EXPECT_EQ(0, std::memcmp(&b[0], &header.dataHead[24], 16));
    EXPECT_EQ(asf::ReadU64(&b[32]), 0u) << "data packets count";
    EXPECT_EQ(asf::ReadU64(&b[56]), 5000u) << "preroll: the longest buffer window";
    EXPECT_EQ(asf::ReadU32(&b[64]) & 1u, 1u) << "broadcast flag";
    EXPECT_EQ(asf::ReadU32(&b[68]), 3200u) << "minimum packet size";
    EXPECT_EQ(asf::ReadU32(&b[72]), 3200u) << "maximum packet size";
    EXPECT_EQ(asf::ReadU32(&b[76]), 1411200u + 1000u) << "maximum bit rate";
    EXPECT_EQ(muxer.PacketSize(), 3200u);
}

TEST_F(AsfMuxerTest, StreamPropertiesDescribeAudioAndCommandMedia) {
    ASSERT_TRUE(header.ok) << header.error;
    const auto found = Find(header.objects, asf::kStreamPropertiesObject);
    ASSERT_EQ(found.size(), 2u);
    const auto& a = found[0]->body;
    EXPECT_TRUE(asf::ReadGuid(&a[0]) == asf::kAudioMedia);
    EXPECT_TRUE(asf::ReadGuid(&a[16]) == asf::kNoErrorCorrection);
    EXPECT_EQ(asf::ReadU32(&a[40]), 18u) << "type-specific data: the WAVEFORMATEX";
    EXPECT_EQ(asf::ReadU32(&a[44]), 0u);
    EXPECT_EQ(asf::ReadU16(&a[48]), 1u) << "stream number";
    ASSERT_EQ(a.size(), 54u + 18u);
    EXPECT_EQ(std::vector<BYTE>(a.begin() + 54, a.end()), WaveFormat(2, 44100, 16));
    const auto& s = found[1]->body;
    EXPECT_TRUE(asf::ReadGuid(&s[0]) == asf::kCommandMedia);
    EXPECT_EQ(asf::ReadU32(&s[40]), 0u);
    EXPECT_EQ(asf::ReadU16(&s[48]), 2u);
    EXPECT_EQ(s.size(), 54u);
}

TEST_F(AsfMuxerTest, ContentDescriptionHoldsTheFourStringsAndAnEmptyRating) {
    ASSERT_TRUE(header.ok) << header.error;
    const auto found = Find(header.objects, asf::kContentDescriptionObject);
    ASSERT_EQ(found.size(), 1u);
    const auto& b = found[0]->body;
    const wchar_t* expected[] = {L"Night Radio", L"Ombrel", L"(c) 2024", L"Caf\u00e9 live", L""};
    size_t at = 10;
    for (int i = 0; i < 5; ++i) {
        const uint16_t n = asf::ReadU16(&b[2 * i]);
        EXPECT_EQ(n, i == 4 ? 0u : (std::wcslen(expected[i]) + 1) * 2) << "field " << i;
        ASSERT_LE(at + n, b.size());
        EXPECT_EQ(Utf16At(&b[at], n), expected[i]) << "field " << i;
        at += n;
    }
    EXPECT_EQ(at, b.size());
}

TEST_F(AsfMuxerTest, ExtendedContentDescriptionHoldsTheOtherAttributesInOrder) {
    ASSERT_TRUE(header.ok) << header.error;
    const auto found = Find(header.objects, asf::kExtendedContentDescriptionObject);
    ASSERT_EQ(found.size(), 1u);
    const auto& b = found[0]->body;
    ASSERT_EQ(asf::ReadU16(&b[0]), 6u);
    struct Row { std::wstring name; uint16_t type; std::vector<BYTE> value; };
    std::vector<Row> rows;
    size_t at = 2;
    for (int i = 0; i < 6; ++i) {
        const uint16_t nameLength = asf::ReadU16(&b[at]);
        Row r;
        r.name = Utf16At(&b[at + 2], nameLength);
        at += 2 + nameLength;
        r.type = asf::ReadU16(&b[at]);
        const uint16_t valueLength = asf::ReadU16(&b[at + 2]);
        r.value.assign(b.begin() + at + 4, b.begin() + at + 4 + valueLength);
        at += 4 + valueLength;
        rows.push_back(r);
    }
    EXPECT_EQ(at, b.size());
    const wchar_t* names[] = {L"WM/Genre", L"WM/AlbumTitle", L"WM/Composer", L"WM/EncodedBy", L"WM/Publisher"};
    const wchar_t* values[] = {L"Jazz", L"Album", L"Composer", L"Encoder", L"Publisher"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rows[i].name, names[i]);
        EXPECT_EQ(rows[i].type, 0u) << "string";
        EXPECT_EQ(rows[i].value, Utf16Value(values[i])) << "with one terminator";
    }
    EXPECT_EQ(rows[5].name, L"WM/Count");
    EXPECT_EQ(rows[5].type, 3u) << "DWORD";
    EXPECT_EQ(rows[5].value, (std::vector<BYTE>{0x78, 0x56, 0x34, 0x12}));
}

TEST_F(AsfMuxerTest, StreamBitratesListEachStream) {
    ASSERT_TRUE(header.ok) << header.error;
    const auto found = Find(header.objects, asf::kStreamBitratePropertiesObject);
    ASSERT_EQ(found.size(), 1u);
    const auto& b = found[0]->body;
    ASSERT_EQ(b.size(), 2u + 12u);
    EXPECT_EQ(asf::ReadU16(&b[0]), 2u);
    EXPECT_EQ(asf::ReadU16(&b[2]), 1u);
    EXPECT_EQ(asf::ReadU32(&b[4]), 1411200u);
    EXPECT_EQ(asf::ReadU16(&b[8]), 2u);
    EXPECT_EQ(asf::ReadU32(&b[10]), 1000u);
}

TEST_F(AsfMuxerTest, HeaderExtensionListsLanguagesAndTiesStreamsToThem) {
    ASSERT_TRUE(header.ok) << header.error;
    const auto langs = Find(header.extension, asf::kLanguageListObject);
    ASSERT_EQ(langs.size(), 1u);
    const auto& l = langs[0]->body;
    ASSERT_EQ(asf::ReadU16(&l[0]), 2u);
    ASSERT_EQ(l[2], 12u);
    EXPECT_EQ(Utf16At(&l[3], 12), L"en-us");
    ASSERT_EQ(l[15], 12u);
    EXPECT_EQ(Utf16At(&l[16], 12), L"ja-jp");

    const auto ext = Find(header.extension, asf::kExtendedStreamPropertiesObject);
    ASSERT_EQ(ext.size(), 2u);
    const wchar_t* names[] = {L"Audio Stream", L"Script Stream"};
    for (int i = 0; i < 2; ++i) {
        const auto& e = ext[i]->body;
        EXPECT_EQ(asf::ReadU16(&e[48]), i + 1u) << "stream number";
        EXPECT_EQ(asf::ReadU16(&e[50]), static_cast<unsigned>(i)) << "language index";
        EXPECT_EQ(asf::ReadU16(&e[60]), 1u) << "one stream name";
        EXPECT_EQ(asf::ReadU16(&e[62]), 0u) << "no payload extension systems";
        const uint16_t n = asf::ReadU16(&e[66]);
        EXPECT_EQ(Utf16At(&e[68], n), names[i]);
        EXPECT_EQ(e.size(), 68u + n);
    }
}

TEST(AsfMuxer, NoLanguageMeansNoLanguageList) {
    auto streams = AudioAndScript();
    streams[0].language.clear();
    streams[1].language.clear();
    AsfMuxer m(streams, {}, 3200);
    const ParsedHeader h = ParseHeader(m.Header());
    ASSERT_TRUE(h.ok) << h.error;
    EXPECT_TRUE(Find(h.extension, asf::kLanguageListObject).empty());
    EXPECT_EQ(Find(h.extension, asf::kExtendedStreamPropertiesObject).size(), 2u);
}

// Collects the samples the packets carry, per stream and media object number.
struct Reassembled {
    BYTE stream;
    uint32_t time;
    bool key;
    std::vector<BYTE> data;
};

std::vector<Reassembled> Reassemble(const std::vector<AsfPacket>& packets, std::string* error) {
    std::vector<Reassembled> out;
    std::map<int, size_t> open;  // stream → index in out of the object being filled
    for (const auto& p : packets) {
        const ParsedPacket parsed = ParsePacket(p);
        if (!parsed.ok) {
            *error = parsed.error;
            return out;
        }
        for (const auto& pl : parsed.payloads) {
            if (pl.offset == 0) {
                out.push_back({pl.stream, pl.time, pl.key, {}});
                open[pl.stream] = out.size() - 1;
            }
            Reassembled& r = out[open[pl.stream]];
            if (r.data.size() != pl.offset || r.time != pl.time) {
                *error = "fragment out of order";
                return out;
            }
            r.data.insert(r.data.end(), pl.data.begin(), pl.data.end());
            if (r.data.size() > pl.objectSize) {
                *error = "fragment beyond the object";
                return out;
            }
        }
    }
    return out;
}

std::vector<BYTE> Pattern(size_t n, int seed) {
    std::vector<BYTE> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<BYTE>(i * 31 + seed * 7 + (i >> 8));
    return v;
}

TEST_F(AsfMuxerTest, PacketsHaveOneSizeAndCarryEverySampleWithItsTime) {
    std::vector<AsfPacket> packets;
    std::vector<std::vector<BYTE>> written;
    // 576 stereo 16-bit frames per block, as the player hands them, for about 1.3 s.
    for (int i = 0; i < 100; ++i) {
        written.push_back(Pattern(2304, i));
        const QWORD time = static_cast<QWORD>(i) * 576 * 10000000 / 44100;
        muxer.AddSample(1, time, written.back().data(), 2304, true, &packets);
    }
    muxer.Flush(&packets);
    ASSERT_FALSE(packets.empty());
    for (const auto& p : packets) ASSERT_EQ(p.size(), 3200u);
    // Payload bytes, packet heads and payload heads account for all of it.
    EXPECT_GE(packets.size(), 100u * 2304 / 3200);

    std::string error;
    const auto samples = Reassemble(packets, &error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_EQ(samples.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(samples[i].stream, 1);
        EXPECT_TRUE(samples[i].key);
        EXPECT_EQ(samples[i].data, written[i]) << "sample " << i;
        const uint32_t ms = static_cast<uint32_t>(static_cast<QWORD>(i) * 576 * 1000 / 44100);
        EXPECT_EQ(samples[i].time, ms + 5000) << "presentation time in ms after the preroll, sample " << i;
    }
}

TEST_F(AsfMuxerTest, SendTimeIsTheFirstPayloadsTimeWithoutThePreroll) {
    std::vector<AsfPacket> packets;
    const auto data = Pattern(1000, 1);
    muxer.AddSample(1, 20000000, data.data(), 1000, true, &packets);   // 2000 ms
    muxer.AddSample(1, 20500000, data.data(), 1000, true, &packets);   // 2050 ms
    muxer.Flush(&packets);
    ASSERT_EQ(packets.size(), 1u);
    const ParsedPacket p = ParsePacket(packets[0]);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.sendTime, 2000u);
    EXPECT_EQ(p.duration, 50u);
    ASSERT_EQ(p.payloads.size(), 2u);
    EXPECT_EQ(p.payloads[0].time, 7000u);
    EXPECT_EQ(p.payloads[1].time, 7050u);
    EXPECT_EQ(p.payloads[0].objectNumber + 1, p.payloads[1].objectNumber) << "media object numbers count up";
    EXPECT_EQ(p.padding, 3200u - 14 - 2 * (17 + 1000));
}

TEST_F(AsfMuxerTest, ALargeSampleIsSplitAcrossPacketsWithOffsets) {
    std::vector<AsfPacket> packets;
    const auto big = Pattern(10000, 3);
    muxer.AddSample(1, 0, big.data(), 10000, false, &packets);
    muxer.Flush(&packets);
    ASSERT_EQ(packets.size(), 4u) << "3169 bytes of payload per packet";
    uint32_t expectedOffset = 0;
    for (const auto& raw : packets) {
        const ParsedPacket p = ParsePacket(raw);
        ASSERT_TRUE(p.ok) << p.error;
        ASSERT_EQ(p.payloads.size(), 1u);
        EXPECT_EQ(p.payloads[0].offset, expectedOffset);
        EXPECT_EQ(p.payloads[0].objectSize, 10000u);
        EXPECT_FALSE(p.payloads[0].key);
        expectedOffset += static_cast<uint32_t>(p.payloads[0].data.size());
    }
    EXPECT_EQ(expectedOffset, 10000u);
    std::string error;
    const auto samples = Reassemble(packets, &error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].data, big);
}

TEST_F(AsfMuxerTest, AScriptSampleTravelsUnchangedBesideTheAudio) {
    std::vector<AsfPacket> packets;
    std::vector<BYTE> script = Utf16Value(L"TEXT");
    const auto title = Utf16Value(L"Artist - Song");
    script.insert(script.end(), title.begin(), title.end());
    const auto audio = Pattern(2304, 9);
    muxer.AddSample(1, 10000000, audio.data(), 2304, true, &packets);
    muxer.AddSample(2, 10100000, script.data(), static_cast<DWORD>(script.size()), true, &packets);
    muxer.Flush(&packets);
    std::string error;
    const auto samples = Reassemble(packets, &error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[1].stream, 2);
    EXPECT_EQ(samples[1].data, script);
    EXPECT_EQ(samples[1].time, 1010u + 5000u);
}

TEST_F(AsfMuxerTest, FlushWithNothingPendingAddsNoPacket) {
    std::vector<AsfPacket> packets;
    muxer.Flush(&packets);
    EXPECT_TRUE(packets.empty());
    muxer.AddSample(1, 0, nullptr, 0, true, &packets);
    muxer.Flush(&packets);
    EXPECT_TRUE(packets.empty()) << "an empty sample carries nothing";
}

TEST_F(AsfMuxerTest, APacketHoldsAtMostSixtyThreePayloads) {
    std::vector<AsfPacket> packets;
    const BYTE one = 0x5A;
    for (int i = 0; i < 70; ++i) muxer.AddSample(2, i * 10000, &one, 1, true, &packets);
    muxer.Flush(&packets);
    ASSERT_EQ(packets.size(), 2u);
    const ParsedPacket first = ParsePacket(packets[0]);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.payloads.size(), 63u);
}

}  // namespace
}  // namespace ombrel::test
