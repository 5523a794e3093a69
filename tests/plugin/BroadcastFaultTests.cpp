// Every runtime call the plug-in makes, failing in turn under the real live encoder with the
// in-process runtime stand-in: during a start the user sees the one box the failed step
// prescribes (or nothing, where the result is ignored); during the broadcast and its stop
// nothing at all. Afterwards the plug-in is idle or still broadcasting as it should be, every
// runtime object has been given back, and the next start works.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "plugin/BroadcastControl.h"
#include "plugin/DspModule.h"
#include "plugin/Lifecycle.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/SongWorker.h"
#include "tests/common/FakeRuntime.h"
#include "tests/common/Files.h"
#include "tests/common/MessagePump.h"
#include "tests/plugin/BroadcastFixture.h"
#include "tests/plugin/MessageBoxWatcher.h"
#include "ui/MainWindow.h"
#include "ui/ResourceIds.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

constexpr char kCaption[] = "Ombrel DSP plugin v1.05";
constexpr HRESULT kFailure = static_cast<HRESULT>(0xC00D1234);

// A start's runtime call and what the user sees when it fails: the box's text, or nothing
// (an empty text) when the start ignores the result and the broadcast runs.
struct StartCall {
    const char* call;  // the stand-in's log entry: the call with its arguments
    const char* box;
};

constexpr char kProfile[] = "SetupProfile failed (0xc00d1234)\n";
constexpr char kInputs[] = "UpdateWriterInputs failed (0xc00d1234)\n";
// An input left without its writer input: "no valid stream", reported by Configure.
constexpr char kNoValidStream[] = "UpdateWriterInputs failed (0x80070057)\n";

