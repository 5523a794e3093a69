// The writer in-process: its states and refusals, its inputs, conversion on the way to the
// multiplexer, the order in which sinks hear of things, and its statistics.
#include <gtest/gtest.h>
#include <nserror.h>

#include <cmath>
#include <cstring>
#include <map>

#include "standin/wmvcore/AsfMuxer.h"
#include "standin/wmvcore/CodecCatalogue.h"
#include "standin/wmvcore/EncodingThread.h"
#include "standin/wmvcore/WmaEncoder.h"
#include "tests/common/AsfReader.h"
#include "tests/wmvcore/FakeSink.h"
#include "tests/wmvcore/StandInSupport.h"

#include <mmreg.h>

namespace ombrel::test {
namespace {

win::ComPtr<IWMProfile> PcmProfile(WAVEFORMATEX wave, bool script) {
    win::ComPtr<IWMProfile> profile;
    EXPECT_HR(S_OK, wmstandin::CreateProfile(WMT_VER_9_0, profile.put()));
    EXPECT_HR(S_OK, AddPcmStream(profile.get(), wave));
    if (script) {
        EXPECT_HR(S_OK, AddScriptStream(profile.get()));
    }
    return profile;
}

// One WMA stream of the format, its block size changed by blockAlignChange, and a script stream
// when asked.
win::ComPtr<IWMProfile> WmaProfile(wmstandin::WmaFormat format, bool script, int blockAlignChange = 0) {
    auto* wave = reinterpret_cast<WAVEFORMATEX*>(format.wave.data());
    wave->nBlockAlign = static_cast<WORD>(wave->nBlockAlign + blockAlignChange);
    WM_MEDIA_TYPE type = PcmType(wave);
    type.cbFormat = static_cast<ULONG>(format.wave.size());
    win::ComPtr<IWMProfile> profile;
    EXPECT_HR(S_OK, wmstandin::CreateProfile(WMT_VER_9_0, profile.put()));
    EXPECT_HR(S_OK, AddStream(profile.get(), WMMEDIATYPE_Audio, &type, L"Audio", format.bitrate));
    if (script) {
        EXPECT_HR(S_OK, AddScriptStream(profile.get()));
    }
    return profile;
}

struct WriterParts {
    win::ComPtr<IWMWriter> writer;
    win::ComPtr<IWMWriterAdvanced> advanced;
    win::ComPtr<IWMHeaderInfo> header;
};
WriterParts NewWriter() {
    WriterParts parts;
    EXPECT_HR(S_OK, wmstandin::CreateWriter(parts.writer.put()));
    EXPECT_HR(S_OK, parts.writer.As(IID_IWMWriterAdvanced, &parts.advanced));
    EXPECT_HR(S_OK, parts.writer.As(IID_IWMHeaderInfo, &parts.header));
    return parts;
}

HRESULT Write(IWMWriter* writer, DWORD input, QWORD time, const std::vector<BYTE>& bytes) {
    win::ComPtr<INSSBuffer> sample;
    HRESULT hr = writer->AllocateSample(static_cast<DWORD>(bytes.size()), sample.put());
    if (FAILED(hr)) return hr;
    BYTE* data = nullptr;
    DWORD length = 0;
    sample->GetBufferAndLength(&data, &length);
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    return writer->WriteSample(input, time, 0, sample.get());
}

TEST(WriterTest, QueryInterfaceAndReferenceCount) {
    win::ComPtr<IWMWriter> writer;
    ASSERT_HR(S_OK, wmstandin::CreateWriter(writer.put()));
    struct Row {
        const IID* iid;
        HRESULT expected;
        const char* name;
    };
    const Row rows[] = {
        {&IID_IUnknown, S_OK, "IUnknown"},
        {&IID_IWMWriter, S_OK, "IWMWriter"},
        {&IID_IWMWriterAdvanced, S_OK, "IWMWriterAdvanced"},
        {&IID_IWMHeaderInfo, S_OK, "IWMHeaderInfo"},
        {&IID_IWMWriterAdvanced2, E_NOINTERFACE, "IWMWriterAdvanced2 (not provided)"},
        {&IID_IWMHeaderInfo2, E_NOINTERFACE, "IWMHeaderInfo2 (not provided)"},
        {&IID_IWMProfile, E_NOINTERFACE, "IWMProfile (another object)"},
    };
    for (const Row& row : rows) {
        IUnknown* out = nullptr;
        HRESULT hr = writer->QueryInterface(*row.iid, reinterpret_cast<void**>(&out));
        EXPECT_HR(row.expected, hr) << row.name;
        if (out) {
            EXPECT_EQ(1u, out->Release()) << row.name;
        }
    }
    EXPECT_EQ(0u, writer.detach()->Release());
}

TEST(WriterTest, RefusalsInEachState) {
    WriterParts w = NewWriter();
    DWORD count = 0;
    EXPECT_HR(NS_E_NOT_CONFIGURED, w.writer->GetInputCount(&count));       // no profile yet
    EXPECT_HR(NS_E_NOT_CONFIGURED, w.writer->BeginWriting());              // nothing to write
    EXPECT_HR(E_NOTIMPL, w.writer->SetOutputFilename(L"C:\\x.asf"));      // the plug-in uses sinks

    struct Row {
        const char* what;
        win::ComPtr<IWMProfile> profile;
        HRESULT expected;
    };
    std::vector<Row> rows;
    {  // video: the stand-in compresses nothing
        win::ComPtr<IWMProfile> p = PcmProfile(Pcm(44100, 2, 16), false);
        WM_MEDIA_TYPE video{};
        video.majortype = WMMEDIATYPE_Video;
        EXPECT_HR(S_OK, AddStream(p.get(), WMMEDIATYPE_Video, &video, L"Video", 400000));
        rows.push_back({"video stream", std::move(p), NS_E_VIDEO_CODEC_NOT_INSTALLED});
    }
    {  // two audio streams
        win::ComPtr<IWMProfile> p = PcmProfile(Pcm(44100, 2, 16), false);
        EXPECT_HR(S_OK, AddPcmStream(p.get(), Pcm(22050, 1, 16)));
        rows.push_back({"two audio streams", std::move(p), NS_E_INVALIDPROFILE});
    }
    {  // script alone
        win::ComPtr<IWMProfile> p;
        EXPECT_HR(S_OK, wmstandin::CreateProfile(WMT_VER_9_0, p.put()));
        EXPECT_HR(S_OK, AddScriptStream(p.get()));
        rows.push_back({"no audio stream", std::move(p), NS_E_INVALIDPROFILE});
    }
    for (Row& row : rows) EXPECT_HR(row.expected, w.writer->SetProfile(row.profile.get())) << row.what;

    win::ComPtr<IWMProfile> good = PcmProfile(Pcm(44100, 2, 16), true);
    ASSERT_HR(S_OK, w.writer->SetProfile(good.get()));
    EXPECT_HR(NS_E_INVALID_REQUEST, Write(w.writer.get(), 0, 0, std::vector<BYTE>(4)));  // not writing
    EXPECT_HR(NS_E_INVALID_REQUEST, w.writer->Flush());
    EXPECT_HR(NS_E_INVALID_REQUEST, w.writer->EndWriting());
    EXPECT_HR(E_INVALIDARG, w.header->SetAttribute(1, L"Title", WMT_TYPE_STRING, (const BYTE*)L"x", 4));
    EXPECT_HR(E_INVALIDARG, w.header->SetAttribute(0, L"Flag", WMT_TYPE_DWORD, (const BYTE*)L"x", 2));
    ASSERT_HR(S_OK, w.writer->BeginWriting());
    EXPECT_HR(NS_E_INVALID_REQUEST, w.writer->BeginWriting());                 // already writing
    EXPECT_HR(NS_E_INVALID_REQUEST, w.writer->SetProfile(good.get()));         // profile fixed while writing
    EXPECT_HR(NS_E_INVALID_REQUEST, w.header->SetAttribute(0, L"Title", WMT_TYPE_STRING, (const BYTE*)L"x", 4));
    EXPECT_HR(E_INVALIDARG, Write(w.writer.get(), 2, 0, std::vector<BYTE>(4)));  // no input 2
    EXPECT_HR(E_INVALIDARG, Write(w.writer.get(), 0, 0, std::vector<BYTE>(3)));  // partial frame
    EXPECT_HR(S_OK, w.writer->EndWriting());
    EXPECT_HR(NS_E_INVALID_REQUEST, w.writer->EndWriting());
}

TEST(WriterTest, InputsFollowTheProfileAndAcceptPcmFormats) {
    WriterParts w = NewWriter();
    win::ComPtr<IWMProfile> profile = PcmProfile(Pcm(44100, 2, 16), true);
    ASSERT_HR(S_OK, w.writer->SetProfile(profile.get()));
    DWORD count = 0;
    EXPECT_HR(S_OK, w.writer->GetInputCount(&count));
    EXPECT_EQ(2u, count);
    const WCHAR* names[] = {L"Audio", L"Script"};
    for (DWORD i = 0; i < 2; ++i) {
        win::ComPtr<IWMInputMediaProps> props;
        ASSERT_HR(S_OK, w.writer->GetInputProps(i, props.put()));
        win::ComPtr<IWMStreamConfig> config;
        ASSERT_HR(S_OK, props.As(IID_IWMStreamConfig, &config));
        WCHAR name[16] = {};
        WORD size = 16;
        EXPECT_HR(S_OK, config->GetConnectionName(name, &size));
        EXPECT_EQ(std::wstring(names[i]), std::wstring(name));
    }
    struct Row {
        WAVEFORMATEX wave;
        HRESULT expected;
        const char* what;
    };
    const Row rows[] = {
        {Pcm(48000, 1, 8), S_OK, "8-bit mono 48 kHz"},
        {Pcm(22050, 2, 8), S_OK, "8-bit stereo 22 kHz"},
        // High-resolution PCM is never taken in a bare WAVEFORMATEX, and a 16-bit stereo
        // stream takes none at all.
        {Pcm(11025, 6, 24), NS_E_INVALID_INPUT_FORMAT, "24-bit 6 channels"},
        {Pcm(96000, 8, 32), NS_E_INVALID_INPUT_FORMAT, "32-bit 8 channels"},
        {Pcm(44100, 2, 24), NS_E_INVALID_INPUT_FORMAT, "24-bit stereo"},
        {Pcm(44100, 2, 20), NS_E_INVALID_INPUT_FORMAT, "20-bit"},
        {Pcm(44100, 9, 16), NS_E_INVALID_INPUT_FORMAT, "9 channels"},
    };
    win::ComPtr<IWMInputMediaProps> props;
    ASSERT_HR(S_OK, w.writer->GetInputProps(0, props.put()));
    for (const Row& row : rows) {
        WAVEFORMATEX wave = row.wave;
        WM_MEDIA_TYPE type = PcmType(&wave);
        ASSERT_HR(S_OK, props->SetMediaType(&type));
        EXPECT_HR(row.expected, w.writer->SetInputProps(0, props.get())) << row.what;
    }
    EXPECT_HR(E_INVALIDARG, w.writer->GetInputProps(2, props.put()));
}

WAVEFORMATEXTENSIBLE Extensible(DWORD rate, WORD channels, WORD bits) {
    WAVEFORMATEXTENSIBLE wave{};
    wave.Format = Pcm(rate, channels, bits);
    wave.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    wave.Format.cbSize = 22;
    wave.Samples.wValidBitsPerSample = bits;
    wave.SubFormat = WMMEDIASUBTYPE_PCM;
    return wave;
}

// A high-resolution stream (the Lossless and Professional codecs' formats) lists its own
// format as an extensible record and takes it, and only it, besides the standard PCM.
TEST(WriterTest, HighResolutionStreamsListAndTakeTheirOwnFormatAsExtensiblePcm) {
    struct Row {
        WAVEFORMATEX stream;
        DWORD listed;
        WAVEFORMATEXTENSIBLE input;
        HRESULT expected;
        const char* what;
    };
    const Row rows[] = {
        {Pcm(44100, 2, 24), 5, Extensible(44100, 2, 24), S_OK, "24-bit stereo into its own stream"},
        {Pcm(48000, 6, 16), 5, Extensible(44100, 6, 16), S_OK, "6 channels at another rate"},
        {Pcm(48000, 6, 16), 5, Extensible(48000, 6, 24), NS_E_INVALID_INPUT_FORMAT, "wider than the stream"},
        {Pcm(48000, 6, 24), 5, Extensible(48000, 2, 24), NS_E_INVALID_INPUT_FORMAT, "fewer channels, 24-bit"},
        {Pcm(44100, 2, 16), 4, Extensible(44100, 2, 24), NS_E_INVALID_INPUT_FORMAT, "a standard stream"},
        {Pcm(44100, 2, 16), 4, Extensible(44100, 2, 16), S_OK, "standard PCM, extensible"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriterParts w = NewWriter();
        win::ComPtr<IWMProfile> profile = PcmProfile(row.stream, false);
        ASSERT_HR(S_OK, w.writer->SetProfile(profile.get()));
        DWORD count = 0;
        ASSERT_HR(S_OK, w.writer->GetInputFormatCount(0, &count));
        EXPECT_EQ(row.listed, count);
        win::ComPtr<IWMInputMediaProps> first;
        ASSERT_HR(S_OK, w.writer->GetInputFormat(0, 0, first.put()));
        const std::vector<BYTE> listed = ReadMediaType(first.get());
        ASSERT_NE(nullptr, WaveOf(listed));
        EXPECT_EQ(row.listed == 5 ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM, WaveOf(listed)->wFormatTag);
        EXPECT_HR(E_INVALIDARG, w.writer->GetInputFormat(0, count, first.put()));

        WAVEFORMATEXTENSIBLE wave = row.input;
        WM_MEDIA_TYPE type = PcmType(&wave.Format);
        type.cbFormat = sizeof(wave);
        win::ComPtr<IWMInputMediaProps> props;
        ASSERT_HR(S_OK, w.writer->GetInputProps(0, props.put()));
        ASSERT_HR(S_OK, props->SetMediaType(&type));
        EXPECT_HR(row.expected, w.writer->SetInputProps(0, props.get()));
    }
}

TEST(WriterTest, SinksHearTheHeaderFirstAndTheEndLast) {
    WriterParts w = NewWriter();
    win::ComPtr<IWMProfile> profile = PcmProfile(Pcm(44100, 2, 16), false);
    ASSERT_HR(S_OK, w.writer->SetProfile(profile.get()));
    FakeSink early, late;
    ASSERT_HR(S_OK, w.advanced->AddSink(&early));
    EXPECT_HR(E_INVALIDARG, w.advanced->AddSink(&early));  // once only
    ASSERT_HR(S_OK, w.writer->BeginWriting());
    std::vector<BYTE> second(176400, 0x11);  // one second of CD audio
    ASSERT_HR(S_OK, Write(w.writer.get(), 0, 0, second));
    ASSERT_HR(S_OK, w.advanced->AddSink(&late));  // joins while writing
    ASSERT_HR(S_OK, Write(w.writer.get(), 0, 10000000, second));
    DWORD sinks = 0;
    EXPECT_HR(S_OK, w.advanced->GetSinkCount(&sinks));
    EXPECT_EQ(2u, sinks);
    ASSERT_HR(S_OK, w.writer->EndWriting());
    std::string a = early.Kinds(), b = late.Kinds();
    EXPECT_EQ('H', a.front()) << a;
    EXPECT_EQ('E', a.back()) << a;
    EXPECT_EQ('H', b.front()) << b;
    EXPECT_EQ('E', b.back()) << b;
    EXPECT_LT(b.size(), a.size()) << "the late sink missed the first second";
    EXPECT_EQ(early.Events().front().bytes, late.Events().front().bytes) << "both got the same header";
    const size_t packet = early.Events()[1].bytes.size();
    EXPECT_EQ(wmstandin::AsfMuxer::kDefaultPacketSize, packet);
    EXPECT_GE((a.size() - 2) * packet, 2u * 176400) << a.size() << " events";
    EXPECT_HR(S_OK, w.advanced->RemoveSink(&early));
    EXPECT_HR(E_INVALIDARG, w.advanced->RemoveSink(&early));
    EXPECT_EQ(1, early.Refs());
    w.advanced.reset();
    w.header.reset();
    EXPECT_EQ(0u, w.writer.detach()->Release());
    EXPECT_EQ(1, late.Refs()) << "the writer let go of the late sink";
}

TEST(WriterTest, StatisticsCountWhatWentIntoTheStream) {
    WriterParts w = NewWriter();
    // The stream is 16-bit stereo 44.1 kHz; the input is 8-bit mono 22.05 kHz (a quarter of
    // the bytes per second, converted up).
    win::ComPtr<IWMProfile> profile = PcmProfile(Pcm(44100, 2, 16), true);
    ASSERT_HR(S_OK, w.writer->SetProfile(profile.get()));
    win::ComPtr<IWMInputMediaProps> props;
    ASSERT_HR(S_OK, w.writer->GetInputProps(0, props.put()));
    WAVEFORMATEX wave = Pcm(22050, 1, 8);
    WM_MEDIA_TYPE type = PcmType(&wave);
    ASSERT_HR(S_OK, props->SetMediaType(&type));
    ASSERT_HR(S_OK, w.writer->SetInputProps(0, props.get()));
    FakeSink sink;
    ASSERT_HR(S_OK, w.advanced->AddSink(&sink));
    ASSERT_HR(S_OK, w.writer->BeginWriting());
    std::vector<BYTE> tenth(2205, 0x80);
    for (int i = 0; i < 30; ++i) ASSERT_HR(S_OK, Write(w.writer.get(), 0, i * 1000000ull, tenth));
    std::vector<BYTE> script(20, 0x41);
    ASSERT_HR(S_OK, Write(w.writer.get(), 1, 2000000, script));
    WM_WRITER_STATISTICS all{}, audio{}, text{};
    EXPECT_HR(S_OK, w.advanced->GetStatistics(0, &all));
    EXPECT_HR(S_OK, w.advanced->GetStatistics(1, &audio));
    EXPECT_HR(S_OK, w.advanced->GetStatistics(2, &text));
    EXPECT_HR(E_INVALIDARG, w.advanced->GetStatistics(3, &text));
    // Each tenth of a second becomes about 17640 bytes of 16-bit stereo.
    EXPECT_EQ(30u, audio.qwSampleCount);
    EXPECT_NEAR(30 * 17640.0, static_cast<double>(audio.qwByteCount), 30 * 4.0);
    EXPECT_NEAR(1411200.0, audio.dwAverageBitrate, 1411200 * 0.005);
    EXPECT_NEAR(1411200.0, audio.dwCurrentBitrate, 1411200 * 0.005);
    EXPECT_EQ(1411200u, audio.dwExpectedBitrate);
    EXPECT_EQ(1u, text.qwSampleCount);
    EXPECT_EQ(20u, text.qwByteCount);
    EXPECT_EQ(31u, all.qwSampleCount);
    EXPECT_EQ(audio.qwByteCount + 20, all.qwByteCount);
    EXPECT_EQ(1411200u + 10000u, all.dwExpectedBitrate);
    ASSERT_HR(S_OK, w.writer->EndWriting());
    ASSERT_HR(S_OK, w.advanced->RemoveSink(&sink));
}

TEST(WriterTest, AttributesReachTheHeader) {
    WriterParts w = NewWriter();
    win::ComPtr<IWMProfile> profile = PcmProfile(Pcm(44100, 2, 16), false);
    ASSERT_HR(S_OK, w.writer->SetProfile(profile.get()));
    const WCHAR author[] = L"Someone Unusual";
    EXPECT_HR(S_OK, w.header->SetAttribute(0, L"Author", WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(author),
                                           sizeof(author)));
    const BYTE blob[5] = {0xDE, 0xAD, 0xBE, 0xEF, 0x42};
    EXPECT_HR(S_OK, w.header->SetAttribute(0, L"WM/Picture", WMT_TYPE_BINARY, blob, sizeof(blob)));
    WORD count = 0;
    EXPECT_HR(S_OK, w.header->GetAttributeCount(0, &count));
    EXPECT_EQ(2, count);
    WORD stream = 0;
    WMT_ATTR_DATATYPE type{};
    BYTE back[8] = {};
    WORD length = sizeof(back);
    EXPECT_HR(S_OK, w.header->GetAttributeByName(&stream, L"WM/Picture", &type, back, &length));
    EXPECT_EQ(WMT_TYPE_BINARY, type);
    EXPECT_EQ(5, length);
    FakeSink sink;
    ASSERT_HR(S_OK, w.advanced->AddSink(&sink));
    ASSERT_HR(S_OK, w.writer->BeginWriting());
    ASSERT_HR(S_OK, w.writer->EndWriting());
    std::vector<FakeSink::Event> events = sink.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_NE(std::string::npos, FindBytes(events.front().bytes, author, sizeof(author) - 2));
    EXPECT_NE(std::string::npos, FindBytes(events.front().bytes, blob, sizeof(blob)));
    EXPECT_EQ("HE", sink.Kinds()) << "nothing written, nothing flushed";
    ASSERT_HR(S_OK, w.advanced->RemoveSink(&sink));
}

// The catalogue's WMA v2 formats: the writer's encoder makes blocks of each format's block
// alignment, one per 2048 frames, at times that run on from the first sample, so the stream takes
// exactly the format's bit rate; the header carries the format with the encoder's extra bytes.
TEST(WriterTest, WmaStreamsCarryTheEncodersBlocksAtTheFormatsBitRate) {
    win::ComPtr<IWMProfileManager> manager;
    ASSERT_HR(S_OK, wmstandin::CreateProfileManager(manager.put()));
    win::ComPtr<IWMCodecInfo3> info;
    ASSERT_HR(S_OK, manager.As(IID_IWMCodecInfo3, &info));
    DWORD count = 0;
    ASSERT_HR(S_OK, info->GetCodecFormatCount(WMMEDIATYPE_Audio, 1, &count));
    ASSERT_GT(count, 2u);
    for (DWORD index : {0ul, count - 1}) {  // the highest bit rate and the lowest
        win::ComPtr<IWMStreamConfig> format;
        ASSERT_HR(S_OK, info->GetCodecFormat(WMMEDIATYPE_Audio, 1, index, format.put()));
        win::ComPtr<IWMMediaProps> formatProps;
        ASSERT_HR(S_OK, format.As(IID_IWMMediaProps, &formatProps));
        std::vector<BYTE> block = ReadMediaType(formatProps.get());
        const WAVEFORMATEX wma = *WaveOf(block);
        ASSERT_EQ(wmstandin::kWmaV2Tag, wma.wFormatTag);
        DWORD bitrate = 0;
        format->GetBitrate(&bitrate);
        EXPECT_EQ(wma.nAvgBytesPerSec * 8, bitrate);

        WriterParts w = NewWriter();
        win::ComPtr<IWMProfile> profile;
        ASSERT_HR(S_OK, wmstandin::CreateProfile(WMT_VER_9_0, profile.put()));
        auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
        ASSERT_HR(S_OK, AddStream(profile.get(), WMMEDIATYPE_Audio, type, L"Audio", bitrate));
        ASSERT_HR(S_OK, w.writer->SetProfile(profile.get()));
        // The input takes 16-bit PCM of the stream's rate and channels until told otherwise.
        win::ComPtr<IWMInputMediaProps> input;
        ASSERT_HR(S_OK, w.writer->GetInputProps(0, input.put()));
        std::vector<BYTE> fed = ReadMediaType(input.get());
        EXPECT_EQ(WAVE_FORMAT_PCM, WaveOf(fed)->wFormatTag);
        EXPECT_EQ(wma.nSamplesPerSec, WaveOf(fed)->nSamplesPerSec);
        EXPECT_EQ(wma.nChannels, WaveOf(fed)->nChannels);
        // Fed from 44.1 kHz stereo, as the player does, whatever the stream's format.
        WAVEFORMATEX cd = Pcm(44100, 2, 16);
        WM_MEDIA_TYPE cdType = PcmType(&cd);
        ASSERT_HR(S_OK, input->SetMediaType(&cdType));
        ASSERT_HR(S_OK, w.writer->SetInputProps(0, input.get()));
        FakeSink sink;
        ASSERT_HR(S_OK, w.advanced->AddSink(&sink));
        ASSERT_HR(S_OK, w.writer->BeginWriting());
        const int kBlock = 576, kBlocks = 230;  // three seconds
        std::vector<BYTE> pcm(kBlock * 4);
        for (int b = 0; b < kBlocks; ++b) {
            for (int i = 0; i < kBlock; ++i) {
                const auto v = static_cast<int16_t>(10000 * std::sin(2 * 3.14159265358979 * 1000 * (b * kBlock + i) / 44100.0));
                std::memcpy(&pcm[i * 4], &v, 2);
                std::memcpy(&pcm[i * 4 + 2], &v, 2);
            }
            ASSERT_HR(S_OK, Write(w.writer.get(), 0, b * kBlock * 10000000ull / 44100, pcm));
        }
        ASSERT_HR(S_OK, w.writer->EndWriting());
        ASSERT_HR(S_OK, w.advanced->RemoveSink(&sink));

        const std::vector<FakeSink::Event> events = sink.Events();
        ASSERT_GE(events.size(), 3u);
        ParsedHeader header = ParseHeader(events.front().bytes);
        ASSERT_TRUE(header.ok) << header.error;
        EXPECT_NE(std::string::npos, FindBytes(events.front().bytes, WaveOf(block), sizeof(WAVEFORMATEX) + wma.cbSize))
            << "the header's stream properties carry the format and its extra bytes";
        std::map<BYTE, std::pair<uint32_t, uint32_t>> objects;  // number: size, time (ms with preroll)
        std::map<BYTE, uint32_t> carried;
        for (size_t e = 1; e + 1 < events.size(); ++e) {
            ParsedPacket packet = ParsePacket(events[e].bytes);
            ASSERT_TRUE(packet.ok) << packet.error;
            for (const auto& payload : packet.payloads) {
                objects[payload.objectNumber] = {payload.objectSize, payload.time};
                carried[payload.objectNumber] += static_cast<uint32_t>(payload.data.size());
            }
        }
        // Three seconds and the encoder's one block of delay, the last block filled with silence.
        const size_t expected = (uint64_t{kBlocks} * kBlock * wma.nSamplesPerSec / 44100 + 2047) / 2048 + 1;
        EXPECT_NEAR(static_cast<double>(expected), static_cast<double>(objects.size()), 1.0) << "format " << index;
        const double step = 2048 * 1000.0 / wma.nSamplesPerSec;
        for (const auto& [number, object] : objects) {
            EXPECT_EQ(wma.nBlockAlign, object.first) << "format " << index << " block " << int(number);
            EXPECT_EQ(object.first, carried[number]) << "format " << index << " block " << int(number);
            // The first block carries the encoder's delay: one block before the stream's start.
            const double due = 3000 + (number - 1.0) * step;
            EXPECT_NEAR(due, object.second, 1.0) << "format " << index << " block " << int(number);
        }
        // The blocks' bytes over the time they cover: the format's bit rate.
        const double seconds = objects.size() * 2048.0 / wma.nSamplesPerSec;
        EXPECT_NEAR(bitrate, objects.size() * wma.nBlockAlign * 8 / seconds, bitrate * 0.001) << "format " << index;
    }
}

// Captions written while the WMA encoder is behind (the player's audio comes faster than real
// time) wait for it: the packets go out in time order, send times never go back, and no audio
// block follows a caption it comes before. A listener joining at a caption's packet would
// otherwise start its stream time there, ahead of the audio still to come.
TEST(WriterTest, ScriptCommandsAheadOfTheEncodingWaitForIt) {
    wmstandin::WmaFormat format;
    ASSERT_TRUE(wmstandin::DescribeWmaFormat(44100, 2, 128000, &format));
    WriterParts w = NewWriter();
    ASSERT_HR(S_OK, w.writer->SetProfile(WmaProfile(format, true).get()));
    FakeSink sink;
    ASSERT_HR(S_OK, w.advanced->AddSink(&sink));
    ASSERT_HR(S_OK, w.writer->BeginWriting());
    // Four seconds of 576-frame blocks written at once, a caption every half second at the
    // audio's clock, as the plug-in stamps them.
    const int kBlock = 576, kBlocks = 307;
    const std::vector<BYTE> pcm(kBlock * 4, 0x10);
    const std::vector<BYTE> caption(40, 0x41);
    int captions = 0;
    for (int b = 0; b < kBlocks; ++b) {
        const QWORD time = b * kBlock * 10000000ull / 44100;
        ASSERT_HR(S_OK, Write(w.writer.get(), 0, time, pcm));
        if (b % 38 == 37) {
            ASSERT_HR(S_OK, Write(w.writer.get(), 1, time, caption));
            ++captions;
        }
    }
    ASSERT_HR(S_OK, w.writer->EndWriting());
    ASSERT_HR(S_OK, w.advanced->RemoveSink(&sink));

    uint32_t lastSend = 0, latestCaption = 0;
    int captionsSeen = 0;
    for (const FakeSink::Event& event : sink.Events()) {
        if (event.kind != 'D') continue;
        const ParsedPacket packet = ParsePacket(event.bytes);
        ASSERT_TRUE(packet.ok) << packet.error;
        EXPECT_GE(packet.sendTime, lastSend) << "send times go back";
        lastSend = packet.sendTime;
        for (const auto& payload : packet.payloads) {
            if (payload.stream == 2) {
                latestCaption = std::max(latestCaption, payload.time);
                captionsSeen += payload.offset == 0;
            } else if (payload.offset == 0) {
                // An audio block begun after a caption starts no earlier than the encoder's
                // remainder before it (a block, 46 ms, and its delay).
                EXPECT_GE(payload.time + 100, latestCaption) << "audio at " << payload.time;
            }
        }
    }
    EXPECT_EQ(captions, captionsSeen);
}

// What the encoder cannot do has a clear outcome: a WMA format whose block size the encoder
// would not write is refused when writing begins; a sample larger than the encoding queue is
// refused at once (the caller's block is dropped, not waited for) and the stream goes on.
TEST(WriterTest, WmaStreamsRefuseWhatTheEncoderCannotDo) {
    wmstandin::WmaFormat format;
    ASSERT_TRUE(wmstandin::DescribeWmaFormat(44100, 2, 128000, &format));

    WriterParts bad = NewWriter();
    ASSERT_HR(S_OK, bad.writer->SetProfile(WmaProfile(format, false, 100).get()));
    EXPECT_HR(NS_E_INVALID_OUTPUT_FORMAT, bad.writer->BeginWriting());
    EXPECT_HR(NS_E_INVALID_REQUEST, bad.writer->EndWriting()) << "not writing after the refusal";

    WriterParts w = NewWriter();
    ASSERT_HR(S_OK, w.writer->SetProfile(WmaProfile(format, false).get()));
    FakeSink sink;
    ASSERT_HR(S_OK, w.advanced->AddSink(&sink));
    ASSERT_HR(S_OK, w.writer->BeginWriting());
    EXPECT_HR(E_INVALIDARG, Write(w.writer.get(), 0, 0, std::vector<BYTE>(3)));  // partial frame
    EXPECT_HR(E_OUTOFMEMORY, Write(w.writer.get(), 0, 0, std::vector<BYTE>(wmstandin::EncodingThread::kQueueBytes + 4)));
    for (int i = 0; i < 100; ++i) ASSERT_HR(S_OK, Write(w.writer.get(), 0, i * 130612ull, std::vector<BYTE>(2304)));
    ASSERT_HR(S_OK, w.writer->EndWriting());
    ASSERT_HR(S_OK, w.advanced->RemoveSink(&sink));
    EXPECT_GT(sink.Kinds().size(), 3u) << "the blocks after the refused one were encoded";
}

}  // namespace
}  // namespace ombrel::test
