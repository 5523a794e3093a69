// PCM, video and script samples: byte counts, exact layouts, the audio clock across format
// changes, refused arguments and the failure of each runtime call.
#include <windows.h>
#include <mmreg.h>
#include <nserror.h>

#include <climits>
#include <thread>
#include <vector>

#include "tests/encoder/EncoderFixture.h"

using ::testing::ElementsAre;

namespace ombrel::test {
namespace {

std::vector<BYTE> Pcm(size_t bytes) {
    std::vector<BYTE> pcm(bytes);
    for (size_t i = 0; i < bytes; ++i) pcm[i] = static_cast<BYTE>(i * 7 + 1);
    return pcm;
}

TEST_F(EncoderTest, WriteAudioBeforeStartFailsAndWritesNothing) {
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.Initialize());
    runtime_->ClearCalls();
    std::vector<BYTE> pcm = Pcm(2304);
    EXPECT_EQ(E_FAIL, e.WriteAudio(pcm.data(), 576));
    EXPECT_EQ(E_FAIL, e.WriteScript(L"TEXT", L"abc"));
    EXPECT_THAT(runtime_->Calls(true), ElementsAre());
}

struct ByteCountCase {
    INT32 channels;
    INT32 bits;
    INT32 frames;
    DWORD bytes;
};

// Bytes = (bits x frames / 8) x channels.
const ByteCountCase kByteCounts[] = {
    {2, 16, 576, 2304},  // 16-bit stereo, the player's usual block
    {2, 24, 10, 60},     // 24-bit stereo
    {1, 8, 5, 5},        // 8-bit mono: one byte per frame
    {6, 32, 3, 72},      // 32-bit six channels
    {2, 16, 0, 0},       // an empty block
};

TEST_F(EncoderTest, WriteAudioSendsTheBlockWholeWithItsByteCount) {
    for (const ByteCountCase& row : kByteCounts) {
        SCOPED_TRACE(::testing::Message() << row.channels << " channels, " << row.bits << " bits, " << row.frames);
        fake::ScopedRuntime runtime;
        {
            WmLiveEncoder e;
            InputFormat format = AudioFormat(44100, row.channels, row.bits);
            EncoderSettings settings = StandardSettings();
            ASSERT_EQ(S_OK, e.Initialize());
            ASSERT_EQ(S_OK, e.Configure(&format, &settings));
            ASSERT_EQ(S_OK, e.Start());
            runtime->ClearCalls();
            std::vector<BYTE> pcm = Pcm(row.bytes + 1);
            EXPECT_EQ(S_OK, e.WriteAudio(pcm.data(), row.frames));
            std::string size = std::to_string(row.bytes);
            EXPECT_THAT(runtime->Calls(true),
                        ElementsAre("Writer.AllocateSample(" + size + ")", "Sample.GetBufferAndLength()",
                                    "Sample.SetLength(" + size + ")", "Writer.WriteSample(0, 0, 0)"));
            ASSERT_EQ(1u, runtime->samples.size());
            EXPECT_EQ(std::vector<BYTE>(pcm.begin(), pcm.begin() + row.bytes), runtime->samples[0].bytes);
            EXPECT_EQ(static_cast<UINT64>(row.frames), e.samplesWritten);
        }
        EXPECT_EQ(0, runtime->LiveObjects());
    }
}

TEST_F(EncoderTest, TimeStampsCountFramesAndFollowARateChange) {
    StartEncoder();
    WmLiveEncoder& e = Encoder();
    std::vector<BYTE> pcm = Pcm(44100 * 4);
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 44100));
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 44100));
    InputFormat changed = AudioFormat(48000);
    ASSERT_EQ(S_OK, e.ChangeInputFormat(&changed));
    EXPECT_EQ(20000000u, e.timeOffset);
    EXPECT_EQ(0u, e.samplesWritten);
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 48000));
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 1));
    ASSERT_EQ(4u, runtime_->samples.size());
    // First block at 0, then 10,000,000 after 44100 frames, then exactly the offset after
    // the change, then 30,000,000 after 48000 frames at the new rate.
    EXPECT_EQ(0u, runtime_->samples[0].time);
    EXPECT_EQ(10000000u, runtime_->samples[1].time);
    EXPECT_EQ(20000000u, runtime_->samples[2].time);
    EXPECT_EQ(30000000u, runtime_->samples[3].time);
    // The change set the new PCM type on the writer's input 0 without a restart.
    EXPECT_THAT(runtime_->CallsStartingWith("Writer.BeginWriting"), ElementsAre());
    const WAVEFORMATEX& wave = fake::FormatOf<WAVEFORMATEX>(runtime_->inputTypes[0]);
    EXPECT_EQ(48000u, wave.nSamplesPerSec);
    EXPECT_EQ(192000u, wave.nAvgBytesPerSec);
}

