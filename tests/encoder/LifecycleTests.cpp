// The encoder object: creation, the state table, Initialize, Configure, Start, Stop,
// Uninitialize and their failure paths, against the runtime stand-in.
#include <windows.h>
#include <mmsystem.h>
#include <nserror.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "encoder/ErrorText.h"
#include "tests/encoder/EncoderFixture.h"

using ::testing::ElementsAre;
using ::testing::StartsWith;

namespace ombrel::test {
namespace {

TEST_F(EncoderTest, CreateInterfaceRefusesANullAddressAndReleasesWhatItCreates) {
    EXPECT_EQ(E_INVALIDARG, WMLiveCreateInterface(nullptr));
    LiveEncoder* encoder = reinterpret_cast<LiveEncoder*>(kPoison);
    ASSERT_EQ(S_OK, WMLiveCreateInterface(&encoder));
    ASSERT_NE(nullptr, encoder);
    EXPECT_EQ(S_OK, encoder->Initialize());
    encoder->Release();  // the destructor uninitializes: every runtime reference goes
    EXPECT_EQ(0, runtime_->LiveObjects());
}

TEST_F(EncoderTest, ANewObjectHasTheDocumentedDefaults) {
    WmLiveEncoder& e = Encoder();
    EXPECT_EQ(8080u, e.port);
    EXPECT_EQ(5u, e.maxClients);
    EXPECT_EQ(0u, e.inputCount);
    EXPECT_EQ(FALSE, e.running);
    EXPECT_EQ(FALSE, e.initialized);
    EXPECT_EQ(0u, e.timeOffset);
    EXPECT_STREQ("", e.errorText);
    EXPECT_EQ(nullptr, e.inputs[0].mediaType.pbFormat);
    EXPECT_EQ(nullptr, e.writer.get());
}

TEST_F(EncoderTest, ANewObjectRefusesStartAndStopAndChecksPortAndListenerLimits) {
    WmLiveEncoder& e = Encoder();
    EXPECT_EQ(E_FAIL, e.Start());
    EXPECT_EQ(E_FAIL, e.Stop());
    EXPECT_EQ(S_OK, e.SetBroadcastPort(65535));
    EXPECT_EQ(65535u, e.port);
    EXPECT_EQ(S_OK, e.SetMaxClients(1));
    EXPECT_EQ(1u, e.maxClients);
    EXPECT_EQ(E_INVALIDARG, e.SetBroadcastPort(0));
    EXPECT_EQ(E_INVALIDARG, e.SetBroadcastPort(65536));
    EXPECT_EQ(E_INVALIDARG, e.SetMaxClients(0));
    EXPECT_EQ(65535u, e.port);
    EXPECT_EQ(1u, e.maxClients);
    EXPECT_THAT(runtime_->Calls(true), ElementsAre());
}

// Operations that need an initialized, running or configured object, called on a new one.
TEST_F(EncoderTest, EveryOperationOnANewObjectFailsWithoutTouchingTheRuntime) {
    WmLiveEncoder& e = Encoder();
    InputFormat format = AudioFormat();
    EncoderSettings settings = StandardSettings();
    BYTE pcm[4] = {};
    DWORD out = kPoison;
    WM_WRITER_STATISTICS statistics{};
    statistics.dwCurrentBitrate = kPoison;
    EXPECT_EQ(E_FAIL, e.Configure(&format, &settings));
    EXPECT_EQ(E_FAIL, e.ChangeInputFormat(&format));
    EXPECT_EQ(E_FAIL, e.SetArchiveFile(L"archive.wma"));
    EXPECT_EQ(E_FAIL, e.WriteVideo(pcm));
    EXPECT_EQ(E_FAIL, e.WriteAudio(pcm, 1));
    EXPECT_EQ(E_FAIL, e.WriteScript(L"TEXT", L"abc"));
    EXPECT_EQ(E_FAIL, e.SetBinaryAttribute(L"WM/Picture", pcm, 4));
    EXPECT_EQ(E_FAIL, e.SetStringAttribute(L"Title", L"abc"));
    EXPECT_EQ(E_FAIL, e.GetStatistics(&statistics));
    EXPECT_EQ(E_FAIL, e.GetClientCount(&out));
    EXPECT_EQ(E_FAIL, e.GetElapsedSeconds(&out));
    EXPECT_EQ(kPoison, out);
    EXPECT_EQ(kPoison, statistics.dwCurrentBitrate);
    EXPECT_EQ(S_OK, e.Uninitialize());
    EXPECT_STREQ("", e.errorText);
    EXPECT_THAT(runtime_->Calls(true), ElementsAre());
}

TEST_F(EncoderTest, InitializeCreatesTheWriterItsFacesAndTheNetworkSinkInOrder) {
    WmLiveEncoder& e = Encoder();
    EXPECT_EQ(S_OK, e.Initialize());
    EXPECT_THAT(runtime_->Calls(true),
                ElementsAre("WMCreateWriter(null)", "Writer.QueryInterface(IWMWriterAdvanced)",
                            "Writer.QueryInterface(IWMHeaderInfo)", "WMCreateWriterNetworkSink()"));
    EXPECT_EQ(TRUE, e.initialized);
    EXPECT_EQ(E_FAIL, e.Initialize());  // a second Initialize
    EXPECT_EQ(4u, runtime_->Calls(true).size());
    EXPECT_EQ(S_OK, e.Uninitialize());
    EXPECT_EQ(FALSE, e.initialized);
    EXPECT_EQ(0, runtime_->LiveObjects());
    EXPECT_EQ(S_OK, e.Initialize());  // uninitialized is as created: a new writer and sink
    EXPECT_EQ(2u, runtime_->CallsStartingWith("WMCreateWriter(").size());
}

struct StepFailure {
    const char* call;      // the runtime call made to fail
    const char* message;   // what errorText holds afterwards
};

// Initialize: each step failing in turn.
const StepFailure kInitializeFailures[] = {
    // the writer itself
    {"WMCreateWriter", "Failed to Create WMWriter (hr=0xc00d1234)\n"},
    // its advanced face
    {"Writer.QueryInterface(IWMWriterAdvanced)", "Could not QI for IWMWriterAdvanced (hr=0xc00d1234).\n"},
    // its header face
    {"Writer.QueryInterface(IWMHeaderInfo)", "Could not QI for IID_IWMHeaderInfo (hr=0xc00d1234).\n"},
    // the network sink
    {"WMCreateWriterNetworkSink", "Could not create Writer Network Sink (hr=0xc00d1234).\n"},
};

TEST_F(EncoderTest, EveryInitializeFailureLeavesItsMessageTheCodeAndNoReference) {
    for (const StepFailure& row : kInitializeFailures) {
        SCOPED_TRACE(row.call);
        fake::ScopedRuntime runtime;
        runtime->FailOn(row.call, kRuntimeFailure);
        {
            WmLiveEncoder e;
            EXPECT_EQ(kRuntimeFailure, e.Initialize());
            EXPECT_EQ(row.message, std::string(e.errorText));
            EXPECT_EQ(FALSE, e.initialized);
            EXPECT_EQ(E_FAIL, e.Start());
        }
        EXPECT_EQ(0, runtime->LiveObjects());
    }
}

TEST_F(EncoderTest, ConfigureRefusesBadArgumentsBeforeAnyRuntimeCall) {
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.Initialize());
    runtime_->ClearCalls();
    InputFormat format = AudioFormat();
    EncoderSettings settings = StandardSettings();
    EXPECT_EQ(E_INVALIDARG, e.Configure(nullptr, &settings));
    EXPECT_EQ(E_INVALIDARG, e.Configure(&format, nullptr));
    InputFormat zeroRate = AudioFormat(0);  // a rate of 0 never reaches a division
    EXPECT_EQ(E_INVALIDARG, e.Configure(&zeroRate, &settings));
    InputFormat three = AudioFormat(44100, 2, 16, TRUE);  // video, audio and script: three inputs
    three.videoEnabled = TRUE;
    EXPECT_EQ(E_INVALIDARG, e.Configure(&three, &settings));
    EXPECT_EQ(0u, e.inputCount);
    EXPECT_EQ(nullptr, e.inputs[0].mediaType.pbFormat);
    EXPECT_EQ(0, e.inputFormat.sampleRate);
    EXPECT_STREQ("", e.errorText);
    EXPECT_THAT(runtime_->Calls(true), ElementsAre());
}

TEST_F(EncoderTest, ConfigureBuildsInputsProfileSinkSettingsAndMatchesInputs) {
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.SetMaxClients(7));
    ASSERT_EQ(S_OK, e.Initialize());
    runtime_->ClearCalls();
    InputFormat format = AudioFormat(44100, 2, 16, TRUE);
    EncoderSettings settings = StandardSettings();
    ASSERT_EQ(S_OK, e.Configure(&format, &settings)) << e.errorText;
    std::vector<std::string> calls = runtime_->Calls();
    auto at = [&](const std::string& call) {
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    };
    // The profile first, then the sink's protocol and limit, then the writer's profile and inputs.
    EXPECT_LT(at("Profile.AddStream(Arbit1)"), at("NetworkSink.SetNetworkProtocol(0)"));
    EXPECT_EQ(at("NetworkSink.SetNetworkProtocol(0)") + 1, at("NetworkSink.SetMaximumClients(7)"));
    EXPECT_EQ(at("NetworkSink.SetMaximumClients(7)") + 1, at("Writer.SetProfile(profile)"));
    EXPECT_EQ(at("Writer.SetProfile(profile)") + 1, at("Writer.GetInputCount()"));
    EXPECT_THAT(std::vector<std::string>(calls.begin() + at("Writer.GetInputCount()"), calls.end()),
                ElementsAre("Writer.GetInputCount()", "Writer.GetInputProps(0)", "Input.GetConnectionName(null)",
                            "Input.GetConnectionName(buffer, 64)", "Input.SetMediaType(WMLiveWmv9Audio1)",
                            "Writer.SetInputProps(0)", "Writer.GetInputProps(1)", "Input.GetConnectionName(null)",
                            "Input.GetConnectionName(buffer, 64)", "Input.SetMediaType(WMLiveWmv9Arbit1)",
                            "Writer.SetInputProps(1)"));
    EXPECT_EQ(2u, e.inputCount);
    EXPECT_EQ(0, e.inputs[0].inputNumber);
    EXPECT_EQ(1, e.inputs[1].inputNumber);
    EXPECT_EQ(0, std::memcmp(&format, &e.inputFormat, sizeof(format)));
    EXPECT_EQ(0, std::memcmp(&settings, &e.settings, sizeof(settings)));
}