// Every runtime call of a start with title streaming on (audio and script), in the order made.
const StartCall kStartCalls[] = {
    // Initialize: the writer, its two faces, the network sink.
    {"WMCreateWriter(null)", "Failed to Create WMWriter (hr=0xc00d1234)\n"},
    {"Writer.QueryInterface(IWMWriterAdvanced)", "Could not QI for IWMWriterAdvanced (hr=0xc00d1234).\n"},
    {"Writer.QueryInterface(IWMHeaderInfo)", "Could not QI for IID_IWMHeaderInfo (hr=0xc00d1234).\n"},
    {"WMCreateWriterNetworkSink()", "Could not create Writer Network Sink (hr=0xc00d1234).\n"},
    // Configure: the profile, its audio stream from the catalogue's format...
    {"WMCreateProfileManager()", kProfile},
    {"Manager.CreateEmptyProfile(0x90000)", kProfile},
    {"Profile.CreateNewStream(Audio)", kProfile},
    {"WMCreateProfileManager()", kProfile},
    {"Manager.QueryInterface(IWMCodecInfo3)", kProfile},
    {"CodecInfo.SetCodecEnumerationSetting(Audio, 1, _VBRENABLED, 3, 0, 4)", kProfile},
    {"CodecInfo.SetCodecEnumerationSetting(Audio, 1, _PASSESUSED, 0, 1, 4)", kProfile},
    {"CodecInfo.GetCodecFormat(Audio, 1, 0)", kProfile},
    {"Format.QueryInterface(IWMMediaProps)", kProfile},
    {"Format.GetMediaType(null)", kProfile},
    {"Format.GetMediaType(buffer, 90)", kProfile},
    {"Format.GetBitrate()", kProfile},
    {"Stream.SetBitrate(64040)", kProfile},
    {"Stream.SetBufferWindow(5000)", kProfile},
    {"Stream.QueryInterface(IWMMediaProps)", kProfile},
    {"Stream.SetMediaType(Audio)", kProfile},
    {"Stream.QueryInterface(IWMPropertyVault)", ""},  // the VBR property is a hint
    {"Stream.SetProperty(_VBRENABLED, 3, 0, 4)", ""},
    {"Stream.QueryInterface(IWMStreamConfig3)", kProfile},
    {"Stream.SetLanguage(en-us)", kProfile},
    {"Stream.SetStreamName(Audio0)", kProfile},
    {"Stream.SetConnectionName(WMLiveWmv9Audio1)", kProfile},
    {"Profile.AddStream(Audio0)", kProfile},
    // ...and its script stream,
    {"Profile.CreateNewStream(Script)", kProfile},
    {"Stream.SetBitrate(10000)", kProfile},
    {"Stream.SetBufferWindow(5000)", kProfile},
    {"Stream.QueryInterface(IWMMediaProps)", kProfile},
    {"Stream.SetMediaType(Script)", kProfile},
    {"Stream.QueryInterface(IWMStreamConfig3)", kProfile},
    {"Stream.SetLanguage(ja)", kProfile},
    {"Stream.SetStreamName(Arbit1)", kProfile},
    {"Stream.SetConnectionName(WMLiveWmv9Arbit1)", kProfile},
    {"Profile.AddStream(Arbit1)", kProfile},
    // the sink's protocol and listener limit, the writer's profile,
    {"NetworkSink.SetNetworkProtocol(0)", "Could not Set Network protocol (hr=0xc00d1234).\n"},
    {"NetworkSink.SetMaximumClients(5)", "Could not Set maximum clients (hr=0xc00d1234).\n"},
    {"Writer.SetProfile(profile)", "Could not set profile on IWMWriter (hr=0xc00d1234).\n"},
    // and the writer's two inputs: until both are matched a failure leaves one without its input.
    {"Writer.GetInputCount()", kInputs},
    {"Writer.GetInputProps(0)", kNoValidStream},
    {"Input.QueryInterface(IWMStreamConfig)", kNoValidStream},
    {"Input.GetConnectionName(null)", kNoValidStream},
    {"Input.GetConnectionName(buffer, 64)", kNoValidStream},
    {"Input.SetMediaType(WMLiveWmv9Audio1)", kNoValidStream},
    {"Writer.SetInputProps(0)", kNoValidStream},
    {"Writer.GetInputProps(1)", kNoValidStream},
    {"Input.QueryInterface(IWMStreamConfig)", kNoValidStream},
    {"Input.GetConnectionName(null)", kNoValidStream},
    {"Input.GetConnectionName(buffer, 64)", kNoValidStream},
    {"Input.SetMediaType(WMLiveWmv9Arbit1)", kInputs},
    {"Writer.SetInputProps(1)", kInputs},
    // The nine content attributes: a failed one does not fail the start.
    {"Writer.SetAttribute(0, Title, 1, 2)", ""},
    {"Writer.SetAttribute(0, Author, 1, 2)", ""},
    {"Writer.SetAttribute(0, Description, 1, 2)", ""},
    {"Writer.SetAttribute(0, Copyright, 1, 2)", ""},
    {"Writer.SetAttribute(0, WM/Genre, 1, 2)", ""},
    {"Writer.SetAttribute(0, WM/AlbumTitle, 1, 2)", ""},
    {"Writer.SetAttribute(0, WM/Composer, 1, 2)", ""},
    {"Writer.SetAttribute(0, WM/EncodedBy, 1, 48)", ""},
    {"Writer.SetAttribute(0, WM/Publisher, 1, 48)", ""},
    // Start: the port, the sink added, the writing begun.
    {"NetworkSink.Open(8008)", "Network sink failed to open port no 8008 (hr=0xc00d1234).\n"},
    {"Writer.AddSink(NetworkSink)", "Could not Add Sink (hr=0xc00d1234).\n"},
    {"Writer.BeginWriting()", "BeginWriting on IWMWriter failed (hr=0xc00d1234).\n"},
};

