#include "tests/common/StreamListener.h"

#include <winsock.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tests/common/AsfReader.h"
#include "tests/common/Loopback.h"
#include "tests/common/PcmPattern.h"
#include "tests/common/PlayRequest.h"
#include "tests/common/StreamChunks.h"

namespace ombrel::test {
namespace {

constexpr size_t kChunkHead = 4;          // '$', type, 16-bit length
constexpr size_t kFramingHead = 12;       // of header and data chunks
constexpr double kTimeTolerance = 2.0;    // ms: truncation to ms plus a resampler's frame

}  // namespace

double ThreadCpuSeconds(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
    auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (value(kernel) + value(user)) / 1e7;
}

StreamListener::StreamListener(int port, ListenMode mode) : port_(port), mode_(mode) {}

void StreamListener::Reset() {
    stop_ = false;
    closed_ = false;
    headerSeen_ = false;
    finished_ = false;
    bytes_ = 0;
    latestMs_ = 0;
    verifiedMs_ = 0;
    cpuSeconds_ = 0;
    win::CsLock hold(lock_);
    report_ = ListenerReport();
    kept_.clear();
    buffer_.clear();
    consumed_ = 0;
    parsing_ = Parsing();
    object_.clear();
}

bool StreamListener::Start() {
    Stop();
    Reset();
    const bool parses = mode_ == ListenMode::kCount || mode_ == ListenMode::kVerify;
    if (chunk_.empty()) chunk_.resize(parses ? 256 * 1024 : 16384);
    // A listener that parses gets room to do so while the sink writes fast.
    win::UniqueSocket s = ConnectLoopback(port_, parses ? 512 * 1024 : 0);
    if (!s) return false;
    if (mode_ == ListenMode::kNeverRead) {
        // As little as the system allows between the sender and this listener.
        const int small = 1024;
        ::setsockopt(s.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
    }
    if (!SendText(s.get(), kPlayRequest)) return false;
    socket_ = std::move(s);
    if (mode_ == ListenMode::kNeverRead) return true;
    thread_.reset(::CreateThread(nullptr, 0, &StreamListener::ThreadMain, this, 0, nullptr));
    if (!thread_) {
        socket_.reset();
        return false;
    }
    return true;
}

std::string StreamListener::Received() const {
    win::CsLock hold(lock_);
    return kept_;
}

std::string StreamListener::StatusLine() const {
    const std::string text = Received();
    const size_t end = text.find("\r\n");
    return end == std::string::npos ? std::string() : text.substr(0, end);
}

bool StreamListener::HeaderChunkReceived() const {
    const std::string text = Received();
    const size_t body = text.find("\r\n\r\n");
    return body != std::string::npos && text.compare(body + 4, 2, "$H") == 0;
}

int StreamListener::DataChunks() const {
    const std::string text = Received();
    if (text.find("\r\n\r\n") == std::string::npos) return 0;
    return CountDataChunks(BodyOf(text));
}

bool StreamListener::WaitForHeader(DWORD ms) const {
    const DWORD start = ::GetTickCount();
    while (!headerSeen_ && !finished_) {
        if (::GetTickCount() - start >= ms) return false;
        ::Sleep(5);
    }
    return headerSeen_;
}

bool StreamListener::WaitForFinish(DWORD ms) const {
    const DWORD start = ::GetTickCount();
    while (!finished_) {
        if (::GetTickCount() - start >= ms) return false;
        ::Sleep(5);
    }
    return true;
}

void StreamListener::Stop() {
    stop_ = true;
    if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
    socket_.reset();
}

ListenerReport StreamListener::Report() const {
    win::CsLock hold(lock_);
    ListenerReport copy = report_;
    copy.bytes = bytes_;
    return copy;
}

DWORD WINAPI StreamListener::ThreadMain(void* self) {
    static_cast<StreamListener*>(self)->Run();
    return 0;
}

void StreamListener::Run() {
    const SOCKET s = socket_.get();
    bool open = true;
    while (open && !stop_) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval wait = {0, 20 * 1000};
        const int ready = ::select(0, &readable, nullptr, nullptr, &wait);
        if (ready == 0) continue;
        const int got = ready > 0 ? ::recv(s, chunk_.data(), static_cast<int>(chunk_.size()), 0) : -1;
        win::CsLock hold(lock_);
        if (got <= 0) {
            closed_ = true;
            if (!report_.ended) report_.closedEarly = true;
            break;
        }
        bytes_ += static_cast<uint64_t>(got);
        open = Take(chunk_.data(), static_cast<size_t>(got));
    }
    // Taken here: the system forgets a thread's times once it has ended.
    cpuSeconds_ = ThreadCpuSeconds(::GetCurrentThread());
    finished_ = true;
}

bool StreamListener::Take(const char* data, size_t size) {
    if (mode_ == ListenMode::kKeep) {
        kept_.append(data, size);
        return true;
    }
    if (report_.ended) {
        // The end chunk must be the last: the sink closes right after it.
        report_.afterEnd += size;
        return true;
    }
    buffer_.insert(buffer_.end(), data, data + size);
    const bool open = Parse();
    // Keep the unread tail only.
    if (consumed_ > 0 && (consumed_ == buffer_.size() || consumed_ > 1024 * 1024)) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + consumed_);
        consumed_ = 0;
    }
    return open;
}