// Configure: each step failing in turn, with the message and the code it leaves.
const StepFailure kConfigureFailures[] = {
    // the profile manager: SetupProfile fails
    {"WMCreateProfileManager", "SetupProfile failed (0xc00d1234)\n"},
    // a stream of the profile
    {"Profile.AddStream", "SetupProfile failed (0xc00d1234)\n"},
    // the sink's protocol
    {"NetworkSink.SetNetworkProtocol", "Could not Set Network protocol (hr=0xc00d1234).\n"},
    // the sink's listener limit
    {"NetworkSink.SetMaximumClients", "Could not Set maximum clients (hr=0xc00d1234).\n"},
    // the writer's profile
    {"Writer.SetProfile", "Could not set profile on IWMWriter (hr=0xc00d1234).\n"},
    // the writer's inputs
    {"Writer.GetInputCount", "UpdateWriterInputs failed (0xc00d1234)\n"},
};

TEST_F(EncoderTest, EveryConfigureFailureLeavesItsMessageAndCodeAndReleasesEverything) {
    for (const StepFailure& row : kConfigureFailures) {
        SCOPED_TRACE(row.call);
        fake::ScopedRuntime runtime;
        runtime->FailOn(row.call, kRuntimeFailure);
        {
            WmLiveEncoder e;
            ASSERT_EQ(S_OK, e.Initialize());
            InputFormat format = AudioFormat();
            EncoderSettings settings = StandardSettings();
            EXPECT_EQ(kRuntimeFailure, e.Configure(&format, &settings));
            EXPECT_EQ(row.message, std::string(e.errorText));
            EXPECT_EQ(TRUE, e.initialized);
            EXPECT_EQ(FALSE, e.running);
            EXPECT_EQ(44100, e.inputFormat.sampleRate);  // the copies stay
        }
        EXPECT_EQ(0, runtime->LiveObjects());
    }
}