TEST_F(EncoderTest, TimeStampsAreTruncatedIn64Bits) {
    StartEncoder();
    WmLiveEncoder& e = Encoder();
    std::vector<BYTE> pcm = Pcm(16);
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 1));
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 1));
    EXPECT_EQ(226u, runtime_->samples[1].time);  // 10^7 / 44100 = 226.75
    e.samplesWritten = 0x7FFFFFFFFFFFull / 10000000ull * 10000000ull;  // days of audio: no 32-bit overflow
    UINT64 expected = e.samplesWritten * 10000000ull / 44100;
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 1));
    EXPECT_EQ(expected, runtime_->samples[2].time);
}

TEST_F(EncoderTest, AChangeThatFailsLeavesTheClockContinuous) {
    StartEncoder();
    WmLiveEncoder& e = Encoder();
    std::vector<BYTE> pcm = Pcm(44100 * 4);
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 44100));
    runtime_->FailOn("Writer.GetInputCount", kRuntimeFailure);
    InputFormat changed = AudioFormat(88200);
    EXPECT_EQ(kRuntimeFailure, e.ChangeInputFormat(&changed));
    EXPECT_STREQ("UpdateWriterInputs failed (0xc00d1234)\n", e.errorText);
    EXPECT_EQ(88200, e.inputFormat.sampleRate);
    // Rebased before the writer was asked: the old count at the new rate would have put the next
    // block half a second back in time.
    EXPECT_EQ(0u, e.samplesWritten);
    EXPECT_EQ(10000000u, e.timeOffset);
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 1));
    EXPECT_EQ(10000000u, runtime_->samples.back().time);
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 88200));
    EXPECT_EQ(10000000u + 113u, runtime_->samples.back().time);  // one frame at 88200 Hz
}

TEST_F(EncoderTest, ChangeInputFormatRefusesWhatCannotBeEncoded) {
    StartEncoder();
    WmLiveEncoder& e = Encoder();
    EXPECT_EQ(E_INVALIDARG, e.ChangeInputFormat(nullptr));
    InputFormat zero = AudioFormat(0);  // a rate of 0 would divide by zero later
    EXPECT_EQ(E_INVALIDARG, e.ChangeInputFormat(&zero));
    InputFormat negative = AudioFormat(-44100);
    EXPECT_EQ(E_INVALIDARG, e.ChangeInputFormat(&negative));
    InputFormat three = AudioFormat(44100, 2, 16, TRUE);
    three.videoEnabled = TRUE;
    EXPECT_EQ(E_INVALIDARG, e.ChangeInputFormat(&three));
    EXPECT_EQ(44100, e.inputFormat.sampleRate);
    EXPECT_THAT(runtime_->Calls(true), ElementsAre());
}

// Arguments of WriteAudio that would overflow or read nothing.
struct RefusedBlock {
    INT32 channels;
    INT32 bits;
    INT32 frames;
    bool nullPcm;
};

const RefusedBlock kRefusedBlocks[] = {
    {2, 16, -1, false},                  // a negative frame count
    {2, 16, INT_MAX, false},             // 8 GB: beyond 32 bits
    {2, 32, INT_MAX / 8 + 1, false},     // just past 2^31 bytes
    {2, 16, 576, true},                  // no samples
};

TEST_F(EncoderTest, WriteAudioRefusesAbsurdBlocksBeforeAnyAllocation) {
    for (const RefusedBlock& row : kRefusedBlocks) {
        SCOPED_TRACE(::testing::Message() << row.frames << " frames, null " << row.nullPcm);
        fake::ScopedRuntime runtime;
        {
            WmLiveEncoder e;
            InputFormat format = AudioFormat(44100, row.channels, row.bits);
            EncoderSettings settings = StandardSettings();
            ASSERT_EQ(S_OK, e.Initialize());
            ASSERT_EQ(S_OK, e.Configure(&format, &settings));
            ASSERT_EQ(S_OK, e.Start());
            runtime->ClearCalls();
            BYTE pcm[8] = {};
            EXPECT_EQ(E_INVALIDARG, e.WriteAudio(row.nullPcm ? nullptr : pcm, row.frames));
            EXPECT_THAT(runtime->Calls(true), ElementsAre());
            EXPECT_EQ(0u, e.samplesWritten);
            EXPECT_STREQ("", e.errorText);
        }
    }
}