void StreamListener::Fail(uint64_t* counter, const std::string& what) {
    ++*counter;
    if (report_.firstError.empty()) report_.firstError = what;
}

bool StreamListener::Parse() {
    if (!parsing_.headDone) {
        static const char kBlankLine[] = "\r\n\r\n";
        const auto blank = std::search(buffer_.begin(), buffer_.end(), kBlankLine, kBlankLine + 4);
        if (blank == buffer_.end()) return buffer_.size() < 16384;
        const size_t end = static_cast<size_t>(blank - buffer_.begin());
        const auto lineEnd = std::search(buffer_.begin(), blank + 2, kBlankLine, kBlankLine + 2);
        const std::string status(buffer_.begin(), lineEnd);
        if (status.compare(0, 12, "HTTP/1.0 200") != 0 && status.compare(0, 12, "HTTP/1.1 200") != 0) {
            Fail(&report_.parseErrors, "refused: " + status);
            return false;
        }
        parsing_.headDone = true;
        consumed_ = end + 4;
    }
    for (;;) {
        const size_t available = buffer_.size() - consumed_;
        if (available < kChunkHead) return true;
        const BYTE* p = buffer_.data() + consumed_;
        if (p[0] != '$') {
            Fail(&report_.parseErrors, "framing lost");
            return false;
        }
        const size_t total = kChunkHead + asf::ReadU16(p + 2);
        if (available < total) return true;
        consumed_ += total;
        if (p[1] == 'E') {
            report_.ended = true;
            report_.afterEnd += buffer_.size() - consumed_;
            return true;
        }
        if (total < kFramingHead) {
            Fail(&report_.parseErrors, "short chunk");
            return false;
        }
        const uint32_t location = asf::ReadU32(p + 4);
        if (p[1] == 'H') {
            if (!OnHeaderChunk(p + kFramingHead, total - kFramingHead)) return false;
        } else if (p[1] == 'D') {
            OnDataChunk(location, p + kFramingHead, total - kFramingHead);
        }
    }
}

bool StreamListener::OnHeaderChunk(const BYTE* data, size_t size) {
    const ParsedHeader header =
        ParseHeader(std::vector<BYTE>(data, data + size));
    if (!header.ok) {
        Fail(&report_.parseErrors, "header: " + header.error);
        return false;
    }
    DWORD bytesPerSecond = 0;
    for (const auto& object : header.objects) {
        if (object.id == asf::kFilePropertiesObject && object.body.size() >= 80) {
            parsing_.preroll = static_cast<uint32_t>(asf::ReadU64(&object.body[56]));
            parsing_.packetSize = asf::ReadU32(&object.body[68]);
        } else if (object.id == asf::kStreamPropertiesObject && object.body.size() >= 54 + 16 &&
                   asf::ReadGuid(object.body.data()) == asf::kAudioMedia) {
            parsing_.audioStream = object.body[48] & 0x7F;
            WAVEFORMATEX wave{};
            std::memcpy(&wave, &object.body[54], 16);
            report_.sampleRate = wave.nSamplesPerSec;
            parsing_.blockAlign = wave.nBlockAlign;
            bytesPerSecond = wave.nAvgBytesPerSec;
            if (mode_ == ListenMode::kVerify && (wave.wBitsPerSample != 16 || wave.nChannels != 2)) {
                Fail(&report_.parseErrors, "the stream's audio is not 16-bit stereo");
                return false;
            }
        }
    }
    if (parsing_.audioStream < 0 || report_.sampleRate == 0) {
        Fail(&report_.parseErrors, "no audio stream in the header");
        return false;
    }
    if (bytesPerSecond) report_.packetMs = parsing_.packetSize * 1000.0 / bytesPerSecond;
    report_.connected = true;
    headerSeen_ = true;
    return true;
}

