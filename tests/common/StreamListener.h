// A listener of the broadcast on loopback, as a Windows Media player connects to the plug-in's
// port or the runtime stand-in's network sink: it sends the play request and reads the $H/$D/$E
// framing on a thread of its own. What it does with the bytes depends on its mode:
// - kKeep keeps them all, for checks of the response itself (status line, chunks);
// - kNeverRead sends its request and never reads, with as small a receive buffer as the system
//   allows: a player that has stalled;
// - kCount reads the header's audio format and counts packets, gaps and stream time;
// - kVerify also puts the audio stream's media objects together and checks that the audio is
//   continuous: each object's presentation time against the frames before it (the stream clock
//   against the sample count), and every step between frames against the pattern of
//   PcmPattern.h.
//
// A listener can be started again after it stopped; its buffers are kept from one session to the
// next, so listeners that come and go do not load the process heap the plug-in shares.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "win/CriticalSection.h"
#include "win/UniqueAny.h"
#include "win/UniqueSocket.h"

namespace ombrel::test {

enum class ListenMode { kKeep, kNeverRead, kCount, kVerify };

// Kernel and user time of a thread so far, in seconds.
double ThreadCpuSeconds(HANDLE thread);

// What a counting or verifying listener saw.
struct ListenerReport {
    bool connected = false;    // "200 OK" and the header arrived
    bool ended = false;        // the end chunk arrived
    bool closedEarly = false;  // the connection closed (or failed) before the end chunk
    uint64_t afterEnd = 0;     // bytes that came after the end chunk, before the connection closed
    uint64_t bytes = 0;        // everything received
    uint64_t packets = 0;      // data chunks
    uint64_t locationGaps = 0; // data chunks whose location does not follow the one before
    // Verifying listeners only.
    uint32_t sampleRate = 0;   // of the stream's audio, from the header
    uint64_t objects = 0;      // complete audio media objects
    uint64_t frames = 0;       // audio frames in them
    uint32_t firstTimeMs = 0;  // stream time of the first complete object (preroll removed)
    double endTimeMs = 0;      // stream time just after the last frame, from the frame count
    uint64_t timeErrors = 0;   // objects whose time is more than 2 ms off the frames before them
    double maxTimeDeviationMs = 0;
    uint64_t stepErrors = 0;   // frames that step further than the pattern can
    int maxStep = 0;
    uint64_t fragmentErrors = 0;  // payloads out of order, objects cut short or out of turn
    uint64_t parseErrors = 0;
    std::string firstError;

    double packetMs = 0;       // the stream time one full data packet carries

    // The stream ended with the end chunk as its last chunk.
    bool EndedLast() const { return ended && afterEnd == 0; }

    // Verified: nothing lost, repeated or malformed in what arrived.
    bool Continuous() const {
        return connected && objects > 0 && locationGaps == 0 && timeErrors == 0 && stepErrors == 0 &&
               fragmentErrors == 0 && parseErrors == 0;
    }
};

class StreamListener {
public:
    explicit StreamListener(int port, ListenMode mode = ListenMode::kKeep);
    ~StreamListener() { Stop(); }
    StreamListener(const StreamListener&) = delete;
    StreamListener& operator=(const StreamListener&) = delete;

    // Connects, sends the play request and (but for kNeverRead) starts reading on a thread of its
    // own; a stopped listener starts a new session with nothing received. False when it could
    // not connect or send.
    bool Start();
    // Closes the connection and ends the thread.
    void Stop();

    // The server closed the connection (or it failed); not set by Stop.
    bool Closed() const { return closed_.load(); }
    // The reading thread has ended: the connection closed or the listener stopped.
    bool Finished() const { return finished_.load(); }
    uint64_t Bytes() const { return bytes_.load(); }

    // kKeep: the response so far, the head then the chunks.
    std::string Received() const;
    // kKeep: the head's status line, once received.
    std::string StatusLine() const;
    // kKeep: the header chunk ("$H") follows the head.
    bool HeaderChunkReceived() const;
    // kKeep: the complete data chunks ("$D") received so far; -1 when the framing is broken.
    int DataChunks() const;

    // kCount and kVerify: true once the header arrived; false when ms passed or the connection
    // ended first.
    bool WaitForHeader(DWORD ms) const;
    // True once the connection closed, within ms; after an end chunk the listener reads on until
    // the sink closes.
    bool WaitForFinish(DWORD ms) const;
    bool HeaderSeen() const { return headerSeen_.load(); }
    // Stream time reached (ms, preroll removed): the send time of the latest packet.
    uint32_t LatestStreamMs() const { return latestMs_.load(); }
    // kVerify: the stream time up to which whole audio objects arrived (ms).
    uint32_t VerifiedMs() const { return verifiedMs_.load(); }
    // A copy of what was seen; complete once the listener has finished or stopped.
    ListenerReport Report() const;
    // Processor time of the reading thread, known once it has stopped.
    double CpuSeconds() const { return cpuSeconds_; }

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    // A new session's state, the buffers' room kept.
    void Reset();
    // Takes what one receive brought; false when the stream cannot be read on.
    bool Take(const char* data, size_t size);
    // Consumes whole chunks from buffer_; false when the stream cannot be read on.
    bool Parse();
    bool OnHeaderChunk(const BYTE* data, size_t size);
    void OnDataChunk(uint32_t location, const BYTE* data, size_t size);
    void OnAudioPayload(uint8_t number, uint32_t offset, uint32_t objectSize, uint32_t time, const BYTE* data,
                        size_t size);
    void OnAudioObject();
    void Fail(uint64_t* counter, const std::string& what);

    const int port_;
    const ListenMode mode_;
    win::UniqueSocket socket_;
    win::UniqueThread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closed_{false};
    std::atomic<bool> headerSeen_{false};
    std::atomic<bool> finished_{false};
    std::atomic<uint64_t> bytes_{0};
    std::atomic<uint32_t> latestMs_{0};
    std::atomic<uint32_t> verifiedMs_{0};
    double cpuSeconds_ = 0;

    // The reading thread's own; the report and the kept bytes are copied out under the lock.
    mutable win::CriticalSection lock_;
    ListenerReport report_;
    std::string kept_;          // kKeep: everything received
    std::vector<char> chunk_;   // what one recv gets
    std::vector<BYTE> buffer_;  // received, not yet parsed
    size_t consumed_ = 0;
    // Where the parsing of a session stands; a new session starts from the defaults.
    struct Parsing {
        bool headDone = false;
        bool haveLocation = false;
        uint32_t lastLocation = 0;
        uint32_t preroll = 0;
        uint32_t packetSize = 0;
        int audioStream = -1;
        int blockAlign = 0;
        // The media object being put together.
        bool synced = false;  // an object start has been seen (a listener may join mid-object)
        bool inObject = false;
        bool haveNumber = false;
        uint8_t objectNumber = 0;
        uint32_t objectSize = 0;
        uint32_t objectTime = 0;
        bool havePrevious = false;
        int previousLeft = 0;
        int previousRight = 0;
    };
    Parsing parsing_;
    std::vector<BYTE> object_;  // the media object being put together
};

}  // namespace ombrel::test