// The calls of one sample write, failing in turn.
struct SampleFailure {
    const char* call;
    const char* message;
};

const SampleFailure kSampleFailures[] = {
    // the sample
    {"Writer.AllocateSample", "IWMWriter_AllocateSample (0xc00d1234)\n"},
    // its buffer
    {"Sample.GetBufferAndLength", "INSSBuffer_GetBufferAndLength (0xc00d1234)\n"},
    // its length
    {"Sample.SetLength", "INSSBuffer_SetLength (0xc00d1234)\n"},
    // the write
    {"Writer.WriteSample", "IWMWriter_WriteSample (0xc00d1234)\n"},
};

TEST_F(EncoderTest, AFailedAudioWriteLeavesItsMessageMovesNoClockAndReleasesTheSample) {
    for (const SampleFailure& row : kSampleFailures) {
        SCOPED_TRACE(row.call);
        fake::ScopedRuntime runtime;
        {
            WmLiveEncoder e;
            InputFormat format = AudioFormat(44100, 2, 16, TRUE);
            EncoderSettings settings = StandardSettings();
            ASSERT_EQ(S_OK, e.Initialize());
            ASSERT_EQ(S_OK, e.Configure(&format, &settings));
            ASSERT_EQ(S_OK, e.Start());
            std::vector<BYTE> pcm = Pcm(400);
            runtime->FailOn(row.call, kRuntimeFailure);
            EXPECT_EQ(kRuntimeFailure, e.WriteAudio(pcm.data(), 100));
            EXPECT_EQ(row.message, std::string(e.errorText));
            EXPECT_EQ(0u, e.samplesWritten);
            e.errorText[0] = '\0';
            EXPECT_EQ(kRuntimeFailure, e.WriteScript(L"TEXT", L"abc"));
            EXPECT_EQ(row.message, std::string(e.errorText));
            EXPECT_EQ(TRUE, e.running);
        }
        EXPECT_EQ(0, runtime->LiveObjects());
    }
}

TEST_F(EncoderTest, AScriptSampleIsTypeAndCommandWithTheirTerminators) {
    StartEncoder(AudioFormat(44100, 2, 16, TRUE));
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.WriteScript(L"TEXT", L"abc"));
    EXPECT_THAT(runtime_->Calls(true), ElementsAre("Writer.AllocateSample(18)", "Sample.GetBufferAndLength()",
                                                   "Sample.SetLength(18)", "Writer.WriteSample(1, 0, 1)"));
    ASSERT_EQ(S_OK, e.WriteScript(L"TEXT", L""));
    ASSERT_EQ(S_OK, e.WriteScript(L"", L""));
    ASSERT_EQ(S_OK, e.WriteScript(L"TEXT", L"\u97f3\u697d"));  // outside Latin-1: carried as UTF-16
    ASSERT_EQ(4u, runtime_->samples.size());
    EXPECT_EQ(std::vector<BYTE>({0x54, 0, 0x45, 0, 0x58, 0, 0x54, 0, 0, 0, 0x61, 0, 0x62, 0, 0x63, 0, 0, 0}),
              runtime_->samples[0].bytes);
    EXPECT_EQ(std::vector<BYTE>({0x54, 0, 0x45, 0, 0x58, 0, 0x54, 0, 0, 0, 0, 0}), runtime_->samples[1].bytes);
    EXPECT_EQ(std::vector<BYTE>({0, 0, 0, 0}), runtime_->samples[2].bytes);
    EXPECT_EQ(std::vector<BYTE>({0x54, 0, 0x45, 0, 0x58, 0, 0x54, 0, 0, 0, 0xf3, 0x97, 0x7d, 0x69, 0, 0}),
              runtime_->samples[3].bytes);
    for (const fake::WrittenSample& sample : runtime_->samples) {
        EXPECT_EQ(1u, sample.input);
        EXPECT_EQ(1u, sample.flags);  // clean point
    }
    EXPECT_EQ(0u, e.samplesWritten);
}