// The settings the stand-in's catalogue knows: its codec 1, first CBR format.
void UseStandInCatalogue() {
    AudioStreamSettings& audio = _encoderSettings.audio;
    audio.bufferWindow = 5000;
    audio.codecIndex = 1;
    audio.formatIndex = 0;
    audio.vbrEnabled = FALSE;
    audio.passes = 1;
    audio.language = 0x409;
    ScriptStreamSettings& script = _encoderSettings.script;
    script.bitrate = 10000;
    script.bufferWindow = 5000;
    script.language = 0x411;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "  " + line + "\n";
    return text;
}

class BroadcastFaults : public BroadcastFixture {
protected:
    void SetUp() override {
        BroadcastFixture::SetUp();
        encoders_.reset();  // the platform's live encoder, over the stand-in below
        StartPlayer({});
        UseStandInCatalogue();
        _settings.extra._dwPort = 8008;
        _settings.extra._dwMaxClient = 5;
    }

    void ExpectIdle(const std::string& what) {
        EXPECT_EQ(0, IsBroadcasting()) << what;
        EXPECT_FALSE(SongWorkerRunning()) << what;
        LiveEncoder* lent = nullptr;
        EXPECT_EQ(E_FAIL, GetEncoder(&lent)) << what;
    }

    // A start that must work: no box, broadcasting, the worker running.
    void ExpectStartWorks(const std::string& what) {
        MessageBoxWatcher boxes(kCaption);
        StartBroadcast();
        EXPECT_EQ(1, IsBroadcasting()) << what;
        EXPECT_TRUE(SongWorkerRunning()) << what;
        for (const SeenMessageBox& box : boxes.Seen()) ADD_FAILURE() << what << ": a box said " << box.text;
    }

    // The boxes one start showed.
    std::vector<SeenMessageBox> StartAndWatch() {
        MessageBoxWatcher boxes(kCaption);
        StartBroadcast();  // returns once any box is closed
        return boxes.Seen();
    }
};

TEST_F(BroadcastFaults, TheTableNamesEveryCallOfAStartInOrder) {
    fake::ScopedRuntime runtime;
    ExpectStartWorks("a start with nothing failing");
    std::vector<std::string> expected;
    for (const StartCall& row : kStartCalls) expected.push_back(row.call);
    const std::vector<std::string> actual = runtime->Calls(true);
    EXPECT_EQ(expected, actual) << "the start made these calls:\n" << Joined(actual);
    StopBroadcast();
}

TEST_F(BroadcastFaults, EachFailingCallOfAStartShowsItsTextOrNothingAndLeavesNoReference) {
    const long threads = win::UniqueThread::LiveCount();
    const long events = win::UniqueEvent::LiveCount();
    std::map<std::string, int> seen;
    for (const StartCall& row : kStartCalls) {
        const int nth = ++seen[row.call];
        const std::string what = std::string(row.call) + " #" + std::to_string(nth);
        SCOPED_TRACE(what);
        fake::ScopedRuntime runtime;
        runtime->FailOn(row.call, kFailure, nth);

        const std::vector<SeenMessageBox> boxes = StartAndWatch();
        if (*row.box) {
            ASSERT_EQ(1u, boxes.size()) << "boxes shown";
            EXPECT_EQ(row.box, boxes[0].text);
            EXPECT_TRUE(boxes[0].errorIcon);
            EXPECT_FALSE(boxes[0].owned);
            ExpectIdle(what);
        } else {
            for (const SeenMessageBox& box : boxes) ADD_FAILURE() << "a box said " << box.text;
            EXPECT_EQ(1, IsBroadcasting()) << "an ignored failure does not end the start";
            StopBroadcast();
        }
        EXPECT_EQ(0, runtime->LiveObjects()) << "runtime objects still referenced";
        EXPECT_EQ(threads, win::UniqueThread::LiveCount());
        EXPECT_EQ(events, win::UniqueEvent::LiveCount());

        // The next start works.
        runtime->FailOn(row.call, S_OK);
        ExpectStartWorks(what + ", then a start with nothing failing");
        StopBroadcast();
        EXPECT_EQ(0, runtime->LiveObjects());
    }
}