TEST_F(EncoderTest, AnInputWithoutAMatchingConnectionNameIsNoValidStream) {
    runtime_->inputNamesFixed = true;
    runtime_->inputNames = {L"WMLiveWmv9Audio2"};
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.Initialize());
    InputFormat format = AudioFormat();
    EncoderSettings settings = StandardSettings();
    EXPECT_EQ(E_INVALIDARG, e.Configure(&format, &settings));
    // "no valid stream\n" was written, then Configure's own message over it.
    EXPECT_STREQ("UpdateWriterInputs failed (0x80070057)\n", e.errorText);
    EXPECT_EQ(-1, e.inputs[0].inputNumber);
    EXPECT_THAT(runtime_->CallsStartingWith("Input.SetMediaType"), ElementsAre());
    EXPECT_EQ(E_INVALIDARG, e.UpdateWriterInputs());
    EXPECT_STREQ("no valid stream\n", e.errorText);
}

// UpdateWriterInputs: each call of its loop failing in turn.
const StepFailure kUpdateInputFailures[] = {
    // the input's properties
    {"Writer.GetInputProps", "IWMWriter_GetInputProps failed (0xc00d1234)\n"},
    // their stream configuration face
    {"Input.QueryInterface(IWMStreamConfig)", "IWMInputMediaProps_QueryInterface failed (0xc00d1234)\n"},
    // the name's length
    {"Input.GetConnectionName(null)", "IWMStreamConfig_GetConnectionName failed (0xc00d1234)\n"},
    // the name itself
    {"Input.GetConnectionName(buffer, 64)", "IWMStreamConfig_GetConnectionName failed (0xc00d1234)\n"},
    // the media type
    {"Input.SetMediaType", "IWMInputMediaProps_SetMediaType failed (0xc00d1234)\n"},
    // the input's properties given back
    {"Writer.SetInputProps", "IWMWriter_SetInputProps failed (i:0, j:0, hr:0xc00d1234)\n"},
};

TEST_F(EncoderTest, EveryUpdateWriterInputsFailureEndsTheLoopWithItsMessage) {
    for (const StepFailure& row : kUpdateInputFailures) {
        SCOPED_TRACE(row.call);
        fake::ScopedRuntime runtime;
        {
            WmLiveEncoder e;
            ASSERT_EQ(S_OK, e.Initialize());
            InputFormat format = AudioFormat();
            EncoderSettings settings = StandardSettings();
            ASSERT_EQ(S_OK, e.Configure(&format, &settings));
            runtime->ClearCalls();
            runtime->FailOn(row.call, kRuntimeFailure);
            HRESULT hr = e.UpdateWriterInputs();
            // An entry left unmatched turns any failure into "no valid stream".
            if (e.inputs[0].inputNumber == -1) {
                EXPECT_EQ(E_INVALIDARG, hr);
                EXPECT_STREQ("no valid stream\n", e.errorText);
            } else {
                EXPECT_EQ(kRuntimeFailure, hr);
                EXPECT_EQ(row.message, std::string(e.errorText));
            }
            EXPECT_EQ(1u, runtime->CallsStartingWith("Writer.GetInputProps").size());
        }
        EXPECT_EQ(0, runtime->LiveObjects());
    }
}

