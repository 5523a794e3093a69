// TcpConnection against real loopback sockets and Wine's Winsock.
#include <winsock.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "peercast/BoundedConnection.h"
#include "peercast/TcpConnection.h"
#include "tests/common/Loopback.h"
#include "tests/common/Stopwatch.h"

namespace ombrel::test {
namespace {

// A connection from TcpConnection to a listener of the test, with the server side accepted.
class TcpConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(listener_.ok()) << "WSAGetLastError " << WSAGetLastError();
    }

    // Connects connection_ (with the given wait bound, if any) and accepts its server side.
    void ConnectPair(long timeoutMs = -1) {
        if (timeoutMs >= 0) {
            connection_.useTimeout = 1;
            connection_.timeout = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        }
        ASSERT_EQ(connection_.Connect("127.0.0.1", listener_.port()), 0);
        server_ = listener_.Accept();
        ASSERT_TRUE(server_) << "no connection arrived";
    }

    LoopbackListener listener_;
    TcpConnection connection_;
    win::UniqueSocket server_;
};

// ---- Connect ----

TEST_F(TcpConnectionTest, DefaultsHoldNoSocketAndA30SecondBound) {
    TcpConnection fresh;
    EXPECT_EQ(fresh.ownsSocket, 0);
    EXPECT_EQ(fresh.useTimeout, 0);
    EXPECT_EQ(fresh.socket, INVALID_SOCKET);
    EXPECT_EQ(fresh.timeout.tv_sec, 30);
    EXPECT_EQ(fresh.timeout.tv_usec, 0);
}

TEST_F(TcpConnectionTest, BadConnectArgumentsGiveMinusTwoAndNoSocket) {
    struct Row {
        const char* host;
        int port;
    };
    const Row rows[] = {
        {nullptr, 80},             // no host
        {"127.0.0.1", -1},         // just below the port range
        {"127.0.0.1", 65536},      // just above it
        {"127.0.0.1", INT_MIN},    // far below
        {"127.0.0.1", INT_MAX},    // far above
    };
    for (const Row& row : rows) {
        TcpConnection connection;
        EXPECT_EQ(connection.Connect(row.host, row.port), -2)
            << (row.host ? row.host : "(null)") << ":" << row.port;
        EXPECT_EQ(connection.socket, INVALID_SOCKET) << "port " << row.port;
        EXPECT_EQ(connection.ownsSocket, 0) << "port " << row.port;
    }
}

TEST_F(TcpConnectionTest, RefusedConnectGivesMinusOneAtOnceAndLeavesNoSocket) {
    struct Row {
        int port;
        int useTimeout;
    };
    const int refusing = FreeLoopbackPort();
    const Row rows[] = {
        {refusing, 0},  // a port just released by the system, plain connect
        {refusing, 1},  // the same, connect bounded by the wait
        {0, 0},         // a valid argument, but nothing can listen there
        {0, 1},
    };
    for (const Row& row : rows) {
        TcpConnection connection;
        connection.useTimeout = row.useTimeout;
        connection.timeout = {5, 0};
        Stopwatch watch;
        EXPECT_EQ(connection.Connect("127.0.0.1", row.port), -1) << "port " << row.port << " bounded " << row.useTimeout;
        EXPECT_LT(watch.ms(), 4000u) << "port " << row.port << " bounded " << row.useTimeout;
        EXPECT_EQ(connection.socket, INVALID_SOCKET) << "port " << row.port;
        EXPECT_EQ(connection.ownsSocket, 0) << "port " << row.port;
    }
}

TEST_F(TcpConnectionTest, ConnectOwnsTheSocketAndBytesArrive) {
    ConnectPair();
    EXPECT_NE(connection_.socket, INVALID_SOCKET);
    EXPECT_EQ(connection_.ownsSocket, 1);
    EXPECT_EQ(connection_.SendStringAll("hello"), 5);
    connection_.Close();
    EXPECT_EQ(connection_.socket, INVALID_SOCKET);
    EXPECT_EQ(ReceiveUntilClosed(server_.get()), "hello");
}