// Blocks of 576 frames, handed over by a thread of their own as the player's audio thread does.
void Feed(int blocks, int rate = 44100, int channels = 2, int bits = 16) {
    std::vector<BYTE> block(576 * 4 * 4, 0x11);
    std::thread audio([&] {
        for (int i = 0; i < blocks; ++i)
            ModifySamples(&PluginModule(), reinterpret_cast<short*>(block.data()), 576, bits, channels, rate);
    });
    audio.join();
}

std::vector<fake::WrittenSample> SamplesOn(const fake::Runtime& runtime, DWORD input) {
    std::vector<fake::WrittenSample> found;
    for (const fake::WrittenSample& sample : runtime.samples)
        if (sample.input == input) found.push_back(sample);
    return found;
}

constexpr QWORD kBlockTime = 576ull * 10000000 / 44100;  // one block's length in 100 ns

// The runtime calls that put one sample, audio or title, on the stream.
constexpr const char* kSampleWriteCalls[] = {"Writer.AllocateSample", "Sample.GetBufferAndLength", "Sample.SetLength",
                                             "Writer.WriteSample"};

// A PCM block that cannot be written is lost without a word: the broadcast goes on, and the
// next block that is written carries the time the lost one would have had.
TEST_F(BroadcastFaults, AFailedAudioWriteIsSilentAndTheBroadcastGoesOn) {
    for (const char* call : kSampleWriteCalls) {
        SCOPED_TRACE(call);
        fake::ScopedRuntime runtime;
        MessageBoxWatcher boxes(kCaption);
        ExpectStartWorks(call);
        Feed(2);
        runtime->FailOn(call, kFailure);
        Feed(3);
        EXPECT_EQ(1, IsBroadcasting());
        EXPECT_EQ(2u, SamplesOn(*runtime, 0).size()) << "the failed blocks reached the stream";
        runtime->FailOn(call, S_OK);
        Feed(2);
        const std::vector<fake::WrittenSample> written = SamplesOn(*runtime, 0);
        ASSERT_EQ(4u, written.size());
        for (size_t i = 0; i < written.size(); ++i) EXPECT_EQ(i * kBlockTime, written[i].time) << "sample " << i;
        StopBroadcast();
        ExpectIdle(call);
        EXPECT_EQ(0, runtime->LiveObjects());
        for (const SeenMessageBox& box : boxes.Seen()) ADD_FAILURE() << "a box said " << box.text;
    }
}

// A title that cannot be written is lost without a word; the main window still shows it and
// the next title goes out.
TEST_F(BroadcastFaults, AFailedTitleWriteIsSilentAndTheNextTitleGoesOut) {
    const std::string track = WriteTrack({"t.wav", "Artist", "Title", "Album", "", 1});
    for (const char* call : kSampleWriteCalls) {
        SCOPED_TRACE(call);
        fake::ScopedRuntime runtime;
        MessageBoxWatcher boxes(kCaption);
        ExpectStartWorks(call);
        runtime->FailOn(call, kFailure);
        SetScriptField("");
        Announce(track);
        // The field is filled once the write has returned.
        ASSERT_TRUE(PumpUntil(10000, [&] { return ScriptField() == "Artist - Title"; })) << ScriptField();
        EXPECT_TRUE(SamplesOn(*runtime, 1).empty());
        EXPECT_EQ(1, IsBroadcasting());

        runtime->FailOn(call, S_OK);
        SetScriptField("");
        Announce(track);
        ASSERT_TRUE(PumpUntil(10000, [&] { return ScriptField() == "Artist - Title"; })) << ScriptField();
        const std::vector<fake::WrittenSample> titles = SamplesOn(*runtime, 1);
        ASSERT_EQ(1u, titles.size());
        const std::wstring expected = std::wstring(L"TEXT") + L'\0' + L"Artist - Title" + L'\0';
        EXPECT_EQ(expected, std::wstring(reinterpret_cast<const wchar_t*>(titles[0].bytes.data()),
                                         titles[0].bytes.size() / sizeof(wchar_t)));
        StopBroadcast();
        EXPECT_EQ(0, runtime->LiveObjects());
        for (const SeenMessageBox& box : boxes.Seen()) ADD_FAILURE() << "a box said " << box.text;
    }
}