TEST_F(EncoderTest, SetInputPropsFailingAfterTheMatchReportsInputAndEntry) {
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.Initialize());
    InputFormat format = AudioFormat();
    EncoderSettings settings = StandardSettings();
    ASSERT_EQ(S_OK, e.Configure(&format, &settings));
    runtime_->FailOn("Writer.SetInputProps", kRuntimeFailure);
    EXPECT_EQ(kRuntimeFailure, e.UpdateWriterInputs());
    EXPECT_STREQ("IWMWriter_SetInputProps failed (i:0, j:0, hr:0xc00d1234)\n", e.errorText);
}

TEST_F(EncoderTest, AConnectionNameOf64CharactersOrMoreIsReadIntoAHeapBuffer) {
    runtime_->inputNamesFixed = true;
    runtime_->inputNames = {std::wstring(70, L'x'), L"WMLiveWmv9Audio1"};
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.Initialize());
    InputFormat format = AudioFormat();
    EncoderSettings settings = StandardSettings();
    ASSERT_EQ(S_OK, e.Configure(&format, &settings)) << e.errorText;
    EXPECT_THAT(runtime_->CallsStartingWith("Input.GetConnectionName"),
                ElementsAre("Input.GetConnectionName(null)", "Input.GetConnectionName(buffer, 71)",
                            "Input.GetConnectionName(null)", "Input.GetConnectionName(buffer, 64)"));
    EXPECT_EQ(1, e.inputs[0].inputNumber);
}

TEST_F(EncoderTest, StartOpensThePortAddsTheSinkAndBeginsWriting) {
    runtime_->portAfterOpen = 8081;
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.SetBroadcastPort(8008));
    ASSERT_EQ(S_OK, e.Initialize());
    InputFormat format = AudioFormat();
    EncoderSettings settings = StandardSettings();
    ASSERT_EQ(S_OK, e.Configure(&format, &settings));
    runtime_->ClearCalls();
    DWORD before = ::timeGetTime();
    ASSERT_EQ(S_OK, e.Start());
    EXPECT_THAT(runtime_->Calls(true),
                ElementsAre("NetworkSink.Open(8008)", "Writer.AddSink(NetworkSink)", "Writer.BeginWriting()"));
    EXPECT_EQ(8081u, e.port);  // the sink rewrote the port
    EXPECT_EQ(TRUE, e.running);
    EXPECT_LE(e.startTime - before, 1000u);
    EXPECT_EQ(E_FAIL, e.Start());  // a second Start while running
    EXPECT_EQ(E_FAIL, e.SetBroadcastPort(9000));
    EXPECT_EQ(E_FAIL, e.SetMaxClients(9));
    EXPECT_EQ(8081u, e.port);
    EXPECT_EQ(5u, e.maxClients);
}

// Start: each step failing in turn, and what it undoes.
struct StartFailure {
    const char* call;
    const char* message;
    std::vector<std::string> calls;  // every runtime call from Start to the encoder's end
};

const StartFailure kStartFailures[] = {
    // the port: nothing to undo
    {"NetworkSink.Open", "Network sink failed to open port no 8080 (hr=0xc00d1234).\n", {"NetworkSink.Open(8080)"}},
    // the sink added to the writer: the port is closed again
    {"Writer.AddSink",
     "Could not Add Sink (hr=0xc00d1234).\n",
     {"NetworkSink.Open(8080)", "Writer.AddSink(NetworkSink)", "NetworkSink.Close()"}},
    // the writer's start, as for a format the codec refuses: the sink is removed and closed
    {"Writer.BeginWriting",
     "BeginWriting on IWMWriter failed (hr=0xc00d1234).\n",
     {"NetworkSink.Open(8080)", "Writer.AddSink(NetworkSink)", "Writer.BeginWriting()",
      "Writer.RemoveSink(NetworkSink)", "NetworkSink.Close()"}},
};

TEST_F(EncoderTest, EveryStartFailureClosesTheSinkItOpenedAndLeavesTheObjectNotRunning) {
    for (const StartFailure& row : kStartFailures) {
        SCOPED_TRACE(row.call);
        fake::ScopedRuntime runtime;
        {
            WmLiveEncoder e;
            ASSERT_EQ(S_OK, e.Initialize());
            InputFormat format = AudioFormat();
            EncoderSettings settings = StandardSettings();
            ASSERT_EQ(S_OK, e.Configure(&format, &settings));
            runtime->ClearCalls();
            runtime->FailOn(row.call, kRuntimeFailure);
            EXPECT_EQ(kRuntimeFailure, e.Start());
            EXPECT_EQ(row.message, std::string(e.errorText));
            EXPECT_EQ(FALSE, e.running);
            EXPECT_FALSE(runtime->networkSinkOpen);
            BYTE pcm[4] = {};
            EXPECT_EQ(E_FAIL, e.WriteAudio(pcm, 1));
        }
        EXPECT_EQ(row.calls, runtime->Calls());
        EXPECT_EQ(0, runtime->LiveObjects());
    }
}