TEST_F(EncoderTest, AScriptSampleCarriesTheAudioClock) {
    StartEncoder(AudioFormat(44100, 2, 16, TRUE));
    WmLiveEncoder& e = Encoder();
    std::vector<BYTE> pcm = Pcm(22050 * 4);
    ASSERT_EQ(S_OK, e.WriteScript(L"TEXT", L"first"));
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 22050));
    ASSERT_EQ(S_OK, e.WriteScript(L"TEXT", L"second"));
    ASSERT_EQ(3u, runtime_->samples.size());
    EXPECT_EQ(0u, runtime_->samples[0].time);
    EXPECT_EQ(5000000u, runtime_->samples[2].time);
    EXPECT_EQ(22050u, e.samplesWritten);
    EXPECT_EQ(E_INVALIDARG, e.WriteScript(nullptr, L"x"));
    EXPECT_EQ(E_INVALIDARG, e.WriteScript(L"TEXT", nullptr));
}

TEST_F(EncoderTest, AScriptOnlyEncoderWithoutARateStampsAtTheOffset) {
    InputFormat format{};
    format.scriptEnabled = TRUE;  // no audio: the clock has no rate and must not divide
    StartEncoder(format);
    WmLiveEncoder& e = Encoder();
    EXPECT_EQ(S_OK, e.WriteScript(L"TEXT", L"x"));
    ASSERT_EQ(1u, runtime_->samples.size());
    EXPECT_EQ(0u, runtime_->samples[0].time);
    EXPECT_EQ(0, e.inputs[0].inputNumber);
}

TEST_F(EncoderTest, ScriptWritesFromTwoThreadsWhileAudioRunsAllArriveWhole) {
    StartEncoder(AudioFormat(44100, 2, 16, TRUE));
    WmLiveEncoder& e = Encoder();
    constexpr int kWrites = 200;
    std::vector<BYTE> pcm = Pcm(441 * 4);
    std::thread audio([&] {
        for (int i = 0; i < kWrites; ++i) e.WriteAudio(pcm.data(), 441);
    });
    std::thread first([&] {
        for (int i = 0; i < kWrites; ++i) e.WriteScript(L"TEXT", L"first thread");
    });
    for (int i = 0; i < kWrites; ++i) e.WriteScript(L"TEXT", L"main");
    audio.join();
    first.join();
    EXPECT_EQ(3u * kWrites, runtime_->samples.size());
    UINT64 audioEnd = 0;
    for (const fake::WrittenSample& sample : runtime_->samples) {
        if (sample.input == 0) {
            EXPECT_EQ(audioEnd, sample.time);
            audioEnd += 100000;  // 441 frames at 44100 Hz
        } else {
            EXPECT_EQ(0u, sample.time % 100000) << sample.time;  // always between two blocks
        }
    }
    EXPECT_EQ(441u * kWrites, e.samplesWritten);
}

TEST_F(EncoderTest, WriteVideoStampsByTheWallClockWithACleanPoint) {
    InputFormat format{};
    format.videoEnabled = TRUE;
    format.videoWidth = 3;
    format.videoHeight = 2;
    format.frameRateNumerator = 30;
    format.frameRateDenominator = 1;
    format.videoFrameBytes = 24;
    runtime_->inputNamesFixed = true;
    runtime_->inputNames = {L"WMLiveWmv9Video1"};
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.Initialize());
    e.inputFormat = format;
    e.settings = StandardSettings();
    ASSERT_EQ(S_OK, e.InitializeInputStream());
    ASSERT_EQ(S_OK, e.UpdateWriterInputs());
    const WM_MEDIA_TYPE& type = fake::MediaTypeOf(runtime_->inputTypes[0]);
    EXPECT_EQ(24u, type.lSampleSize);  // (3 x 4 + 3) & ~3 = 12 bytes a row, 2 rows
    EXPECT_EQ(88u, type.cbFormat);
    const WMVIDEOINFOHEADER& header = fake::FormatOf<WMVIDEOINFOHEADER>(runtime_->inputTypes[0]);
    EXPECT_EQ(24u * 30 * 8, header.dwBitRate);
    EXPECT_EQ(333333, header.AvgTimePerFrame);
    EXPECT_EQ(32, header.bmiHeader.biBitCount);
    ASSERT_EQ(S_OK, e.Start());
    e.startTime = ::timeGetTime() - 2000;
    BYTE frame[24] = {9};
    EXPECT_EQ(E_INVALIDARG, e.WriteVideo(nullptr));
    ASSERT_EQ(S_OK, e.WriteVideo(frame));
    ASSERT_EQ(1u, runtime_->samples.size());
    EXPECT_EQ(24u, runtime_->samples[0].bytes.size());
    EXPECT_EQ(1u, runtime_->samples[0].flags);
    EXPECT_GE(runtime_->samples[0].time, 20000000u);
    EXPECT_LT(runtime_->samples[0].time, 25000000u);
}

