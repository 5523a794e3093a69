// ReadResponseHead over real loopback connections, each receive cut to a random size: a head
// gives the same status line and header fields however it is split (zero bytes aside, which
// end what is taken of their own receive, as the model below does per receive); the reader
// takes at most its bound; the header map's order is a strict weak order on names.
#include <winsock.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "peercast/ResponseHead.h"
#include "peercast/TcpConnection.h"
#include "tools/fuzz/CodePageText.h"
#include "tools/fuzz/LoopbackPeer.h"
#include "tools/fuzz/Targets.h"
#include "win/UniqueSocket.h"

namespace ombrel::test::fuzz {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

LoopbackPeer g_loopback;

// A real connection whose receives ask for no more than the plan's next size.
class ChunkedConnection : public TcpConnection {
public:
    explicit ChunkedConnection(std::vector<int> plan) : plan_(std::move(plan)) {}

    int Receive(char* buffer, int size) noexcept override {
        const int want = std::min(size, plan_[next_++ % plan_.size()]);
        const int got = TcpConnection::Receive(buffer, want);
        if (got > 0) received.push_back(got);
        return got;
    }

    std::vector<int> received;  // the size of every successful receive

private:
    std::vector<int> plan_;
    size_t next_ = 0;
};

// ---- The model ------------------------------------------------------------------------------

std::string LowerName(const CodePage& page, const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(name[i]);
        if (page.IsLead(b)) {
            out += name.substr(i, 2);  // the trail byte stays as it is, letter or not
            ++i;
        } else if (b >= 'A' && b <= 'Z') {
            out += static_cast<char>(b - 'A' + 'a');
        } else if (b >= 0x80) {
            WCHAR wide[2] = {};
            char back[4] = {};
            BOOL lossy = FALSE;
            if (::MultiByteToWideChar(page.id, MB_ERR_INVALID_CHARS, name.data() + i, 1, wide, 1) == 1) {
                ::CharLowerBuffW(wide, 1);
                if (::WideCharToMultiByte(page.id, 0, wide, 1, back, sizeof back, nullptr, &lossy) == 1 && !lossy) {
                    out += back[0];
                    continue;
                }
            }
            out += static_cast<char>(b);
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string TrimSpaces(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return s.substr(b, e - b);
}

struct Head {
    int result = 0;
    std::string status;
    Fields fields;        // first of a name wins, in arrival order
    size_t endRaw = 0;    // bytes received up to the receive that held the empty line
};

// Receives in the given sizes; a zero byte ends what is taken of its own receive.
Head ModelHead(const CodePage& page, const std::string& stream, const std::vector<int>& chunks) {
    Head head;
    std::string text;
    size_t scan = 0, raw = 0;
    for (int size : chunks) {
        const std::string chunk = stream.substr(raw, static_cast<size_t>(size));
        raw += chunk.size();
        text += chunk.substr(0, chunk.find('\0'));
        for (size_t feed; (feed = text.find('\n', scan)) != std::string::npos;) {
            std::string line = text.substr(scan, feed - scan);
            while (!line.empty() && line.back() == '\r') line.pop_back();
            const bool first = scan == 0;
            scan = feed + 1;
            if (first) {
                head.status = line;
            } else if (line.empty()) {
                head.result = 1;
                head.endRaw = raw;
                return head;
            } else if (line.find(':') != std::string::npos) {
                const size_t colon = line.find(':');
                const std::string name = LowerName(page, TrimSpaces(line.substr(0, colon)));
                const bool known = std::any_of(head.fields.begin(), head.fields.end(),
                                               [&](const auto& f) { return f.first == name; });
                // Old PeerCast builds double the colon: the value begins after the run of colons.
                const size_t valueAt = line.find_first_not_of(':', colon);
                if (!known)
                    head.fields.emplace_back(name, valueAt == std::string::npos ? std::string()
                                                                                : TrimSpaces(line.substr(valueAt)));
            }
        }
    }
    head.endRaw = raw;
    return head;
}

Fields Sorted(Fields fields) {
    std::sort(fields.begin(), fields.end());
    return fields;
}

std::string Show(const Fields& fields) {
    std::string out = "{";
    for (const auto& f : fields) out += (out.size() > 1 ? ", " : "") + Quote(f.first, 40) + ": " + Quote(f.second, 40);
    return out + "}";
}

// ---- Generation -----------------------------------------------------------------------------

std::string HeaderName(Random& random) {
    const char* const names[] = {"Content-Type", "Server", "SERVER", "server", "X-\x82\x60",  // full-width A
                                 "\x83\x41\x83\x43", "\xC0\xC9", "Content-Length", "X-Y", "A", ""};
    if (random.OneIn(4)) return RandomText(random, ActiveCodePage(), 12, "AZaz-");
    return random.Pick(names);
}

std::string LineEnd(Random& random) {
    const char* const ends[] = {"\r\n", "\r\n", "\n", "\r\r\n"};
    return random.Pick(ends);
}

Case Generate(Random& random) {
    const CodePage& page = ActiveCodePage();
    const char* const statuses[] = {"HTTP/1.0 200 OK", "HTTP/1.1 404 Not Found", "ICY 200 OK", ""};
    std::string stream = random.OneIn(4) ? RandomText(random, page, 30, " /.HTTP") : random.Pick(statuses);
    stream.erase(std::remove(stream.begin(), stream.end(), '\n'), stream.end());
    stream += LineEnd(random);
    for (int n = static_cast<int>(random.Length(14)); n > 0; --n) {
        std::string line;
        if (random.OneIn(8)) line += random.OneIn(2) ? " " : "\t";
        line += HeaderName(random);
        const char* const separators[] = {":", ": ", " : ", ":  ", "", "::"};
        line += random.Pick(separators);
        line += RandomText(random, page, 40, " :\t\r");
        if (random.OneIn(6)) line += "  ";
        line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
        if (!line.empty()) stream += line + LineEnd(random);
    }
    if (random.OneIn(20)) {
        // A head whose end lands near the reader's bound.
        const size_t want = kMaxResponseHeadBytes - 8192 + random.Below(16384);
        if (want > stream.size() + 16) stream += "X-Pad: " + std::string(want - stream.size() - 9, 'p') + "\r\n";
    }
    if (!random.OneIn(6)) stream += LineEnd(random);  // else the peer closes without the empty line
    if (random.OneIn(3)) stream += RandomText(random, page, 80, "\r\n:");
    if (random.OneIn(8)) {
        for (int n = random.Between(1, 3); n > 0; --n)
            stream.insert(random.Below(static_cast<uint32_t>(stream.size() + 1)), 1, '\0');
    }

    Case c;
    c.texts.push_back(stream);
    // Receive sizes of a random scale, the smallest ones often: a line end split between two
    // receives is what matters, and each receive costs a round trip through the system, so a
    // case takes at most about sixty of them.
    const int scales[] = {1, 3, 16, 512, 4096};
    const int scale = random.Pick(scales);
    const int floor = static_cast<int>(stream.size() / 60) + 1;
    for (int n = random.Between(1, 24); n > 0; --n) {
        c.numbers.push_back(random.OneIn(3) ? floor : std::max(floor, random.Between(1, scale)));
    }
    return c;
}

// ---- Properties -----------------------------------------------------------------------------

// The map's order on names: irreflexive, asymmetric, transitive, and equal only for equal bytes.
Verdict CheckOrder(const std::vector<std::string>& names) {
    const MultibyteLess less;
    const size_t n = std::min<size_t>(names.size(), 10);
    for (size_t i = 0; i < n; ++i) {
        if (less(names[i], names[i])) return Broken("order", Quote(names[i]) + " before itself");
        for (size_t j = 0; j < n; ++j) {
            const bool ij = less(names[i], names[j]), ji = less(names[j], names[i]);
            if (ij && ji) return Broken("order", Quote(names[i]) + " and " + Quote(names[j]) + " each before the other");
            if (!ij && !ji && names[i] != names[j])
                return Broken("order", Quote(names[i]) + " and " + Quote(names[j]) + " taken for one name");
            for (size_t k = 0; k < n; ++k) {
                if (ij && less(names[j], names[k]) && !less(names[i], names[k]))
                    return Broken("order", "not transitive over " + Quote(names[i]) + ", " + Quote(names[j]) + ", " +
                                               Quote(names[k]));
            }
        }
    }
    return Holds();
}

Verdict Check(const Case& c) {
    const CodePage& page = ActiveCodePage();
    const std::string& stream = c.texts[0];
    std::vector<int> plan;
    for (long long n : c.numbers) plan.push_back(static_cast<int>(std::clamp<long long>(n, 1, kResponseChunkSize)));
    if (plan.empty()) plan.push_back(kResponseChunkSize);

    ChunkedConnection connection(plan);
    connection.useTimeout = 1;
    connection.timeout = {5, 0};
    if (connection.Connect("127.0.0.1", g_loopback.port()) != 0) return Broken("harness", "no loopback connection");
    win::UniqueSocket peer = g_loopback.Accept();
    if (!peer) return Broken("harness", "the connection was not accepted");
    g_loopback.SendAndClose(std::move(peer), stream);
    std::string status;
    HttpHeaderMap headers;
    const int result = ReadResponseHead(connection, status, headers);
    connection.Close();
    if (!g_loopback.WaitSent()) return Broken("harness", "the sender did not finish");

    size_t taken = 0;
    for (int n : connection.received) taken += static_cast<size_t>(n);
    if (taken >= kMaxResponseHeadBytes + kResponseChunkSize)
        return Broken("bounded", "took " + std::to_string(taken) + " bytes");

    // What the reader got, then the rest of the stream in one piece (which it may not have read).
    std::vector<int> chunks = connection.received;
    if (taken < stream.size()) chunks.push_back(static_cast<int>(stream.size() - taken));
    const Head model = ModelHead(page, stream, chunks);
    Fields got(headers.begin(), headers.end());

    std::vector<std::string> names;
    for (const auto& f : model.fields) names.push_back(f.first);
    const Verdict order = CheckOrder(names);
    if (order.failed()) return order;

    const bool withinBound = model.result == 1 ? model.endRaw <= kMaxResponseHeadBytes
                                               : stream.size() <= kMaxResponseHeadBytes;
    const std::string property = stream.find('\0') == std::string::npos ? "chunking invariance" : "per-receive model";
    if (withinBound || result == 1) {
        if (result != model.result || status != model.status || Sorted(got) != Sorted(model.fields)) {
            return Broken(property, "gave " + std::to_string(result) + ", " + Quote(status, 80) + ", " + Show(got) +
                                        "; expected " + std::to_string(model.result) + ", " + Quote(model.status, 80) +
                                        ", " + Show(Sorted(model.fields)));
        }
        return Holds();
    }
    // Given up at the bound: what was parsed is a start of the full head.
    if (!status.empty() && status != model.status) return Broken("given up", "status line " + Quote(status, 80));
    for (const auto& f : got) {
        if (std::find(model.fields.begin(), model.fields.end(), f) == model.fields.end())
            return Broken("given up", "a field the head does not have: " + Quote(f.first, 40));
    }
    return Holds();
}

bool SetUp() {
    if (g_loopback.Open()) return true;
    std::printf("ResponseHead: no loopback listener (error %d)\n", ::WSAGetLastError());
    g_loopback.Close();
    return false;
}

}  // namespace

Target ResponseHeadTarget() {
    Target t;
    t.name = "ResponseHead";
    t.textNames = {"response"};
    t.numbersName = "receive sizes";
    t.generate = Generate;
    t.check = Check;
    t.setUp = SetUp;
    t.tearDown = [] { g_loopback.Close(); };
    return t;
}

}  // namespace ombrel::test::fuzz