TEST_F(TcpConnectionTest, ConnectAgainAfterCloseWorks) {
    ConnectPair();
    connection_.Close();
    EXPECT_TRUE(PeerClosed(server_.get())) << "the first connection stayed open";
    ASSERT_EQ(connection_.Connect("127.0.0.1", listener_.port()), 0);
    win::UniqueSocket second = listener_.Accept();
    ASSERT_TRUE(second);
    EXPECT_EQ(connection_.SendStringAll("again"), 5);
    connection_.Close();
    EXPECT_EQ(ReceiveUntilClosed(second.get()), "again");
}

// Connecting an object that still owns a socket closes that socket instead of leaking it.
TEST_F(TcpConnectionTest, ConnectOverAnOwnedSocketClosesIt) {
    ConnectPair();
    ASSERT_EQ(connection_.Connect("127.0.0.1", listener_.port()), 0);
    win::UniqueSocket second = listener_.Accept();
    ASSERT_TRUE(second);
    EXPECT_TRUE(PeerClosed(server_.get())) << "the socket owned before is still open";
    EXPECT_FALSE(PeerClosed(second.get(), 100)) << "the new socket is closed";
}

// A lent socket is not ours to close: connecting again only forgets it.
TEST_F(TcpConnectionTest, ConnectOverALentSocketLeavesItOpen) {
    ConnectPair();
    win::UniqueSocket lent(connection_.Detach());
    TcpConnection borrower;
    borrower.Attach(lent.get(), 0);
    ASSERT_EQ(borrower.Connect("127.0.0.1", listener_.port()), 0);
    win::UniqueSocket second = listener_.Accept();
    ASSERT_TRUE(second);
    EXPECT_NE(borrower.socket, lent.get());
    EXPECT_FALSE(PeerClosed(server_.get(), 100)) << "the lent socket was closed";
    EXPECT_TRUE(SendText(lent.get(), "still mine"));
    lent.reset();
    EXPECT_EQ(ReceiveUntilClosed(server_.get()), "still mine");
}

// A node that has stopped accepting: once its backlog is full, the system holds further
// connection attempts without an answer.
TEST_F(TcpConnectionTest, ConnectToAFullBacklogEndsAtTheBound) {
    LoopbackListener stuck(1);
    ASSERT_TRUE(stuck.ok());
    std::vector<std::unique_ptr<TcpConnection>> queued;
    int result = 0;
    DWORD lastMs = 0;
    for (int i = 0; i < 8 && result == 0; ++i) {
        auto connection = std::make_unique<TcpConnection>();
        connection->useTimeout = 1;
        connection->timeout = {1, 0};
        Stopwatch watch;
        result = connection->Connect("127.0.0.1", stuck.port());
        lastMs = watch.ms();
        queued.push_back(std::move(connection));
    }
    EXPECT_EQ(result, -3) << "after " << queued.size() << " attempts";
    EXPECT_LT(lastMs, 8000u);
    EXPECT_EQ(queued.back()->socket, INVALID_SOCKET);
}

// ---- Receive and its bounded wait ----

TEST_F(TcpConnectionTest, ReceiveAfterPeerCloseIsMinusOne) {
    const long rows[] = {
        -1,    // plain blocking receive
        2000,  // select-bounded receive
    };
    for (long bound : rows) {
        TcpConnection connection;
        if (bound >= 0) {
            connection.useTimeout = 1;
            connection.timeout = {bound / 1000, 0};
        }
        ASSERT_EQ(connection.Connect("127.0.0.1", listener_.port()), 0);
        win::UniqueSocket server = listener_.Accept();
        ASSERT_TRUE(server);
        server.reset();
        char buffer[16];
        EXPECT_EQ(connection.Receive(buffer, sizeof buffer), -1) << "bound " << bound;
    }
}