TEST_F(EncoderTest, StopFlushesEndsRemovesAndClosesAndAStartAfterItOpensTheSameSink) {
    StartEncoder();
    WmLiveEncoder& e = Encoder();
    IWMWriterNetworkSink* sink = e.networkSink.get();
    EXPECT_EQ(S_OK, e.Stop());
    EXPECT_THAT(runtime_->Calls(true), ElementsAre("Writer.Flush()", "Writer.EndWriting()",
                                                   "Writer.RemoveSink(NetworkSink)", "NetworkSink.Close()"));
    EXPECT_EQ(FALSE, e.running);
    EXPECT_EQ(E_FAIL, e.Stop());
    DWORD seconds = kPoison;
    EXPECT_EQ(E_FAIL, e.GetElapsedSeconds(&seconds));
    EXPECT_EQ(kPoison, seconds);
    runtime_->ClearCalls();
    EXPECT_EQ(S_OK, e.Start());
    EXPECT_EQ(sink, e.networkSink.get());
    EXPECT_THAT(runtime_->Calls(true),
                ElementsAre("NetworkSink.Open(8080)", "Writer.AddSink(NetworkSink)", "Writer.BeginWriting()"));
}

// Stop: each step failing once in turn. Every later step is still made, so the port is
// closed; a removal or close that failed is made again when the encoder goes.
struct StopFailure {
    const char* call;
    const char* message;
    std::vector<std::string> retried;  // the calls Uninitialize makes again
};

const StopFailure kStopFailures[] = {
    // the flush
    {"Writer.Flush", "Could not Flush on IWMWriter (hr=0xc00d1234).\n", {}},
    // the end of writing
    {"Writer.EndWriting", "Could not EndWriting on IWMWriter (hr=0xc00d1234).\n", {}},
    // the network sink's removal
    {"Writer.RemoveSink(NetworkSink)", "Could not remove the Network Sink (hr=0xc00d1234).\n",
     {"Writer.RemoveSink(NetworkSink)"}},
    // the network sink's close: the sink stays open until Uninitialize closes it
    {"NetworkSink.Close", "Could not close on IWMWriterNetworkSink (hr=0xc00d1234).\n", {"NetworkSink.Close()"}},
    // the file sink's removal: the file sink is kept, and watched until the release
    {"Writer.RemoveSink(FileSink)", "Could not remove the File Sink (hr=0xc00d1234).\n", {"FileSink.Unadvise()"}},
};

TEST_F(EncoderTest, EveryStopFailureStillClosesTheSinkAndLeavesItsMessageAndTheObjectNotRunning) {
    const std::vector<std::string> stopCalls = {"Writer.Flush()", "Writer.EndWriting()",
                                                "Writer.RemoveSink(NetworkSink)", "NetworkSink.Close()",
                                                "Writer.RemoveSink(FileSink)"};
    for (const StopFailure& row : kStopFailures) {
        SCOPED_TRACE(row.call);
        fake::ScopedRuntime runtime;
        {
            WmLiveEncoder e;
            ASSERT_EQ(S_OK, e.Initialize());
            InputFormat format = AudioFormat();
            EncoderSettings settings = StandardSettings();
            ASSERT_EQ(S_OK, e.Configure(&format, &settings));
            ASSERT_EQ(S_OK, e.SetArchiveFile(L"archive.wma"));
            ASSERT_EQ(S_OK, e.Start());
            runtime->ClearCalls();
            runtime->FailOn(row.call, kRuntimeFailure, 1);
            EXPECT_EQ(kRuntimeFailure, e.Stop());
            EXPECT_EQ(row.message, std::string(e.errorText));
            EXPECT_EQ(FALSE, e.running);
            std::vector<std::string> expected = stopCalls;
            // A sink let go is no longer watched.
            if (std::string(row.call) != "Writer.RemoveSink(FileSink)") expected.push_back("FileSink.Unadvise()");
            EXPECT_EQ(expected, runtime->Calls());
            EXPECT_EQ(std::string(row.call) == "NetworkSink.Close", runtime->networkSinkOpen);
            if (std::string(row.call) == "Writer.RemoveSink(FileSink)") {
                EXPECT_NE(nullptr, e.fileSink.get());  // kept after a failed removal
            }
            runtime->ClearCalls();
        }
        EXPECT_EQ(row.retried, runtime->Calls());
        EXPECT_FALSE(runtime->networkSinkOpen);
        EXPECT_EQ(0, runtime->LiveObjects());
    }
}