void StreamListener::OnDataChunk(uint32_t location, const BYTE* data, size_t size) {
    ++report_.packets;
    if (parsing_.haveLocation && location != parsing_.lastLocation + 1) ++report_.locationGaps;
    parsing_.haveLocation = true;
    parsing_.lastLocation = location;
    if (size >= 11) latestMs_ = asf::ReadU32(data + 7);
    if (mode_ != ListenMode::kVerify) return;
    const ParsedPacket packet =
        ParsePacket(std::vector<BYTE>(data, data + size));
    if (!packet.ok) {
        Fail(&report_.parseErrors, "packet: " + packet.error);
        return;
    }
    for (const auto& payload : packet.payloads) {
        if (payload.stream != parsing_.audioStream) continue;
        OnAudioPayload(payload.objectNumber, payload.offset, payload.objectSize, payload.time, payload.data.data(),
                       payload.data.size());
    }
}

void StreamListener::OnAudioPayload(uint8_t number, uint32_t offset, uint32_t objectSize, uint32_t time,
                                    const BYTE* data, size_t size) {
    if (offset == 0) {
        if (parsing_.inObject)
            Fail(&report_.fragmentErrors, "object " + std::to_string(parsing_.objectNumber) + " cut short");
        if (parsing_.haveNumber && number != static_cast<uint8_t>(parsing_.objectNumber + 1))
            Fail(&report_.fragmentErrors, "object " + std::to_string(number) + " after object " +
                                              std::to_string(parsing_.objectNumber));
        parsing_.synced = true;
        parsing_.inObject = true;
        parsing_.haveNumber = true;
        parsing_.objectNumber = number;
        parsing_.objectSize = objectSize;
        parsing_.objectTime = time;
        object_.clear();
    } else if (!parsing_.synced) {
        return;  // joined in the middle of an object
    } else if (!parsing_.inObject || number != parsing_.objectNumber || offset != object_.size() ||
               objectSize != parsing_.objectSize) {
        Fail(&report_.fragmentErrors, "payload of object " + std::to_string(number) + " at offset " +
                                          std::to_string(offset) + " out of turn");
        parsing_.inObject = false;
        return;
    }
    object_.insert(object_.end(), data, data + size);
    if (object_.size() > parsing_.objectSize) {
        Fail(&report_.fragmentErrors, "object " + std::to_string(number) + " longer than announced");
        parsing_.inObject = false;
    } else if (object_.size() == parsing_.objectSize) {
        parsing_.inObject = false;
        OnAudioObject();
    }
}

void StreamListener::OnAudioObject() {
    if (parsing_.blockAlign <= 0 || object_.size() % parsing_.blockAlign != 0) {
        Fail(&report_.fragmentErrors, "object of a partial frame");
        return;
    }
    const uint64_t frames = object_.size() / parsing_.blockAlign;
    const uint32_t timeMs = parsing_.objectTime >= parsing_.preroll ? parsing_.objectTime - parsing_.preroll : 0;
    const double rate = report_.sampleRate;
    if (report_.objects == 0) {
        report_.firstTimeMs = timeMs;
    } else {
        const double expected = report_.firstTimeMs + report_.frames * 1000.0 / rate;
        const double deviation = timeMs - expected;
        if (std::fabs(deviation) > std::fabs(report_.maxTimeDeviationMs)) report_.maxTimeDeviationMs = deviation;
        if (std::fabs(deviation) > kTimeTolerance)
            Fail(&report_.timeErrors, "object at " + std::to_string(timeMs) + " ms where the frames before it end at " +
                                          std::to_string(expected) + " ms");
    }
    for (uint64_t f = 0; f < frames; ++f) {
        const BYTE* p = object_.data() + f * parsing_.blockAlign;
        const int left = static_cast<int16_t>(asf::ReadU16(p));
        const int right = static_cast<int16_t>(asf::ReadU16(p + 2));
        if (parsing_.havePrevious) {
            const int step = std::max(std::abs(left - parsing_.previousLeft), std::abs(right - parsing_.previousRight));
            if (step > report_.maxStep) report_.maxStep = step;
            if (step > kMaxStep)
                Fail(&report_.stepErrors, "a step of " + std::to_string(step) + " at " +
                                              std::to_string(timeMs + f * 1000.0 / rate) + " ms");
        }
        parsing_.havePrevious = true;
        parsing_.previousLeft = left;
        parsing_.previousRight = right;
    }
    report_.frames += frames;
    ++report_.objects;
    report_.endTimeMs = report_.firstTimeMs + report_.frames * 1000.0 / rate;
    verifiedMs_ = static_cast<uint32_t>(report_.endTimeMs);
}

}  // namespace ombrel::test
