// Broadcast control with a recording encoder: the start's steps and their failures, the
// message box a user sees, stop, and the encoder lent through GetEncoder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "plugin/BroadcastControl.h"
#include "plugin/DspModule.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/SongWorker.h"
#include "tests/common/Files.h"
#include "tests/plugin/BroadcastFixture.h"
#include "tests/plugin/MessageBoxWatcher.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr char kCaption[] = "Ombrel DSP plugin v1.05";

class BroadcastControl : public BroadcastFixture {
protected:
    void SetUp() override {
        BroadcastFixture::SetUp();
        StartPlayer({});
    }

    void ExpectIdle(const char* what) {
        EXPECT_EQ(0, IsBroadcasting()) << what;
        EXPECT_FALSE(SongWorkerRunning()) << what;
        LiveEncoder* lent = nullptr;
        EXPECT_EQ(E_FAIL, GetEncoder(&lent)) << what;
    }
};

TEST_F(BroadcastControl, StartHandsTheEncoderItsSettingsInOrderAndStopEndsIt) {
    ExtraSettings& extra = _settings.extra;
    extra._dwPort = 8123;
    extra._dwMaxClient = 3;
    extra._cTitle = L"Night Show";
    extra._cAuthor = L"Host";
    extra._cDescription = L"two\nlines";
    extra._cCopyright = L"(c) 2008";
    extra._cGenre = L"Ambient";
    extra._cAlbum = L"Live";
    extra._cComposer = L"Someone";
    _encoderSettings.audio.codecIndex = 1;
    _encoderSettings.audio.formatIndex = 4;
    MessageBoxWatcher boxes(kCaption);

    StartBroadcast();

    ASSERT_EQ(1u, encoders_->Created());
    RecordingEncoder* encoder = encoders_->Last();
    EXPECT_THAT(encoder->Calls(),
                ElementsAre("Initialize", "SetBroadcastPort 8123", "SetMaxClients 3",
                            "Configure 44100/2/16 audio 1 script 1 codec 1 format 4",
                            "SetStringAttribute Title=Night Show", "SetStringAttribute Author=Host",
                            "SetStringAttribute Description=two\nlines", "SetStringAttribute Copyright=(c) 2008",
                            "SetStringAttribute WM/Genre=Ambient", "SetStringAttribute WM/AlbumTitle=Live",
                            "SetStringAttribute WM/Composer=Someone",
                            "SetStringAttribute WM/EncodedBy=Ombrel DSP plugin v1.05",
                            "SetStringAttribute WM/Publisher=Ombrel DSP plugin v1.05", "Start"));
    EXPECT_EQ(1, IsBroadcasting());
    EXPECT_TRUE(SongWorkerRunning());
    LiveEncoder* lent = nullptr;
    EXPECT_EQ(S_OK, GetEncoder(&lent));
    EXPECT_EQ(encoder, lent);

    StopBroadcast();
    std::vector<std::string> calls = encoder->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ("Stop", calls[calls.size() - 2]);
    EXPECT_EQ("Release", calls.back());
    EXPECT_EQ(0, encoder->LateCalls());
    ExpectIdle("after stop");
    EXPECT_TRUE(boxes.Seen().empty()) << boxes.Seen()[0].text;
}

TEST_F(BroadcastControl, EveryAttributeEmptyStillSetsNine) {
    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    ASSERT_NE(nullptr, encoder);
    EXPECT_THAT(encoder->CallsStartingWith("SetStringAttribute "),
                ElementsAre("SetStringAttribute Title=", "SetStringAttribute Author=",
                            "SetStringAttribute Description=", "SetStringAttribute Copyright=",
                            "SetStringAttribute WM/Genre=", "SetStringAttribute WM/AlbumTitle=",
                            "SetStringAttribute WM/Composer=",
                            "SetStringAttribute WM/EncodedBy=Ombrel DSP plugin v1.05",
                            "SetStringAttribute WM/Publisher=Ombrel DSP plugin v1.05"));
    EXPECT_EQ(1, IsBroadcasting());
}

TEST_F(BroadcastControl, AFailedAttributeDoesNotFailTheStart) {
    EncoderScript script;
    script.failAt = "SetStringAttribute";
    encoders_->SetScript(script);
    MessageBoxWatcher boxes(kCaption);
    StartBroadcast();
    EXPECT_EQ(1, IsBroadcasting());
    EXPECT_EQ(9u, encoders_->Last()->CallsStartingWith("SetStringAttribute ").size());
    EXPECT_TRUE(boxes.Seen().empty());
}