// A new format the writer refuses is not reported: the blocks are still written, and the next
// change of format is tried again.
TEST_F(BroadcastFaults, AFailedFormatChangeIsSilentAndTheBlocksStillGo) {
    for (const char* call : {"Writer.GetInputCount", "Writer.GetInputProps", "Input.QueryInterface",
                             "Input.GetConnectionName", "Input.SetMediaType", "Writer.SetInputProps"}) {
        SCOPED_TRACE(call);
        fake::ScopedRuntime runtime;
        MessageBoxWatcher boxes(kCaption);
        ExpectStartWorks(call);
        Feed(2);
        runtime->FailOn(call, kFailure);
        Feed(3, 48000, 1, 16);
        EXPECT_EQ(1, IsBroadcasting());
        EXPECT_EQ(5u, SamplesOn(*runtime, 0).size());
        EXPECT_EQ(1u, runtime->CallsStartingWith("Writer.GetInputCount").size() - 1)
            << "one change for three blocks of the same new format";
        runtime->FailOn(call, S_OK);
        Feed(2);
        EXPECT_EQ(7u, SamplesOn(*runtime, 0).size());
        EXPECT_EQ(2u, runtime->CallsStartingWith("Writer.GetInputCount").size() - 1) << "the change back is made";
        StopBroadcast();
        EXPECT_EQ(0, runtime->LiveObjects());
        for (const SeenMessageBox& box : boxes.Seen()) ADD_FAILURE() << "a box said " << box.text;
    }
}

std::string DialogText(int control) {
    char text[64] = {};
    ::GetDlgItemTextA(MainWindowHandle(), control, text, sizeof text);
    return text;
}

// The monitor's questions failing leave its fields as they were; nothing else happens.
TEST_F(BroadcastFaults, FailedMonitorQuestionsLeaveTheFieldsAsTheyWere) {
    const struct {
        const char* call;
        int control;
        const char* shown;  // what the field shows while the question is answered
    } rows[] = {
        {"Writer.GetStatistics", IDC_BYTES_SENT, "120 (KB)"},
        {"NetworkSink.QueryInterface(IWMClientConnections)", IDC_CLIENT_COUNT, "3"},
        {"NetworkSink.GetClientCount", IDC_CLIENT_COUNT, "3"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.call);
        fake::ScopedRuntime runtime;
        MessageBoxWatcher boxes(kCaption);
        ExpectStartWorks(row.call);
        ASSERT_TRUE(PumpUntil(3000, [&] { return DialogText(row.control) == row.shown; })) << DialogText(row.control);
        runtime->FailOn(row.call, kFailure);
        ::SetDlgItemTextA(MainWindowHandle(), row.control, "before");
        const size_t asked = runtime->CallsStartingWith(row.call).size();
        ASSERT_TRUE(PumpUntil(3000, [&] { return runtime->CallsStartingWith(row.call).size() > asked + 1; }));
        EXPECT_EQ("before", DialogText(row.control));
        EXPECT_EQ(1, IsBroadcasting());
        runtime->FailOn(row.call, S_OK);
        EXPECT_TRUE(PumpUntil(3000, [&] { return DialogText(row.control) == row.shown; })) << DialogText(row.control);
        StopBroadcast();
        EXPECT_EQ(0, runtime->LiveObjects());
        for (const SeenMessageBox& box : boxes.Seen()) ADD_FAILURE() << "a box said " << box.text;
    }
}

