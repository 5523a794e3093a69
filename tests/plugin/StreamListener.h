// A listener of the broadcast on real loopback sockets, as a player connects to the plug-in's
// port: it asks for the live stream and reads the framed chunks on a thread of its own, or,
// told to, never reads at all.
#pragma once

#include <winsock.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "tests/common/PlayRequest.h"
#include "win/UniqueSocket.h"

namespace ombrel::test {

using test_common::kPlayRequest;

enum class Reading { kReads, kNeverReads };

class StreamListener {
public:
    StreamListener(int port, Reading reading = Reading::kReads);
    ~StreamListener();
    StreamListener(const StreamListener&) = delete;
    StreamListener& operator=(const StreamListener&) = delete;

    bool Connected() const { return connected_; }
    // The response so far: the head, then the chunks.
    std::string Received();
    // The complete data chunks ("$D") received so far; -1 when the framing is broken.
    int DataChunks();
    bool HeaderChunkReceived();
    // The head's status line, once received.
    std::string StatusLine();
    // The server closed the connection.
    bool Closed() const { return closed_; }
    // Closes this side.
    void Leave();

private:
    void Run();

    win::UniqueSocket socket_;
    bool connected_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closed_{false};
    std::mutex mutex_;
    std::string received_;
    std::thread thread_;
};

// One request on a new connection; everything the server answered until it closed or
// ms milliseconds passed without data.
std::string AskOnce(int port, const std::string& request, long ms = 5000);

// A free port on 127.0.0.1: bound once by the system, then released.
int FreeLoopbackPort();

}  // namespace ombrel::test