// The input steps' own messages, which a caller's message may later replace.
TEST_F(EncoderTest, TheInputStepsLeaveTheirOwnMessages) {
    StartEncoder();
    WmLiveEncoder& e = Encoder();
    runtime_->FailOn("Writer.GetInputCount", kRuntimeFailure);
    EXPECT_EQ(kRuntimeFailure, e.UpdateWriterInputs());
    EXPECT_STREQ("IWMWriter_GetInputCount failed (0xc00d1234)\n", e.errorText);
    InputFormat none{};  // no stream enabled: nothing to build
    EXPECT_EQ(E_FAIL, e.ChangeInputFormat(&none));
    EXPECT_STREQ("InitializeInputStream failed (0x80004005)\n", e.errorText);

    WmLiveEncoder fresh;
    EncoderSettings settings = StandardSettings();
    ASSERT_EQ(S_OK, fresh.Initialize());
    EXPECT_EQ(E_FAIL, fresh.Configure(&none, &settings));
    EXPECT_STREQ("InitializeInputStream failed (0x80004005)\n", fresh.errorText);
}

// The runtime promises no order of its inputs: each stream's samples follow its connection name.
TEST_F(EncoderTest, SamplesGoToTheWriterInputOfTheirStreamWhateverItsNumber) {
    runtime_->inputNamesFixed = true;
    runtime_->inputNames = {L"WMLiveWmv9Arbit1", L"WMLiveWmv9Audio1"};
    StartEncoder(AudioFormat(44100, 2, 16, TRUE));
    WmLiveEncoder& e = Encoder();
    std::vector<BYTE> pcm = Pcm(2304);
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 576));
    ASSERT_EQ(S_OK, e.WriteScript(L"TEXT", L"a"));
    InputFormat mono = AudioFormat(22050, 1, 16, TRUE);
    ASSERT_EQ(S_OK, e.ChangeInputFormat(&mono));
    ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 576));
    ASSERT_EQ(3u, runtime_->samples.size());
    EXPECT_EQ(1u, runtime_->samples[0].input);
    EXPECT_EQ(0u, runtime_->samples[1].input);
    EXPECT_EQ(1u, runtime_->samples[2].input);
}

TEST_F(EncoderTest, InputStreamsAreBuiltVideoAudioScriptAndRebuiltWithoutLeaks) {
    WmLiveEncoder& e = Encoder();
    e.inputFormat = AudioFormat(44100, 2, 16, FALSE);
    ASSERT_EQ(S_OK, e.InitializeInputStream());
    EXPECT_EQ(1u, e.inputCount);  // the script flag off: one entry
    const WAVEFORMATEX* wave = reinterpret_cast<const WAVEFORMATEX*>(e.inputs[0].mediaType.pbFormat);
    EXPECT_EQ(4u, wave->nBlockAlign);
    EXPECT_EQ(176400u, wave->nAvgBytesPerSec);
    EXPECT_EQ(1u, wave->wFormatTag);
    EXPECT_EQ(4u, e.inputs[0].mediaType.lSampleSize);
    // Uncompressed PCM the runtime can take: fixed-size samples, no temporal compression, and
    // a plain WAVEFORMATEX block.
    const WM_MEDIA_TYPE& pcmType = e.inputs[0].mediaType;
    EXPECT_TRUE(IsEqualGUID(WMMEDIATYPE_Audio, pcmType.majortype));
    EXPECT_TRUE(IsEqualGUID(WMMEDIASUBTYPE_PCM, pcmType.subtype));
    EXPECT_TRUE(IsEqualGUID(WMFORMAT_WaveFormatEx, pcmType.formattype));
    EXPECT_EQ(TRUE, pcmType.bFixedSizeSamples);
    EXPECT_EQ(FALSE, pcmType.bTemporalCompression);
    EXPECT_EQ(18u, pcmType.cbFormat);
    EXPECT_STREQ(L"WMLiveWmv9Audio1", e.inputs[0].connectionName);
    EXPECT_EQ(-1, e.inputs[0].inputNumber);
    e.inputFormat.scriptEnabled = TRUE;
    ASSERT_EQ(S_OK, e.InitializeInputStream());
    EXPECT_EQ(2u, e.inputCount);
    EXPECT_STREQ(L"WMLiveWmv9Arbit1", e.inputs[1].connectionName);
    EXPECT_EQ(16u, e.inputs[1].mediaType.cbFormat);
    EXPECT_TRUE(IsEqualGUID(WMSCRIPTTYPE_TwoStrings,
                            reinterpret_cast<const WMSCRIPTFORMAT*>(e.inputs[1].mediaType.pbFormat)->scriptType));
    EXPECT_EQ(TRUE, e.inputs[1].mediaType.bTemporalCompression);
    InputFormat none{};
    e.inputFormat = none;
    EXPECT_EQ(E_FAIL, e.InitializeInputStream());
    EXPECT_EQ(2u, e.inputCount);  // left as it was
    e.inputFormat = AudioFormat(44100, 2, 16, TRUE);
    e.inputFormat.videoEnabled = TRUE;
    EXPECT_EQ(E_INVALIDARG, e.InitializeInputStream());  // no third entry in a table of two
    EXPECT_EQ(2u, e.inputCount);
}