TEST_F(EncoderTest, AStopWhoseStepsAllFailReportsTheFirstAndUninitializeClosesTheSink) {
    StartEncoder();
    WmLiveEncoder& e = Encoder();
    runtime_->FailOn("Writer.Flush", kRuntimeFailure);
    runtime_->FailOn("Writer.EndWriting", E_UNEXPECTED);
    runtime_->FailOn("Writer.RemoveSink", E_OUTOFMEMORY, 1);
    runtime_->FailOn("NetworkSink.Close", E_ACCESSDENIED, 1);
    EXPECT_EQ(kRuntimeFailure, e.Stop());
    EXPECT_STREQ("Could not Flush on IWMWriter (hr=0xc00d1234).\n", e.errorText);
    EXPECT_TRUE(runtime_->networkSinkOpen);
    EXPECT_EQ(S_OK, e.Uninitialize());
    EXPECT_THAT(runtime_->Calls(), ElementsAre("Writer.Flush()", "Writer.EndWriting()",
                                               "Writer.RemoveSink(NetworkSink)", "NetworkSink.Close()",
                                               "Writer.RemoveSink(NetworkSink)", "NetworkSink.Close()"));
    EXPECT_FALSE(runtime_->networkSinkOpen);
    EXPECT_STREQ("Could not Flush on IWMWriter (hr=0xc00d1234).\n", e.errorText);
    EXPECT_EQ(0, runtime_->LiveObjects());
}

// The path goes to the sink as it came, UTF-16 of any length: a folder with characters outside
// the code pages, and one longer than 260 characters, reach Open unchanged.
TEST_F(EncoderTest, SetArchiveFileTakesTheUtf16PathWatchesOpensAndAddsAFileSinkThatStopReleases) {
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.Initialize());
    runtime_->ClearCalls();
    EXPECT_EQ(E_INVALIDARG, e.SetArchiveFile(nullptr));
    EXPECT_EQ(E_INVALIDARG, e.SetArchiveFile(L""));
    EXPECT_THAT(runtime_->Calls(true), ElementsAre());
    const std::wstring path = L"C:\\Café \u97f3\u697d\\" + std::wstring(300, L'a') + L".wma";
    EXPECT_EQ(S_OK, e.SetArchiveFile(path.c_str()));
    ASSERT_EQ(1u, runtime_->fileSinkPaths.size());
    EXPECT_EQ(path, runtime_->fileSinkPaths[0]);
    EXPECT_THAT(runtime_->CallsStartingWith("FileSink."),
                ElementsAre("FileSink.QueryInterface(IWMRegisterCallback)", "FileSink.Advise()",
                            StartsWith("FileSink.Open(C:\\Caf")));
    EXPECT_NE(nullptr, runtime_->fileSinkStatus);
    EXPECT_EQ(E_FAIL, e.SetArchiveFile(L"C:\\second.wma"));  // one file per broadcast
    HRESULT written = kPoison;
    EXPECT_EQ(S_OK, e.GetArchiveState(&written));
    EXPECT_EQ(S_OK, written);
    // A failed write is told only through the status callback; the first one is kept.
    runtime_->fileSinkStatus->OnStatus(WMT_ERROR, NS_E_FILE_WRITE, WMT_TYPE_DWORD, nullptr, nullptr);
    runtime_->fileSinkStatus->OnStatus(WMT_ERROR, E_FAIL, WMT_TYPE_DWORD, nullptr, nullptr);
    EXPECT_EQ(S_OK, e.GetArchiveState(&written));
    EXPECT_EQ(NS_E_FILE_WRITE, written);
    InputFormat format = AudioFormat();
    EncoderSettings settings = StandardSettings();
    ASSERT_EQ(S_OK, e.Configure(&format, &settings));
    ASSERT_EQ(S_OK, e.Start());
    runtime_->ClearCalls();
    EXPECT_EQ(S_OK, e.Stop());
    EXPECT_THAT(runtime_->Calls(),
                ElementsAre("Writer.Flush()", "Writer.EndWriting()", "Writer.RemoveSink(NetworkSink)",
                            "NetworkSink.Close()", "Writer.RemoveSink(FileSink)", "FileSink.Unadvise()"));
    EXPECT_EQ(nullptr, e.fileSink.get());
    EXPECT_EQ(nullptr, runtime_->fileSinkStatus);
    EXPECT_EQ(E_FAIL, e.GetArchiveState(&written));
}

// SetArchiveFile: the runtime's failures, each leaving no sink added, so the broadcast can
// start without one.
const StepFailure kArchiveFailures[] = {
    // the file sink cannot be created
    {"WMCreateWriterFileSink", "Could not create Writer File Sink (hr=0xc00d1234).\n"},
    // the file cannot be opened (a folder that refuses writes, or is gone)
    {"FileSink.Open", "Could not open the archive file (hr=0xc00d1234).\n"},
    // the sink cannot be added: two blanks before the parenthesis
    {"Writer.AddSink", "Could not Add Sink  (hr=0xc00d1234).\n"},
};

TEST_F(EncoderTest, SetArchiveFileFailuresPassTheCodeThroughAndLeaveNoSink) {
    for (const StepFailure& row : kArchiveFailures) {
        SCOPED_TRACE(row.call);
        fake::ScopedRuntime runtime;
        {
            WmLiveEncoder e;
            ASSERT_EQ(S_OK, e.Initialize());
            runtime->FailOn(row.call, kRuntimeFailure);
            EXPECT_EQ(kRuntimeFailure, e.SetArchiveFile(L"archive.wma"));
            EXPECT_EQ(row.message, std::string(e.errorText));
            EXPECT_EQ(nullptr, e.fileSink.get());
            EXPECT_EQ(nullptr, runtime->fileSinkStatus);
            HRESULT written = kPoison;
            EXPECT_EQ(E_FAIL, e.GetArchiveState(&written));
            EXPECT_EQ(kPoison, static_cast<DWORD>(written));
        }
        EXPECT_EQ(0, runtime->LiveObjects());
    }
}