struct FailureCase {
    const char* what;
    EncoderScript script;
    const char* boxText;
    // The calls the encoder saw, when one was created; the failure path's Stop and Release end them.
    std::vector<std::string> calls;
};

std::vector<FailureCase> FailureCases() {
    const std::vector<std::string> upToConfigure = {"Initialize", "SetBroadcastPort 8008", "SetMaxClients 5",
                                                    "Configure 44100/2/16 audio 1 script 1 codec 0 format 0"};
    std::vector<std::string> upToStart = upToConfigure;
    for (const char* name : {"Title", "Author", "Description", "Copyright", "WM/Genre", "WM/AlbumTitle",
                             "WM/Composer"})
        upToStart.push_back(std::string("SetStringAttribute ") + name + "=");
    upToStart.push_back("SetStringAttribute WM/EncodedBy=Ombrel DSP plugin v1.05");
    upToStart.push_back("SetStringAttribute WM/Publisher=Ombrel DSP plugin v1.05");
    upToStart.push_back("Start");

    auto script = [](HRESULT create, bool nothing, const char* failAt, HRESULT failWith, const char* text) {
        EncoderScript s;
        s.createResult = create;
        s.createNothing = nothing;
        s.failAt = failAt;
        s.failWith = failWith;
        s.errorText = text;
        return s;
    };
    auto withTail = [](std::vector<std::string> calls, std::vector<std::string> tail) {
        calls.insert(calls.end(), tail.begin(), tail.end());
        return calls;
    };
    return {
        {"no encoder could be made", script(E_OUTOFMEMORY, true, "", S_OK, ""),
         "WMLiveCreateInterface failed (hr=0x8007000e)\n", {}},
        {"no encoder, yet success", script(S_OK, true, "", S_OK, ""),
         "WMLiveCreateInterface failed (hr=0x00000000)\n", {}},
        {"a failure that still hands back an encoder", script(E_FAIL, false, "", S_OK, ""),
         "WMLiveCreateInterface failed (hr=0x80004005)\n", {"Stop", "Release"}},
        {"Initialize", script(S_OK, false, "Initialize", 0x80040154, "Failed to Create WMWriter (hr=0x80040154)\n"),
         "Failed to Create WMWriter (hr=0x80040154)\n", {"Initialize", "GetErrorText", "Stop", "Release"}},
        {"SetBroadcastPort", script(S_OK, false, "SetBroadcastPort", E_INVALIDARG, "not this text"),
         "SetBroadastPort failed (hr=0x80070057)\n",
         {"Initialize", "SetBroadcastPort 8008", "Stop", "Release"}},
        {"SetMaxClients", script(S_OK, false, "SetMaxClients", E_FAIL, "not this text"),
         "SetMaxClient failed (hr=0x80004005)\n",
         {"Initialize", "SetBroadcastPort 8008", "SetMaxClients 5", "Stop", "Release"}},
        {"Configure", script(S_OK, false, "Configure", E_FAIL, "SetupProfile failed (0x80004005)\n"),
         "SetupProfile failed (0x80004005)\n", withTail(upToConfigure, {"GetErrorText", "Stop", "Release"})},
        {"Start", script(S_OK, false, "Start", 0x80072740,
                         "Network sink failed to open port no 8008 (hr=0x80072740).\n"),
         "Network sink failed to open port no 8008 (hr=0x80072740).\n",
         withTail(upToStart, {"GetErrorText", "Stop", "Release"})},
    };
}

TEST_F(BroadcastControl, AFailedStepShowsItsTextInOneBoxAndLeavesThePluginIdleAndReady) {
    _encoderSettings.audio.codecIndex = 0;
    _encoderSettings.audio.formatIndex = 0;
    for (const FailureCase& c : FailureCases()) {
        SCOPED_TRACE(c.what);
        const size_t createdBefore = encoders_->Created();
        encoders_->SetScript(c.script);
        {
            MessageBoxWatcher boxes(kCaption);
            StartBroadcast();  // returns once the box is closed
            std::vector<SeenMessageBox> seen = boxes.Seen();
            ASSERT_EQ(1u, seen.size());
            EXPECT_EQ(c.boxText, seen[0].text);
            // Wine's message box ignores MB_TOPMOST, so only the icon shows the style here.
            EXPECT_FALSE(seen[0].owned);
            EXPECT_TRUE(seen[0].errorIcon);
        }
        ExpectIdle(c.what);
        if (c.calls.empty()) {
            EXPECT_EQ(createdBefore, encoders_->Created());
        } else {
            ASSERT_EQ(createdBefore + 1, encoders_->Created());
            EXPECT_THAT(encoders_->Last()->Calls(), ElementsAreArray(c.calls));
            EXPECT_TRUE(encoders_->Last()->Released());
        }

        // The start command is available again and works.
        encoders_->SetScript(EncoderScript{});
        MessageBoxWatcher none(kCaption);
        StartBroadcast();
        EXPECT_EQ(1, IsBroadcasting());
        EXPECT_TRUE(SongWorkerRunning());
        StopBroadcast();
        EXPECT_TRUE(none.Seen().empty());
    }
}