// The player's PCM against what the writer's audio input lists: taken as it is where listed,
// otherwise 16 bits with its channels, otherwise 16-bit stereo; standard PCM without a look at
// the list; a format nothing takes refused with its own message.
struct ChoiceCase {
    const char* what;
    INT32 channels, bits;
    std::vector<std::vector<BYTE>> listed;
    HRESULT configured;
    WORD tag, fedChannels, fedBits;  // the input's wave record
};

std::vector<std::vector<BYTE>> Standard() {
    return {fake::PcmInputFormat(2, 16, false), fake::PcmInputFormat(1, 16, false), fake::PcmInputFormat(2, 8, false),
            fake::PcmInputFormat(1, 8, false)};
}
std::vector<std::vector<BYTE>> With(std::vector<std::vector<BYTE>> formats, WORD channels, WORD bits) {
    formats.insert(formats.begin(), fake::PcmInputFormat(channels, bits, true));
    return formats;
}

TEST(PcmInputChoice, TheListDecidesWhatIsFedAsItIsAndWhatIsConverted) {
    win::ComApartment com;
    const ChoiceCase cases[] = {
        {"24-bit stereo listed", 2, 24, With(Standard(), 2, 24), S_OK, WAVE_FORMAT_EXTENSIBLE, 2, 24},
        {"24-bit stereo not listed", 2, 24, Standard(), S_OK, WAVE_FORMAT_PCM, 2, 16},
        {"32-bit 6 channels, 16-bit 6 listed", 6, 32, With(Standard(), 6, 16), S_OK, WAVE_FORMAT_EXTENSIBLE, 6, 16},
        {"32-bit 6 channels, standard only", 6, 32, Standard(), S_OK, WAVE_FORMAT_PCM, 2, 16},
        {"8-bit 3 channels", 3, 8, Standard(), S_OK, WAVE_FORMAT_PCM, 2, 16},
        {"8-bit mono: no list needed", 1, 8, {}, S_OK, WAVE_FORMAT_PCM, 1, 8},
        {"24-bit stereo, nothing listed", 2, 24, {}, NS_E_INVALID_INPUT_FORMAT, 0, 0, 0},
        {"10 channels", 10, 16, fake::PcmInputFormats(), NS_E_INVALID_INPUT_FORMAT, 0, 0, 0},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.what);
        fake::ScopedRuntime runtime;
        runtime->inputFormats = c.listed;
        WmLiveEncoder e;
        InputFormat format = AudioFormat(48000, c.channels, c.bits, TRUE);
        EncoderSettings settings = StandardSettings();
        ASSERT_EQ(S_OK, e.Initialize());
        ASSERT_EQ(c.configured, e.Configure(&format, &settings));
        if (FAILED(c.configured)) {
            EXPECT_EQ("No writer input format takes the player's " + std::to_string(c.bits) + "-bit " +
                          std::to_string(c.channels) + "-channel PCM, as it is or converted (hr=0xc00d0bb8).\n",
                      ErrorOf(e));
            continue;
        }
        const WAVEFORMATEX& wave = fake::FormatOf<WAVEFORMATEX>(runtime->inputTypes[0]);
        EXPECT_EQ(c.tag, wave.wFormatTag);
        EXPECT_EQ(c.fedChannels, wave.nChannels);
        EXPECT_EQ(c.fedBits, wave.wBitsPerSample);
        EXPECT_EQ(48000u, wave.nSamplesPerSec);
        if (c.tag == WAVE_FORMAT_EXTENSIBLE) {
            const auto& ex = fake::FormatOf<WAVEFORMATEXTENSIBLE>(runtime->inputTypes[0]);
            EXPECT_EQ(22, ex.Format.cbSize);
            EXPECT_EQ(c.fedBits, ex.Samples.wValidBitsPerSample);
            EXPECT_EQ(DefaultChannelMask(c.channels), ex.dwChannelMask);
            EXPECT_TRUE(IsEqualGUID(WMMEDIASUBTYPE_PCM, ex.SubFormat));
        }
        // One block of four frames goes in converted, in one sample of the fed layout's bytes.
        ASSERT_EQ(S_OK, e.Start());
        std::vector<BYTE> pcm(4 * c.channels * c.bits / 8, 0x40);
        ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 4));
        const std::vector<fake::WrittenSample> audio = runtime->samples;
        ASSERT_EQ(1u, audio.size());
        EXPECT_EQ(4u * c.fedChannels * c.fedBits / 8, audio[0].bytes.size());
        EXPECT_EQ(4u, e.samplesWritten);
    }
}