TEST_F(EncoderTest, UninitializeStopsARunningEncoderAndReleasesEverything) {
    StartEncoder(AudioFormat(44100, 2, 16, TRUE));
    WmLiveEncoder& e = Encoder();
    EXPECT_EQ(S_OK, e.Uninitialize());
    EXPECT_THAT(runtime_->Calls(true), ElementsAre("Writer.Flush()", "Writer.EndWriting()",
                                                   "Writer.RemoveSink(NetworkSink)", "NetworkSink.Close()"));
    EXPECT_EQ(FALSE, e.running);
    EXPECT_EQ(FALSE, e.initialized);
    EXPECT_EQ(0u, e.inputCount);
    EXPECT_EQ(nullptr, e.inputs[0].mediaType.pbFormat);
    EXPECT_EQ(nullptr, e.inputs[1].mediaType.pbFormat);
    EXPECT_EQ(nullptr, e.profile.get());
    EXPECT_EQ(0, runtime_->LiveObjects());
}

TEST_F(EncoderTest, AttributesGoToTheWholeFileWithTheirLengths) {
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.Initialize());
    runtime_->ClearCalls();
    const BYTE picture[17] = {1, 2, 3};
    EXPECT_EQ(S_OK, e.SetStringAttribute(L"Title", L"abc"));
    EXPECT_EQ(S_OK, e.SetBinaryAttribute(L"WM/Picture", picture, 17));
    EXPECT_THAT(runtime_->Calls(true),
                ElementsAre("Writer.SetAttribute(0, Title, 1, 8)", "Writer.SetAttribute(0, WM/Picture, 2, 17)"));
    ASSERT_EQ(2u, runtime_->attributes.size());
    EXPECT_EQ(std::vector<BYTE>({'a', 0, 'b', 0, 'c', 0, 0, 0}), runtime_->attributes[0].second);
    runtime_->FailOn("Writer.SetAttribute", kRuntimeFailure);
    EXPECT_EQ(kRuntimeFailure, e.SetStringAttribute(L"Title", L"x"));
    EXPECT_EQ(E_INVALIDARG, e.SetStringAttribute(nullptr, L"x"));
    EXPECT_EQ(E_INVALIDARG, e.SetStringAttribute(L"Title", std::wstring(40000, L'x').c_str()));
    EXPECT_EQ(E_INVALIDARG, e.SetBinaryAttribute(L"WM/Picture", picture, 0x10000));
    // No value to read: refused before the runtime is asked; an empty binary value is fine.
    runtime_->ClearCalls();
    EXPECT_EQ(E_INVALIDARG, e.SetStringAttribute(L"Title", nullptr));
    EXPECT_EQ(E_INVALIDARG, e.SetBinaryAttribute(L"WM/Picture", nullptr, 4));
    EXPECT_EQ(E_INVALIDARG, e.SetBinaryAttribute(nullptr, picture, 4));
    EXPECT_THAT(runtime_->Calls(true), ElementsAre());
    EXPECT_EQ(kRuntimeFailure, e.SetBinaryAttribute(L"WM/Picture", nullptr, 0));
}

TEST_F(EncoderTest, StatisticsAndClientCountComeFromTheWriterAndTheSink) {
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.Initialize());
    runtime_->ClearCalls();
    WM_WRITER_STATISTICS statistics{};
    EXPECT_EQ(S_OK, e.GetStatistics(&statistics));
    EXPECT_EQ(123456u, statistics.qwByteCount);
    DWORD count = kPoison;
    EXPECT_EQ(E_INVALIDARG, e.GetClientCount(nullptr));
    EXPECT_EQ(S_OK, e.GetClientCount(&count));
    EXPECT_EQ(3u, count);
    EXPECT_THAT(runtime_->Calls(true),
                ElementsAre("Writer.GetStatistics(0)", "NetworkSink.QueryInterface(IWMClientConnections)",
                            "NetworkSink.GetClientCount()"));
    count = kPoison;
    runtime_->FailOn("NetworkSink.QueryInterface(IWMClientConnections)", kRuntimeFailure);
    EXPECT_EQ(kRuntimeFailure, e.GetClientCount(&count));
    EXPECT_EQ(kPoison, count);
    runtime_->FailOn("Writer.GetStatistics", kRuntimeFailure);
    EXPECT_EQ(kRuntimeFailure, e.GetStatistics(&statistics));
}

TEST_F(EncoderTest, ElapsedSecondsAreTruncatedAndWrap) {
    StartEncoder();
    WmLiveEncoder& e = Encoder();
    DWORD seconds = kPoison;
    EXPECT_EQ(E_INVALIDARG, e.GetElapsedSeconds(nullptr));
    e.startTime = ::timeGetTime() - 1999;
    EXPECT_EQ(S_OK, e.GetElapsedSeconds(&seconds));
    EXPECT_EQ(1u, seconds);
    e.startTime = ::timeGetTime() + 1000;  // the clock wrapped since Start
    EXPECT_EQ(S_OK, e.GetElapsedSeconds(&seconds));
    EXPECT_EQ(4294966u, seconds);  // (2^32 - 1000 ms) / 1000, truncated
}

