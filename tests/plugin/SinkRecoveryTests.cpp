// A start or a stop whose writer or sink call fails, through the plug-in, the real live encoder
// and the runtime stand-in's DLL on a real port: the failed start or stop still closes the port
// and ends the sink's serving thread, so the next start on the same port works and is heard.
#include <gtest/gtest.h>

#include <winsock.h>

#include <string>
#include <vector>

#include "plugin/BroadcastControl.h"
#include "plugin/DspModule.h"
#include "plugin/Lifecycle.h"
#include "tests/common/Loopback.h"
#include "tests/common/MessagePump.h"
#include "tests/common/StreamListener.h"
#include "tests/plugin/MessageBoxWatcher.h"
#include "tests/plugin/ServedBroadcast.h"
#include "win/UniqueAny.h"
#include "win/UniqueSocket.h"

namespace ombrel::test {
namespace {

constexpr char kCaption[] = "Ombrel DSP plugin v1.05";
// NS_E_INVALID_INPUT_FORMAT, what a writer answers for a format its codec refuses.
constexpr HRESULT kRefused = static_cast<HRESULT>(0xC00D0BB8);

// The stand-in's test-only exports, from the wmvcore.dll the plug-in loads.
class StandInControls {
public:
    using FailNextCallProc = HRESULT(STDMETHODCALLTYPE*)(const char*, HRESULT);
    using ServingThreadsProc = LONG(STDMETHODCALLTYPE*)();

    StandInControls() : module_(::LoadLibraryA("wmvcore.dll")) {
        if (!module_) return;
        failNextCall_ = reinterpret_cast<FailNextCallProc>(
            reinterpret_cast<void*>(::GetProcAddress(module_.get(), "WMStandInFailNextCall")));
        servingThreads_ = reinterpret_cast<ServingThreadsProc>(
            reinterpret_cast<void*>(::GetProcAddress(module_.get(), "WMStandInServingThreads")));
    }
    ~StandInControls() {
        if (failNextCall_) failNextCall_(nullptr, S_OK);
    }
    bool Present() const { return failNextCall_ && servingThreads_; }
    HRESULT FailNextCall(const char* call, HRESULT hr) { return failNextCall_(call, hr); }
    LONG ServingThreads() { return servingThreads_(); }

private:
    win::UniqueModule module_;
    FailNextCallProc failNextCall_ = nullptr;
    ServingThreadsProc servingThreads_ = nullptr;
};

// One stand-in call made to fail once, in a start or in the stop of a running broadcast.
struct SinkFault {
    const char* call;
    bool inStart;
    const char* box;  // what the failed start shows; a stop shows nothing
};

const SinkFault kSinkFaults[] = {
    // A format the codec refuses: the sink had opened its port and was added.
    {"Writer.BeginWriting", true, "BeginWriting on IWMWriter failed (hr=0xc00d0bb8).\n"},
    // The sink had opened its port but was not added.
    {"Writer.AddSink", true, "Could not Add Sink (hr=0xc00d0bb8).\n"},
    // The stop's steps before the sink's removal and close.
    {"Writer.Flush", false, ""},
    {"Writer.EndWriting", false, ""},
    {"Writer.RemoveSink", false, ""},
    // The stop's close itself: the encoder's release closes the sink still open.
    {"NetworkSink.Close", false, ""},
};

class SinkRecovery : public ServedBroadcast {
protected:
    // Starts without a box, and a listener hears the stream: header, then data.
    void ExpectStartIsHeard(const std::string& what) {
        MessageBoxWatcher boxes(kCaption);
        StartBroadcast();
        ASSERT_EQ(1, IsBroadcasting()) << what;
        StreamListener listener(port_);
        ASSERT_TRUE(listener.Start()) << what;
        std::vector<short> block(576 * 2, 1000);
        // The player's blocks, as its audio thread would hand them over, until data arrives.
        EXPECT_TRUE(PumpUntil(10000, [&] {
            ModifySamples(&PluginModule(), block.data(), 576, 16, 2, 44100);
            return listener.DataChunks() >= 3;
        })) << what << ": the listener heard " << listener.DataChunks() << " data chunks";
        EXPECT_TRUE(listener.HeaderChunkReceived()) << what;
        for (const SeenMessageBox& box : boxes.Seen()) ADD_FAILURE() << what << ": a box said " << box.text;
    }
};

TEST_F(SinkRecovery, AFailedStartOrStopClosesThePortAndTheNextStartOnItIsHeard) {
    StandInControls standIn;
    ASSERT_TRUE(standIn.Present()) << "wmvcore.dll beside the tests is not the stand-in";
    const LONG servingBefore = standIn.ServingThreads();
    for (const SinkFault& row : kSinkFaults) {
        SCOPED_TRACE(row.call);
        if (!row.inStart) {
            ExpectStartIsHeard("the broadcast to stop");
            EXPECT_EQ(servingBefore + 1, standIn.ServingThreads());
        }
        ASSERT_EQ(S_OK, standIn.FailNextCall(row.call, kRefused));
        {
            MessageBoxWatcher boxes(kCaption);
            if (row.inStart)
                StartBroadcast();
            else
                StopBroadcast();
            const std::vector<SeenMessageBox> seen = boxes.Seen();
            if (*row.box) {
                ASSERT_EQ(1u, seen.size());
                EXPECT_EQ(row.box, seen[0].text);
            } else {
                for (const SeenMessageBox& box : seen) ADD_FAILURE() << "a stop showed " << box.text;
            }
        }
        EXPECT_EQ(S_OK, standIn.FailNextCall(row.call, S_OK)) << "the call was not made";
        EXPECT_EQ(0, IsBroadcasting());
        EXPECT_EQ(servingBefore, standIn.ServingThreads()) << "the failed sink's serving thread is left";
        EXPECT_FALSE(ConnectsOnLoopback(port_)) << "the port is still open";

        ExpectStartIsHeard("the next start on the same port");
        EXPECT_EQ(servingBefore + 1, standIn.ServingThreads());
        StopBroadcast();
        EXPECT_EQ(servingBefore, standIn.ServingThreads());
    }
}

}  // namespace
}  // namespace ombrel::test
