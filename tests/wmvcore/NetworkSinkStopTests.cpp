// What listeners get from the network sink on real loopback sockets when the stream is long and
// when it stops: every packet in order across many turns of the listener's queue, and at a stop
// (end of writing, then close) the packets still queued and the end chunk. A listener that
// never reads cannot hold the stop for long, nor keep the others from their end.
#include <winsock.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/common/StreamChunks.h"
#include "tests/wmvcore/NetworkSinkFixture.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

using namespace wmstandin;

constexpr size_t kPacket = 3200;
// The reader may lag this far behind the writer: far below the sink's queue limit.
constexpr size_t kMaxLag = 256 * 1024;
// A hang, not a timing goal: the sink's own bound is about a second.
constexpr DWORD kCloseHangMs = 10000;

// Reads a socket on a thread of its own until the peer closes, keeping every byte. It can be
// paused and told to resume by itself later, so a stop can begin while it is not reading.
class StreamReader {
public:
    explicit StreamReader(SOCKET s) : socket_(s) {
        thread_.reset(::CreateThread(nullptr, 0, &StreamReader::Main, this, 0, nullptr));
    }
    ~StreamReader() {
        stop_ = true;
        if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
    }
    size_t Bytes() const { return bytes_; }
    // Returns once the reader has stopped reading; it reads again after ms.
    void PauseFor(DWORD ms) {
        resumeAt_ = ::GetTickCount() + ms;
        paused_ = true;
        while (!idle_) ::Sleep(1);
    }
    // True when the peer closed within ms; the text is then complete.
    bool WaitForEnd(DWORD ms) { return ::WaitForSingleObject(thread_.get(), ms) == WAIT_OBJECT_0 && closed_; }
    const std::string& Text() const { return text_; }

private:
    static DWORD WINAPI Main(void* self) {
        static_cast<StreamReader*>(self)->Run();
        return 0;
    }
    void Run() {
        const DWORD giveUp = ::GetTickCount() + 60000;
        while (!stop_ && static_cast<LONG>(::GetTickCount() - giveUp) < 0) {
            if (paused_) {
                idle_ = true;
                if (static_cast<LONG>(::GetTickCount() - resumeAt_) < 0) {
                    ::Sleep(1);
                    continue;
                }
                paused_ = false;
                idle_ = false;
            }
            fd_set set;
            FD_ZERO(&set);
            FD_SET(socket_, &set);
            timeval wait = {0, 20 * 1000};
            if (::select(0, &set, nullptr, nullptr, &wait) != 1) continue;
            char chunk[16384];
            const int got = ::recv(socket_, chunk, sizeof chunk, 0);
            if (got <= 0) {
                closed_ = got == 0;
                return;
            }
            text_.append(chunk, got);
            bytes_ += got;
        }
    }

    const SOCKET socket_;
    std::string text_;
    std::atomic<size_t> bytes_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> idle_{false};
    std::atomic<DWORD> resumeAt_{0};
    std::atomic<bool> closed_{false};
    win::UniqueThread thread_;
};

class NetworkSinkStopTest : public NetworkSinkTest {
protected:
    // Packets first..first+count-1, each with its number as the pattern's seed, never letting
    // the reader fall more than kMaxLag behind.
    void SendPackets(int first, int count, const StreamReader* reader) {
        for (int i = first; i < first + count; ++i) {
            if (reader) {
                const DWORD start = ::GetTickCount();
                while (sent_ > reader->Bytes() + kMaxLag) {
                    ASSERT_LT(::GetTickCount() - start, 10000u) << "the reader got stuck at packet " << i;
                    ::Sleep(1);
                }
            }
            SendPacket(Bytes(kPacket, i));
            sent_ += kPacket + 12;
        }
    }
    DWORD TimedClose() {
        const DWORD start = ::GetTickCount();
        EXPECT_EQ(sink_->Close(), S_OK);
        const DWORD ms = ::GetTickCount() - start;
        std::printf("Close took %lu ms\n", static_cast<unsigned long>(ms));
        return ms;
    }

