#include "tests/plugin/StreamListener.h"

#include <vector>

namespace ombrel::test {
namespace {

win::UniqueSocket ConnectTo(int port) {
    win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    address.sin_port = ::htons(static_cast<u_short>(port));
    if (!s || ::connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return win::UniqueSocket();
    return s;
}

bool SendAll(SOCKET s, const std::string& text) {
    return ::send(s, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

bool Readable(SOCKET s, long ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval bound = {ms / 1000, (ms % 1000) * 1000};
    return ::select(0, &set, nullptr, nullptr, &bound) == 1;
}

}  // namespace

StreamListener::StreamListener(int port, Reading reading) {
    socket_ = ConnectTo(port);
    if (!socket_) return;
    if (reading == Reading::kNeverReads) {
        // As little as the system allows between the sender and this listener.
        const int small = 1024;
        ::setsockopt(socket_.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
    }
    connected_ = SendAll(socket_.get(), kPlayRequest);
    if (connected_ && reading == Reading::kReads) thread_ = std::thread([this] { Run(); });
}

StreamListener::~StreamListener() { Leave(); }

void StreamListener::Leave() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    socket_.reset();
}

void StreamListener::Run() {
    std::vector<char> chunk(16384);
    while (!stop_) {
        if (!Readable(socket_.get(), 20)) continue;
        const int got = ::recv(socket_.get(), chunk.data(), static_cast<int>(chunk.size()), 0);
        if (got <= 0) {
            closed_ = true;
            return;
        }
        std::lock_guard<std::mutex> hold(mutex_);
        received_.append(chunk.data(), static_cast<size_t>(got));
    }
}

std::string StreamListener::Received() {
    std::lock_guard<std::mutex> hold(mutex_);
    return received_;
}

std::string StreamListener::StatusLine() {
    const std::string text = Received();
    const size_t end = text.find("\r\n");
    return end == std::string::npos ? std::string() : text.substr(0, end);
}

bool StreamListener::HeaderChunkReceived() {
    const std::string text = Received();
    const size_t body = text.find("\r\n\r\n");
    return body != std::string::npos && text.compare(body + 4, 2, "$H") == 0;
}

int StreamListener::DataChunks() {
    const std::string text = Received();
    size_t at = text.find("\r\n\r\n");
    if (at == std::string::npos) return 0;
    at += 4;
    int data = 0;
    // Each chunk: '$', its type, a 16-bit little-endian length, then that many bytes.
    while (text.size() - at >= 4) {
        if (text[at] != '$') return -1;
        const size_t length = static_cast<unsigned char>(text[at + 2]) |
                              (static_cast<size_t>(static_cast<unsigned char>(text[at + 3])) << 8);
        if (text.size() - at - 4 < length) break;
        if (text[at + 1] == 'D') ++data;
        at += 4 + length;
    }
    return data;
}

std::string AskOnce(int port, const std::string& request, long ms) {
    win::UniqueSocket s = ConnectTo(port);
    if (!s || !SendAll(s.get(), request)) return std::string();
    std::string answer;
    char chunk[4096];
    while (Readable(s.get(), ms)) {
        const int got = ::recv(s.get(), chunk, sizeof chunk, 0);
        if (got <= 0) break;
        answer.append(chunk, static_cast<size_t>(got));
    }
    return answer;
}

int FreeLoopbackPort() {
    win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    if (!s || ::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 0;
    int length = sizeof address;
    ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return ::ntohs(address.sin_port);
}

}  // namespace ombrel::test