// A stop whose steps fail still ends the broadcast silently and gives every runtime object
// back; the next start opens a new sink and works.
TEST_F(BroadcastFaults, AFailedStopStepIsIgnoredAndTheNextStartWorks) {
    // Each call fails every time; the sink's removal and close are tried again by the release.
    const struct {
        const char* call;
        size_t made;
    } rows[] = {{"Writer.Flush", 1}, {"Writer.EndWriting", 1}, {"Writer.RemoveSink", 2}, {"NetworkSink.Close", 2}};
    for (const auto& row : rows) {
        const char* call = row.call;
        SCOPED_TRACE(call);
        fake::ScopedRuntime runtime;
        MessageBoxWatcher boxes(kCaption);
        ExpectStartWorks(call);
        Feed(3);
        runtime->FailOn(call, kFailure);
        StopBroadcast();
        ExpectIdle(call);
        EXPECT_EQ(row.made, runtime->CallsStartingWith(call).size());
        EXPECT_EQ(0, runtime->LiveObjects());

        runtime->FailOn(call, S_OK);
        runtime->ClearCalls();
        ExpectStartWorks(std::string(call) + ", then a start");
        EXPECT_EQ(1u, runtime->CallsStartingWith("WMCreateWriterNetworkSink").size());
        EXPECT_EQ(1u, runtime->CallsStartingWith("NetworkSink.Open(8008)").size());
        Feed(1);
        EXPECT_EQ(4u, SamplesOn(*runtime, 0).size());
        StopBroadcast();
        EXPECT_EQ(0, runtime->LiveObjects());
        for (const SeenMessageBox& box : boxes.Seen()) ADD_FAILURE() << "a box said " << box.text;
    }
}

TEST_F(BroadcastFaults, QuitWithAFailingStopStillReleasesEverythingAndSaves) {
    fake::ScopedRuntime runtime;
    MessageBoxWatcher boxes(kCaption);
    _settings.extra._dwPort = 9321;
    ExpectStartWorks("start");
    Feed(3);
    runtime->FailOn("Writer.Flush", kFailure);
    player_->UnloadPlugin();
    EXPECT_EQ(0, IsBroadcasting());
    EXPECT_EQ(0, runtime->LiveObjects());
    const std::string ini = ReadWholeFile(ExeFolder() + "\\dsp_ombrel.ini");
    EXPECT_NE(std::string::npos, ini.find("_dwPort=9321")) << ini;
    for (const SeenMessageBox& box : boxes.Seen()) ADD_FAILURE() << "a box said " << box.text;
}

// A runtime whose audio input lists no PCM at all: 16-bit stereo, which every audio input
// takes, still broadcasts; 24-bit six channels can be neither fed nor converted. Mid-broadcast
// that writes nothing and shows nothing; the next start, configured with the format last seen,
// ends in the start's box naming it, and the one after that begins from 16-bit stereo again.
TEST_F(BroadcastFaults, AFormatNothingTakesEndsInTheStartsBoxNeverInACrash) {
    fake::ScopedRuntime runtime;
    runtime->inputFormats.clear();
    ExpectStartWorks("16-bit stereo needs no list");
    std::vector<BYTE> block(576 * 6 * 3, 0x22);
    std::thread audio([&] {
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(576, ModifySamples(&PluginModule(), reinterpret_cast<short*>(block.data()), 576, 24, 6, 48000));
    });
    audio.join();
    EXPECT_TRUE(SamplesOn(*runtime, 0).empty()) << "nothing fed as what it is not";
    EXPECT_EQ(1, IsBroadcasting());
    StopBroadcast();

    const std::vector<SeenMessageBox> boxes = StartAndWatch();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("No writer input format takes the player's 24-bit 6-channel PCM, as it is or converted "
              "(hr=0xc00d0bb8).\n",
              boxes[0].text);
    EXPECT_TRUE(boxes[0].errorIcon);
    ExpectIdle("after the refused start");
    EXPECT_EQ(0, runtime->LiveObjects());
    // Said once: the next start begins from 16-bit stereo, as after Init.
    ExpectStartWorks("the start after the refused one");
    StopBroadcast();
}

}  // namespace
}  // namespace ombrel::test