TEST(PcmInputChoice, AFormatChangeGoesThroughTheSameChoiceAndARefusedOneWritesNothing) {
    win::ComApartment com;
    fake::ScopedRuntime runtime;
    runtime->inputFormats = Standard();
    {
        WmLiveEncoder e;
        InputFormat format = AudioFormat();
        EncoderSettings settings = StandardSettings();
        ASSERT_EQ(S_OK, e.Initialize());
        ASSERT_EQ(S_OK, e.Configure(&format, &settings));
        ASSERT_EQ(S_OK, e.Start());
        EXPECT_THAT(runtime->CallsStartingWith("Writer.GetInputFormat"), ElementsAre()) << "16-bit stereo needs no list";

        // 24-bit 6 channels: folded to 16-bit stereo, the front channels at the front.
        format = AudioFormat(44100, 6, 24);
        ASSERT_EQ(S_OK, e.ChangeInputFormat(&format));
        EXPECT_EQ(2, fake::FormatOf<WAVEFORMATEX>(runtime->inputTypes[0]).nChannels);
        const BYTE frame[18] = {0, 0, 0x40, 0, 0, 0xC0, 0, 0, 0, 0x7F, 0x7F, 0x7F, 0, 0, 0, 0, 0, 0};
        runtime->samples.clear();
        ASSERT_EQ(S_OK, e.WriteAudio(frame, 1));
        ASSERT_EQ(1u, runtime->samples.size());
        const std::vector<BYTE>& out = runtime->samples[0].bytes;
        ASSERT_EQ(4u, out.size());
        const int16_t left = static_cast<int16_t>(out[0] | out[1] << 8), right = static_cast<int16_t>(out[2] | out[3] << 8);
        EXPECT_NEAR(0x4000 * 65536 / 158218, left, 1) << "front left, scaled by the fold";
        EXPECT_NEAR(-0x4000 * 65536 / 158218, right, 1) << "front right; the loud LFE left out";

        // Nine channels: nothing takes them, nothing is written, and the clock does not move.
        format = AudioFormat(44100, 9, 16);
        EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, e.ChangeInputFormat(&format));
        runtime->samples.clear();
        std::vector<BYTE> nine(9 * 2 * 8, 1);
        EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, e.WriteAudio(nine.data(), 8));
        EXPECT_TRUE(runtime->samples.empty());

        // Back to 16-bit stereo: written whole again.
        format = AudioFormat();
        ASSERT_EQ(S_OK, e.ChangeInputFormat(&format));
        std::vector<BYTE> pcm = Pcm(16);
        ASSERT_EQ(S_OK, e.WriteAudio(pcm.data(), 4));
        ASSERT_EQ(1u, runtime->samples.size());
        EXPECT_EQ(pcm, runtime->samples[0].bytes);
        EXPECT_EQ(S_OK, e.Stop());
    }
    EXPECT_EQ(0, runtime->LiveObjects());
}

}  // namespace
}  // namespace ombrel::test