    size_t sent_ = 0;  // chunk bytes queued for a reader, beyond its response head
};

// The whole stream a listener read: the head, the header chunk, `packets` data chunks in order
// with their locations and contents, and the end chunk last.
void ExpectWholeStream(const std::string& received, int packets) {
    EXPECT_EQ(received.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    std::vector<Chunk> chunks;
    ASSERT_TRUE(SplitChunks(BodyOf(received), &chunks, false))
        << "the framing holds to the last byte; " << received.size() << " bytes came";
    ASSERT_EQ(chunks.size(), static_cast<size_t>(packets) + 2) << "header, data, end";
    EXPECT_EQ(chunks.front().type, 'H');
    EXPECT_EQ(chunks.back().type, 'E');
    for (int i = 0; i < packets; ++i) {
        const Chunk& c = chunks[1 + i];
        const auto expected = Bytes(kPacket, i);
        const bool whole = c.type == 'D' && c.location == chunks[1].location + i &&
                           c.payload == std::string(expected.begin(), expected.end());
        ASSERT_TRUE(whole) << "data chunk " << i << " of " << packets;
    }
}

// Whether the peer has closed: a read that would not block returns the end (or a reset).
bool ClosedByPeer(SOCKET s) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait = {1, 0};
    char byte;
    return ::select(0, &set, nullptr, nullptr, &wait) == 1 && ::recv(s, &byte, 1, 0) <= 0;
}

TEST_F(NetworkSinkStopTest, AReadingListenerGetsEveryPacketAcrossTheQueueAndAtTheStopTheRestAndTheEnd) {
    // A fixed receive buffer: the kernel cannot take in everything sent while the reader pauses.
    auto s = Listen(64 * 1024);
    ASSERT_TRUE(s);
    ASSERT_TRUE(WaitForCount(1));
    StreamReader reader(s.get());
    // About 3 MB: the listener's queue fills and empties through its end several times over.
    SendPackets(0, 1000, &reader);
    // Then the stop begins while the listener is not reading: most of what follows is still
    // queued in the sink when the close starts.
    reader.PauseFor(150);
    SendPackets(1000, 200, nullptr);
    ASSERT_EQ(Count(), 1u) << "far below the queue limit";
    ASSERT_EQ(sink_->OnEndWriting(), S_OK);
    EXPECT_EQ(Count(), 0u) << "an ended stream is no longer counted";
    EXPECT_LT(TimedClose(), kCloseHangMs);
    ASSERT_TRUE(reader.WaitForEnd(kCloseHangMs)) << "the sink closed the connection";
    ExpectWholeStream(reader.Text(), 1200);
}

TEST_F(NetworkSinkStopTest, AListenerThatNeverReadsHoldsTheStopOnlyBrieflyAndKeepsNobodyFromTheEnd) {
    auto stuck = Listen(4096);
    ASSERT_TRUE(stuck);
    auto reading = Listen();
    ASSERT_TRUE(reading);
    ASSERT_TRUE(WaitForCount(2));
    StreamReader reader(reading.get());
    // About 640 KB: beyond every socket buffer, within the queue limit, so nobody is dropped.
    SendPackets(0, 200, &reader);
    ASSERT_EQ(Count(), 2u);
    ASSERT_EQ(sink_->OnEndWriting(), S_OK);
    EXPECT_LT(TimedClose(), kCloseHangMs);
    ASSERT_TRUE(reader.WaitForEnd(kCloseHangMs));
    ExpectWholeStream(reader.Text(), 200);
    // The stuck listener's connection is closed too: what it reads now comes to an end.
    const std::string rest = Receive(stuck.get(), SIZE_MAX, 10000);
    EXPECT_TRUE(ClosedByPeer(stuck.get())) << "closed after " << rest.size() << " bytes";
}

}  // namespace
}  // namespace ombrel::test