TEST_F(TcpConnectionTest, ReceiveTakesWhatIsThereUpToSize) {
    ConnectPair(2000);
    ASSERT_TRUE(SendText(server_.get(), "abcdef"));
    char buffer[4] = {};
    EXPECT_EQ(connection_.Receive(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(connection_.Receive(buffer, 4), 2);
    EXPECT_EQ(std::string(buffer, 2), "ef");
}

TEST_F(TcpConnectionTest, ReceiveFromSilentPeerTimesOutWithMinusThree) {
    ConnectPair(300);
    char buffer[16];
    Stopwatch watch;
    EXPECT_EQ(connection_.Receive(buffer, sizeof buffer), -3);
    EXPECT_GE(watch.ms(), 200u) << "returned before the bound";
    EXPECT_LT(watch.ms(), 5000u);
}

TEST_F(TcpConnectionTest, ReceiveAllGathersSeveralSends) {
    ConnectPair(2000);
    ASSERT_TRUE(SendText(server_.get(), "hel"));
    ::Sleep(20);
    ASSERT_TRUE(SendText(server_.get(), "lo wo"));
    ::Sleep(20);
    ASSERT_TRUE(SendText(server_.get(), "rld!!"));
    char buffer[11] = {};
    EXPECT_EQ(connection_.ReceiveAll(buffer, 11), 11);
    EXPECT_EQ(std::string(buffer, 11), "hello world");
    char rest[2] = {};
    EXPECT_EQ(connection_.Receive(rest, 2), 2) << "ReceiveAll took more than asked";
}

TEST_F(TcpConnectionTest, ReceiveAllEndsEarlyOnCloseOrTimeOut) {
    ConnectPair(300);
    ASSERT_TRUE(SendText(server_.get(), "abc"));
    char buffer[8];
    Stopwatch watch;
    EXPECT_EQ(connection_.ReceiveAll(buffer, 8), -3) << "three of eight bytes, then silence";
    EXPECT_LT(watch.ms(), 5000u);
    ASSERT_TRUE(SendText(server_.get(), "de"));
    server_.reset();
    EXPECT_EQ(connection_.ReceiveAll(buffer, 8), -1) << "two bytes, then the peer closed";
}

// ---- ReceiveLine ----

TEST_F(TcpConnectionTest, ReceiveLineCases) {
    struct Row {
        const char* input;
        int size;
        std::vector<int> results;          // successive ReceiveLine results
        std::vector<std::string> lines;    // and the text of each
    };
    const std::vector<Row> rows = {
        {"abc\r\n", 64, {3}, {"abc"}},                    // CR LF dropped
        {"\n", 64, {0}, {""}},                            // LF alone: the empty line
        {"\r\r\n", 64, {1}, {"\r"}},                      // only one CR dropped
        {"abcdef\n", 4, {3, 3, 0}, {"abc", "def", ""}},   // split at size - 1, then the LF
        {"abc\r\n", 4, {3, 0}, {"abc", ""}},              // full at abc; the CR goes with the LF
        {"ab\rcd\n", 64, {5}, {"ab\rcd"}},                // a CR inside the line stays
        {"x\ny\r\n", 64, {1, 1}, {"x", "y"}},             // two lines, one per call
    };
    for (const Row& row : rows) {
        TcpConnection connection;
        connection.useTimeout = 1;  // a fault shows as -3, not as a hang
        connection.timeout = {2, 0};
        ASSERT_EQ(connection.Connect("127.0.0.1", listener_.port()), 0);
        win::UniqueSocket server = listener_.Accept();
        ASSERT_TRUE(server);
        ASSERT_TRUE(SendText(server.get(), row.input));
        for (size_t i = 0; i < row.results.size(); ++i) {
            std::vector<char> buffer(row.size, '#');
            EXPECT_EQ(connection.ReceiveLine(buffer.data(), row.size), row.results[i])
                << "input \"" << row.input << "\" size " << row.size << " call " << i;
            EXPECT_EQ(std::string(buffer.data()), row.lines[i])
                << "input \"" << row.input << "\" size " << row.size << " call " << i;
        }
    }
}

TEST_F(TcpConnectionTest, ReceiveLineWithSizeOneReadsNothing) {
    ConnectPair(2000);
    ASSERT_TRUE(SendText(server_.get(), "x\n"));
    char buffer[1] = {'#'};
    EXPECT_EQ(connection_.ReceiveLine(buffer, 1), 0);
    EXPECT_EQ(buffer[0], '\0');
    char next[4] = {};
    EXPECT_EQ(connection_.ReceiveLine(next, 4), 1) << "the byte was consumed";
    EXPECT_STREQ(next, "x");
}

TEST_F(TcpConnectionTest, ReceiveLineEndsOnCloseAndTimeOutWithATerminatedBuffer) {
    ConnectPair(300);
    ASSERT_TRUE(SendText(server_.get(), "par"));
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    Stopwatch watch;
    EXPECT_EQ(connection_.ReceiveLine(buffer, sizeof buffer), -3) << "no line feed, then silence";
    EXPECT_LT(watch.ms(), 5000u);
    EXPECT_EQ(std::string(buffer, strnlen(buffer, sizeof buffer)), "par") << "the buffer is terminated";

    ASSERT_TRUE(SendText(server_.get(), "tial"));
    server_.reset();
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(connection_.ReceiveLine(buffer, sizeof buffer), -1) << "the peer closed mid-line";
    EXPECT_EQ(std::string(buffer, strnlen(buffer, sizeof buffer)), "tial");
}

// ---- Arguments of the transfers ----

TEST_F(TcpConnectionTest, BadTransferArgumentsGiveMinusTwo) {
    ConnectPair(300);
    char buffer[8];
    struct Row {
        const char* what;
        int result;
    };
    const Row rows[] = {
        {"Receive(null, 8)", connection_.Receive(nullptr, 8)},
        {"Receive(buffer, 0)", connection_.Receive(buffer, 0)},
        {"Receive(buffer, -1)", connection_.Receive(buffer, -1)},
        {"ReceiveAll(null, 8)", connection_.ReceiveAll(nullptr, 8)},
        {"ReceiveAll(buffer, 0)", connection_.ReceiveAll(buffer, 0)},
        {"ReceiveLine(null, 8)", connection_.ReceiveLine(nullptr, 8)},
        {"ReceiveLine(buffer, 0)", connection_.ReceiveLine(buffer, 0)},
        {"ReceiveLine(buffer, -5)", connection_.ReceiveLine(buffer, -5)},
        {"Send(null, 3)", connection_.Send(nullptr, 3)},
        {"Send(data, 0)", connection_.Send("abc", 0)},
        {"Send(data, -1)", connection_.Send("abc", -1)},
        {"SendAll(null, 3)", connection_.SendAll(nullptr, 3)},
        {"SendAll(data, 0)", connection_.SendAll("abc", 0)},
        {"SendString(null)", connection_.SendString(nullptr)},
        {"SendString(\"\")", connection_.SendString("")},          // length 0
        {"SendStringAll(null)", connection_.SendStringAll(nullptr)},
        {"SendStringAll(\"\")", connection_.SendStringAll("")},    // length 0
    };
    for (const Row& row : rows) EXPECT_EQ(row.result, -2) << row.what;
    connection_.Close();
    EXPECT_EQ(ReceiveUntilClosed(server_.get()), "") << "an argument error sent something";
}

TEST_F(TcpConnectionTest, SendsDeliverTheirBytesAndCount) {
    ConnectPair(2000);
    EXPECT_EQ(connection_.Send("ab", 2), 2);
    EXPECT_EQ(connection_.SendString("cde"), 3);
    EXPECT_EQ(connection_.SendAll("fghi", 3), 3);
    EXPECT_EQ(connection_.SendStringAll("jk\r\n"), 4);
    connection_.Close();
    EXPECT_EQ(ReceiveUntilClosed(server_.get()), "abcdefghjk\r\n");
}

// Both sides' buffers fill, then the wait for room outlasts the bound. The send itself must not
// block: a blocking send of more than fits returns only once the peer has read it all.
TEST_F(TcpConnectionTest, SendAllToAPeerThatNeverReadsTimesOutWithMinusThree) {
    ConnectPair(300);
    const std::string data(32 << 20, 'x');
    int result = 0;
    const bool ended = EndsWithin(
        15000, [&] { result = connection_.SendAll(data.data(), static_cast<int>(data.size())); },
        [&] { server_.reset(); });
    EXPECT_TRUE(ended) << "SendAll was still sending after 15 s";
    EXPECT_EQ(result, -3);
}

TEST_F(TcpConnectionTest, SendToAClosedPeerFails) {
    ConnectPair(2000);
    server_.reset();
    int result = 1;
    // The first sends may still be accepted locally; the peer's reset ends them.
    for (int i = 0; i < 50 && result > 0; ++i) {
        result = connection_.Send("data", 4);
        ::Sleep(10);
    }
    EXPECT_EQ(result, -1);
}

// ---- Ownership: Detach, Attach, Close ----

TEST_F(TcpConnectionTest, DetachedSocketOutlivesTheObject) {
    win::UniqueSocket taken;
    {
        TcpConnection connection;
        ASSERT_EQ(connection.Connect("127.0.0.1", listener_.port()), 0);
        server_ = listener_.Accept();
        ASSERT_TRUE(server_);
        const SOCKET held = connection.socket;
        taken.reset(connection.Detach());
        EXPECT_EQ(taken.get(), held);
        EXPECT_EQ(connection.socket, INVALID_SOCKET);
        EXPECT_EQ(connection.ownsSocket, 1) << "Detach leaves the flag";
        EXPECT_EQ(connection.Detach(), INVALID_SOCKET) << "nothing left to detach";
    }
    EXPECT_FALSE(PeerClosed(server_.get(), 100)) << "the destructor closed a detached socket";
    EXPECT_TRUE(SendText(taken.get(), "after"));
    taken.reset();
    EXPECT_EQ(ReceiveUntilClosed(server_.get()), "after");
}

TEST_F(TcpConnectionTest, AttachOwnershipDecidesWhatTheDestructorCloses) {
    struct Row {
        int owns;
        bool closedByDestructor;
    };
    const Row rows[] = {
        {0, false},  // lent: stays open
        {1, true},   // given: closed
    };
    for (const Row& row : rows) {
        TcpConnection dialer;
        ASSERT_EQ(dialer.Connect("127.0.0.1", listener_.port()), 0);
        win::UniqueSocket server = listener_.Accept();
        ASSERT_TRUE(server);
        win::UniqueSocket raw(dialer.Detach());
        {
            TcpConnection connection;
            connection.Attach(raw.get(), row.owns);
            EXPECT_EQ(connection.socket, raw.get());
            EXPECT_EQ(connection.ownsSocket, row.owns);
        }
        const bool closed = PeerClosed(server.get(), row.closedByDestructor ? 2000 : 100);
        EXPECT_EQ(closed, row.closedByDestructor) << "owns " << row.owns;
        if (row.closedByDestructor) {
            (void)raw.release();  // already closed by the object
        }
    }
}

// A socket attached over a held one lets that one go as the destructor would.
TEST_F(TcpConnectionTest, AttachOverAHeldSocketClosesItOnlyWhenOwned) {
    for (int owns : {1, 0}) {
        TcpConnection first;
        ASSERT_EQ(first.Connect("127.0.0.1", listener_.port()), 0);
        win::UniqueSocket firstServer = listener_.Accept();
        TcpConnection second;
        ASSERT_EQ(second.Connect("127.0.0.1", listener_.port()), 0);
        win::UniqueSocket secondServer = listener_.Accept();
        ASSERT_TRUE(firstServer && secondServer);
        win::UniqueSocket firstRaw(first.Detach());
        {
            TcpConnection connection;
            connection.Attach(firstRaw.get(), owns);
            connection.Attach(second.Detach(), 1);
            EXPECT_EQ(PeerClosed(firstServer.get(), owns ? 2000 : 100), owns == 1) << "owns " << owns;
            EXPECT_FALSE(PeerClosed(secondServer.get(), 100)) << "owns " << owns;
        }
        EXPECT_TRUE(PeerClosed(secondServer.get())) << "the attached socket outlived its owner";
        if (owns) (void)firstRaw.release();  // closed by the object
    }
}

TEST_F(TcpConnectionTest, CloseClosesALentSocketToo) {
    ConnectPair();
    win::UniqueSocket raw(connection_.Detach());
    TcpConnection connection;
    connection.Attach(raw.get(), 0);
    connection.Close();
    (void)raw.release();
    EXPECT_EQ(connection.socket, INVALID_SOCKET);
    EXPECT_TRUE(PeerClosed(server_.get())) << "Close left a lent socket open";
    connection.Close();  // holding nothing: no effect
    EXPECT_EQ(connection.socket, INVALID_SOCKET);
}

// ---- The virtual slots ----

// Counts what reaches the replaceable slots.
class CountingConnection : public TcpConnection {
public:
    int Send(const char* data, int length) noexcept override {
        ++sends;
        return TcpConnection::Send(data, length);
    }
    int SendAll(const char* data, int length) noexcept override {
        ++sendAlls;
        return TcpConnection::SendAll(data, length);
    }
    void Close() noexcept override {
        ++closes;
        TcpConnection::Close();
    }
    int sends = 0;
    int sendAlls = 0;
    int closes = 0;
};

TEST_F(TcpConnectionTest, StringSendsAndFailedConnectGoThroughTheVirtualSlots) {
    CountingConnection connection;
    EXPECT_EQ(connection.Connect("127.0.0.1", FreeLoopbackPort()), -1);
    EXPECT_EQ(connection.closes, 1) << "a failed connect closes through the slot";

    ASSERT_EQ(connection.Connect("127.0.0.1", listener_.port()), 0);
    server_ = listener_.Accept();
    ASSERT_TRUE(server_);
    EXPECT_EQ(connection.SendString("one"), 3);
    EXPECT_EQ(connection.sends, 1);
    EXPECT_EQ(connection.SendStringAll("two"), 3);
    EXPECT_EQ(connection.sendAlls, 1);
}

// ---- BoundedConnection: one deadline for every wait, and a stop from another thread ----

TEST_F(TcpConnectionTest, BoundedWaitsShareOneDeadline) {
    BoundedConnection connection(500, nullptr);
    ASSERT_EQ(connection.Connect("127.0.0.1", listener_.port()), 0);
    server_ = listener_.Accept();
    ASSERT_TRUE(server_);
    char buffer[8];
    Stopwatch watch;
    EXPECT_EQ(connection.Receive(buffer, sizeof buffer), -3) << "a silent peer";
    EXPECT_GE(watch.ms(), 400u);
    EXPECT_LT(watch.ms(), 5000u);
    // Past the deadline even a writable socket and a waiting byte end at once.
    ASSERT_TRUE(SendText(server_.get(), "x"));
    ::Sleep(50);
    Stopwatch after;
    EXPECT_EQ(connection.SendStringAll("late"), -3);
    EXPECT_EQ(connection.Receive(buffer, sizeof buffer), -3);
    EXPECT_LT(after.ms(), 100u);
}

// A receive from a silent peer and a send to one that never reads, stopped by another thread.
TEST_F(TcpConnectionTest, AStopEndsABoundedWaitAtOnce) {
    const std::string data(32 << 20, 'x');
    for (const bool sending : {false, true}) {
        std::atomic<LONG> stop{0};
        BoundedConnection connection(30000, &stop);
        ASSERT_EQ(connection.Connect("127.0.0.1", listener_.port()), 0);
        win::UniqueSocket server = listener_.Accept();
        ASSERT_TRUE(server);
        int result = 0;
        std::atomic<DWORD> stoppedAt{0};
        DWORD endedAt = 0;
        std::thread stopper([&] {
            ::Sleep(300);
            stoppedAt = ::GetTickCount();
            stop = 1;
        });
        const bool ended = EndsWithin(
            10000,
            [&] {
                char buffer[8];
                result = sending ? connection.SendAll(data.data(), static_cast<int>(data.size()))
                                 : connection.Receive(buffer, sizeof buffer);
                endedAt = ::GetTickCount();
            },
            [&] { server.reset(); });
        stopper.join();
        EXPECT_TRUE(ended) << (sending ? "send" : "receive") << " went on after the stop";
        EXPECT_EQ(result, -3) << (sending ? "send" : "receive");
        EXPECT_LT(endedAt - stoppedAt, 2000u) << (sending ? "send" : "receive");
    }
}

}  // namespace
}  // namespace ombrel::test