TEST_F(BroadcastControl, GetEncoderAnswersOnlyWhileBroadcasting) {
    EXPECT_EQ(E_INVALIDARG, GetEncoder(nullptr));
    LiveEncoder* poisoned = reinterpret_cast<LiveEncoder*>(0xdeadbeef);
    LiveEncoder* lent = poisoned;
    EXPECT_EQ(E_FAIL, GetEncoder(&lent));
    EXPECT_EQ(poisoned, lent) << "a refused call leaves the place alone";

    StartBroadcast();
    EXPECT_EQ(E_INVALIDARG, GetEncoder(nullptr));
    EXPECT_EQ(S_OK, GetEncoder(&lent));
    EXPECT_EQ(encoders_->Last(), lent);

    // The flag is checked on every call: cleared, the encoder is no longer lent.
    _fBroadcasting = 0;
    lent = poisoned;
    EXPECT_EQ(E_FAIL, GetEncoder(&lent));
    EXPECT_EQ(poisoned, lent);
    _fBroadcasting = 1;

    StopBroadcast();
    EXPECT_EQ(E_FAIL, GetEncoder(&lent));
    EXPECT_EQ(0, encoders_->Last()->LateCalls());
}

TEST_F(BroadcastControl, StoppingWithNoWorkerStillStopsAndReleasesTheEncoder) {
    StartBroadcast();
    ASSERT_EQ(S_OK, StopSongWorker());
    ASSERT_FALSE(SongWorkerRunning());
    StopBroadcast();
    std::vector<std::string> calls = encoders_->Last()->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ("Stop", calls[calls.size() - 2]);
    EXPECT_EQ("Release", calls.back());
    ExpectIdle("stopped");
}

TEST_F(BroadcastControl, AStartWhileBroadcastingLeavesTheRunningEncoderAlone) {
    StartBroadcast();
    StartBroadcast();
    EXPECT_EQ(1u, encoders_->Created());
    EXPECT_FALSE(encoders_->Last()->Released());
    StopBroadcast();
    EXPECT_TRUE(encoders_->Last()->Released());
}

TEST_F(BroadcastControl, StopWhileIdleDoesNothing) {
    StopBroadcast();
    EXPECT_EQ(0u, encoders_->Created());
    ExpectIdle("idle");
}

TEST_F(BroadcastControl, EveryStartMakesANewEncoderAndEveryStopEndsItsWorker) {
    const long threadsBefore = win::UniqueThread::LiveCount();
    const long eventsBefore = win::UniqueEvent::LiveCount();
    for (int i = 0; i < 5; ++i) {
        StartBroadcast();
        EXPECT_EQ(threadsBefore + 1, win::UniqueThread::LiveCount());
        EXPECT_EQ(eventsBefore + 1, win::UniqueEvent::LiveCount());
        StopBroadcast();
        EXPECT_EQ(threadsBefore, win::UniqueThread::LiveCount());
        EXPECT_EQ(eventsBefore, win::UniqueEvent::LiveCount());
    }
    ASSERT_EQ(5u, encoders_->Created());
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(encoders_->At(i)->Released()) << i;
        EXPECT_EQ(0, encoders_->At(i)->LateCalls()) << i;
    }
}

TEST_F(BroadcastControl, QuitDuringABroadcastStopsAndReleasesTheEncoderAndSavesTheSettings) {
    _settings.extra._dwPort = 9123;
    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    player_->UnloadPlugin();
    std::vector<std::string> calls = encoder->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ("Stop", calls[calls.size() - 2]);
    EXPECT_EQ("Release", calls.back());
    EXPECT_EQ(0, IsBroadcasting());
    EXPECT_FALSE(SongWorkerRunning());
    const std::string ini = ReadWholeFile(ExeFolder() + "\\dsp_ombrel.ini");
    EXPECT_NE(std::string::npos, ini.find("_dwPort=9123")) << ini;
}

}  // namespace
}  // namespace ombrel::test