// Messages and their copies.
TEST(ErrorText, ALongMessageIsCutAt255Characters) {
    char text[kErrorTextSize];
    FormatErrorText(text, "%s", std::string(300, 'm').c_str());
    EXPECT_EQ(255u, std::strlen(text));
    FormatErrorText(text, "Could not Add Sink (hr=0x%08x).\n", 0x80004005u);
    EXPECT_STREQ("Could not Add Sink (hr=0x80004005).\n", text);
}

TEST(ErrorText, GetErrorTextCopiesWhatFitsAndSaysWhenItCut) {
    const char* message = "Could not Add Sink (hr=0x80004005).\n";
    char buffer[256];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(S_OK, CopyErrorText(message, buffer, 256));
    EXPECT_STREQ(message, buffer);
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(kInsufficientBuffer, CopyErrorText(message, buffer, 1));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(kInsufficientBuffer, CopyErrorText(message, buffer, 6));
    EXPECT_STREQ("Could", buffer);
    EXPECT_EQ(S_OK, CopyErrorText("", buffer, 1));
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(E_INVALIDARG, CopyErrorText(message, buffer, 0));
    EXPECT_EQ(E_INVALIDARG, CopyErrorText(message, buffer, 0x80000000u));
    EXPECT_EQ(E_INVALIDARG, CopyErrorText(message, nullptr, 10));
    EXPECT_EQ('x', buffer[0]);  // untouched by the refused calls
}

TEST_F(EncoderTest, ANewFailureReplacesTheMessageAndSuccessKeepsIt) {
    runtime_->FailOn("NetworkSink.Open", kRuntimeFailure, 1);
    WmLiveEncoder& e = Encoder();
    ASSERT_EQ(S_OK, e.Initialize());
    EXPECT_EQ(kRuntimeFailure, e.Start());
    char buffer[256];
    EXPECT_EQ(S_OK, e.GetErrorText(buffer, 256));
    EXPECT_STREQ("Network sink failed to open port no 8080 (hr=0xc00d1234).\n", buffer);
    EXPECT_EQ(kInsufficientBuffer, e.GetErrorText(buffer, 1));
    EXPECT_EQ(S_OK, e.Start());
    EXPECT_STREQ("Network sink failed to open port no 8080 (hr=0xc00d1234).\n", e.errorText);
    runtime_->FailOn("Writer.Flush", E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, e.Stop());
    EXPECT_STREQ("Could not Flush on IWMWriter (hr=0x8007000e).\n", e.errorText);
}

TEST_F(EncoderTest, TheOperationTableHasItsFixedOrder) {
    // Each operation called through the abstract table on a new object, in table order.
    LiveEncoder* encoder = nullptr;
    ASSERT_EQ(S_OK, WMLiveCreateInterface(&encoder));
    InputFormat format = AudioFormat();
    char text[4];
    DWORD value = kPoison;
    EXPECT_EQ(E_FAIL, encoder->Configure(nullptr, nullptr));  // the state is checked first
    EXPECT_EQ(E_FAIL, encoder->ChangeInputFormat(&format));
    EXPECT_EQ(E_FAIL, encoder->SetArchiveFile(L"a"));
    EXPECT_EQ(E_INVALIDARG, encoder->SetBroadcastPort(0));
    EXPECT_EQ(E_INVALIDARG, encoder->SetMaxClients(0));
    EXPECT_EQ(E_FAIL, encoder->Start());
    EXPECT_EQ(E_FAIL, encoder->Stop());
    EXPECT_EQ(E_INVALIDARG, encoder->GetErrorText(text, 0));
    EXPECT_EQ(E_FAIL, encoder->GetElapsedSeconds(&value));
    EXPECT_EQ(S_OK, encoder->Uninitialize());
    // Slots as the GCC ABI lays them out: 17 Release, 18-19 the destructor pair, 20 Uninitialize.
    void** table = *reinterpret_cast<void***>(encoder);
    using Op = HRESULT(STDMETHODCALLTYPE*)(LiveEncoder*, DWORD);
    EXPECT_EQ(E_INVALIDARG, reinterpret_cast<Op>(table[4])(encoder, 0));   // SetBroadcastPort
    EXPECT_EQ(S_OK, reinterpret_cast<Op>(table[5])(encoder, 3));           // SetMaxClients
    using Plain = HRESULT(STDMETHODCALLTYPE*)(LiveEncoder*);
    EXPECT_EQ(E_FAIL, reinterpret_cast<Plain>(table[6])(encoder));         // Start
    EXPECT_EQ(S_OK, reinterpret_cast<Plain>(table[20])(encoder));          // Uninitialize
    using State = HRESULT(STDMETHODCALLTYPE*)(LiveEncoder*, HRESULT*);
    EXPECT_EQ(E_INVALIDARG, reinterpret_cast<State>(table[21])(encoder, nullptr));  // GetArchiveState
    EXPECT_EQ(3u, static_cast<WmLiveEncoder*>(encoder)->maxClients);
    encoder->Release();
}

}  // namespace
}  // namespace ombrel::test
