// The runtime stand-in's request parser, fed as its network sink feeds it (everything received
// so far, after every read): once a prefix of a byte stream is answered, every longer prefix
// gets the same answer, so how TCP splits the bytes never matters; a head that cannot end
// within the bound is refused; requests inside the strict HTTP grammar written out here get
// the answer that grammar gives.
#include <string>
#include <vector>

#include "standin/wmvcore/HttpRequest.h"
#include "tests/common/RequestParseName.h"
#include "tools/fuzz/CodePageText.h"
#include "tools/fuzz/Targets.h"

namespace ombrel::test::fuzz {
namespace {

using wmstandin::kMaxRequestHead;
using wmstandin::ParseRequest;
using wmstandin::RequestParse;

// ---- The strict model ----------------------------------------------------------------------

enum class Expect { kIncomplete, kDescribe, kPlay, kBad, kUnknown };

RequestParse ToParse(Expect e) {
    switch (e) {
        case Expect::kIncomplete: return RequestParse::kIncomplete;
        case Expect::kDescribe: return RequestParse::kDescribe;
        case Expect::kPlay: return RequestParse::kPlay;
        default: return RequestParse::kBad;
    }
}

std::string LowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

bool IsTokenChar(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    return std::string("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string::npos;
}

bool HasControl(const std::string& line) {
    for (unsigned char c : line) {
        if ((c < 0x20 && c != '\t' && c != '\r') || c == 0x7F) return true;
    }
    return false;
}

std::string TrimWhite(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

Expect RequestLine(const std::string& line) {
    if (HasControl(line)) return Expect::kBad;
    for (unsigned char c : line) {
        if (c == '\t' || c == '\r' || c >= 0x80) return Expect::kUnknown;  // lenient forms
    }
    if (!line.empty() && (line.front() == ' ' || line.back() == ' ')) return Expect::kUnknown;
    std::vector<std::string> parts(1);
    for (char c : line) {
        if (c == ' ') parts.emplace_back();
        else parts.back() += c;
    }
    if (parts.size() != 3) return Expect::kBad;
    for (const std::string& part : parts) {
        if (part.empty()) return Expect::kBad;
    }
    if (parts[0] != "GET" || parts[1][0] != '/') return Expect::kBad;
    const std::string& version = parts[2];
    if (version.size() != 8 || version.compare(0, 7, "HTTP/1.") != 0) return Expect::kBad;
    return version[7] >= '0' && version[7] <= '9' ? Expect::kDescribe : Expect::kUnknown;
}

// kDescribe for an ordinary field, kPlay for a Pragma with the directive xPlayStrm=1.
Expect HeaderLine(const std::string& line) {
    if (HasControl(line)) return Expect::kBad;
    if (line.find('\r') != std::string::npos) return Expect::kUnknown;
    if (line[0] == ' ' || line[0] == '\t') return Expect::kUnknown;  // folded or whitespace only
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return Expect::kBad;
    for (size_t i = 0; i < colon; ++i) {
        if (!IsTokenChar(static_cast<unsigned char>(line[i]))) return Expect::kUnknown;
    }
    if (LowerAscii(line.substr(0, colon)) != "pragma") return Expect::kDescribe;
    const std::string value = LowerAscii(line.substr(colon + 1));
    bool play = false;
    size_t start = 0;
    for (;;) {
        const size_t comma = value.find(',', start);
        if (TrimWhite(value.substr(start, comma - start)) == "xplaystrm=1") play = true;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (!play && value.find("xplaystrm=1") != std::string::npos) return Expect::kUnknown;
    return play ? Expect::kPlay : Expect::kDescribe;
}

// The head ends with its first empty line after the request line (LF or CR LF line ends),
// which must end within the bound.
Expect Model(const std::string& stream) {
    std::vector<std::string> lines;
    bool ended = false;
    for (size_t start = 0; start < stream.size();) {
        const size_t feed = stream.find('\n', start);
        if (feed == std::string::npos || feed + 1 > kMaxRequestHead) break;
        std::string line = stream.substr(start, feed - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = feed + 1;
        if (!lines.empty() && line.empty()) {
            ended = true;
            break;
        }
        lines.push_back(line);
    }
    if (!ended) return stream.size() >= kMaxRequestHead ? Expect::kBad : Expect::kIncomplete;
    Expect answer = RequestLine(lines[0]);
    bool unknown = answer == Expect::kUnknown;
    if (answer == Expect::kBad) return Expect::kBad;
    for (size_t i = 1; i < lines.size(); ++i) {
        const Expect field = HeaderLine(lines[i]);
        if (field == Expect::kBad) return Expect::kBad;
        if (field == Expect::kUnknown) unknown = true;
        if (field == Expect::kPlay) answer = Expect::kPlay;
    }
    return unknown ? Expect::kUnknown : answer;
}

// ---- Generation ----------------------------------------------------------------------------

std::string RandomCase(Random& random, std::string s) {
    for (char& c : s) {
        if (random.OneIn(3)) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

std::string PragmaValue(Random& random) {
    const char* const directives[] = {
        "no-cache", "rate=1.000000", "stream-time=0", "stream-offset=4294967295:4294967295",
        "packet-num=4294967295", "request-context=2", "max-duration=0", "LinkBW=2147483647",
        "xClientGUID={c77e7400-738a-11d2-9add-0020af0a3278}", "xPlayStrm=0", "xPlayStrm=1", "xPlayStrm=1",
    };
    std::string value;
    for (int n = random.Between(1, 4); n > 0; --n) {
        if (!value.empty()) value += random.OneIn(2) ? "," : ", ";
        value += RandomCase(random, random.Pick(directives));
    }
    return value;
}

std::string VisibleText(Random& random, size_t max, bool withHigh) {
    std::string s;
    for (size_t n = random.Length(max); n > 0; --n) {
        s += static_cast<char>(withHigh && random.OneIn(8) ? random.Between(0x80, 0xFF) : random.Between(0x21, 0x7E));
    }
    return s;
}

std::string HeaderField(Random& random) {
    const char* const fixed[] = {
        "Host: 127.0.0.1:8008", "User-Agent: NSPlayer/4.1.0.3856", "Accept: */*",
        "X-Accept-Authentication: Negotiate, NTLM, Digest, Basic", "Connection: Close",
        "Supported: com.microsoft.wm.srvppair, com.microsoft.wm.sswitch", "X-Pragma: xPlayStrm=1",
    };
    switch (random.Below(4)) {
        case 0: return RandomCase(random, "Pragma") + ":" + (random.OneIn(4) ? "" : " ") + PragmaValue(random);
        case 1: return random.Pick(fixed);
        case 2: {
            std::string name = "X-";
            for (int n = random.Between(1, 12); n > 0; --n) name += static_cast<char>(random.Between('a', 'z'));
            std::string value = VisibleText(random, 40, true);
            if (random.OneIn(4)) value += "\t" + VisibleText(random, 10, true);
            return name + ":" + (random.OneIn(3) ? "" : " ") + value;
        }
        default: return RandomCase(random, "Pragma") + ": " + PragmaValue(random);
    }
}

// One fault of a kind the parser is to refuse, put into a line of the request.
void Spoil(Random& random, std::vector<std::string>& lines) {
    const char* const methods[] = {"POST", "get", "HEAD", "GETS", "G"};
    const char* const versions[] = {"HTTP/2.0", "HTTP/1.10", "HTTP/1", "http/1.0", "HTTP/1.0x", "HTTP"};
    switch (random.Below(6)) {
        case 0: lines[0].replace(0, 3, random.Pick(methods)); break;
        case 1: lines[0].replace(lines[0].find(' ') + 1, 1, random.OneIn(2) ? "a" : ""); break;
        case 2: lines[0].replace(lines[0].rfind(' ') + 1, std::string::npos, random.Pick(versions)); break;
        case 3: lines.push_back(random.OneIn(2) ? "no colon here" : ": empty name"); break;
        case 4: {
            const char controls[] = {'\x00', '\x01', '\x08', '\x0B', '\x0C', '\x1B', '\x1F', '\x7F'};
            std::string& line = lines[random.Below(static_cast<uint32_t>(lines.size()))];
            line.insert(random.Below(static_cast<uint32_t>(line.size() + 1)), 1, random.Pick(controls));
            break;
        }
        default: lines[0] += " extra"; break;
    }
}

std::string Request(Random& random, bool spoil) {
    std::vector<std::string> lines;
    lines.push_back("GET /" + VisibleText(random, 30, false) + " HTTP/1." + std::to_string(random.Between(0, 1)));
    for (int n = random.Between(0, 8); n > 0; --n) lines.push_back(HeaderField(random));
    if (spoil) Spoil(random, lines);
    const uint32_t style = random.Below(4);  // all CR LF, all LF, or mixed
    std::string text;
    for (size_t i = 0; i <= lines.size(); ++i) {
        const bool crlf = style == 0 || style == 1 || (style == 3 && random.OneIn(2));
        if (i < lines.size()) text += lines[i];
        text += crlf ? "\r\n" : "\n";
    }
    return text;
}

Case Generate(Random& random) {
    Case c;
    std::string stream;
    const uint32_t mode = random.Below(10);
    if (mode < 4) {
        stream = Request(random, false);
    } else if (mode < 6) {
        stream = Request(random, true);
    } else if (mode < 7) {
        // A head whose end lands near the bound.
        stream = Request(random, false);
        const size_t end = stream.size();
        const size_t want = kMaxRequestHead + random.Between(-6, 6);
        if (want > end + 8) stream.insert(stream.find('\n') + 1, "X-Pad: " + std::string(want - end - 9, 'a') + "\r\n");
    } else if (mode < 9) {
        stream = Mutate(random, Request(random, random.OneIn(3)), "\r\n: \t");
    } else {
        stream = RandomBytes(random, 300, "\r\n\r\n: GET / HTTP/1.0 Pragma xPlayStrm=1");
    }
    if (random.OneIn(3)) stream += RandomBytes(random, 60, "\r\n\r\nPragma: xPlayStrm=1");  // whatever follows
    if (random.OneIn(5)) stream.resize(random.Below(static_cast<uint32_t>(stream.size() + 1)));  // not all here yet
    c.texts.push_back(stream);
    return c;
}

// ---- Properties ----------------------------------------------------------------------------

Verdict Check(const Case& c) {
    const std::string& stream = c.texts[0];
    const RequestParse whole = ParseRequest(stream);
    if (whole == RequestParse::kIncomplete && stream.size() >= kMaxRequestHead)
        return Broken("bounded", "still waiting after " + std::to_string(stream.size()) + " bytes");

    // Every prefix, as a sink that receives one byte per read would ask.
    RequestParse first = RequestParse::kIncomplete;
    size_t decidedAt = 0;
    const size_t last = stream.size() < kMaxRequestHead + 64 ? stream.size() : kMaxRequestHead + 64;
    for (size_t n = 1; n <= last; ++n) {
        const RequestParse r = ParseRequest(stream.substr(0, n));
        if (first == RequestParse::kIncomplete) {
            first = r;
            decidedAt = n;
        } else if (r != first) {
            return Broken("chunking invariance", "the first " + std::to_string(decidedAt) + " bytes are answered " +
                                                     RequestParseName(first) + ", the first " + std::to_string(n) +
                                                     " bytes " + RequestParseName(r));
        }
    }
    if (first != RequestParse::kIncomplete && whole != first)
        return Broken("chunking invariance", std::string("the first ") + std::to_string(decidedAt) +
                                                 " bytes are answered " + RequestParseName(first) +
                                                 ", the whole stream " + RequestParseName(whole));

    const Expect model = Model(stream);
    if (model != Expect::kUnknown && ToParse(model) != whole)
        return Broken("model", std::string("answered ") + RequestParseName(whole) + ", the grammar says " +
                                   RequestParseName(ToParse(model)));
    return Holds();
}

}  // namespace

Target HttpRequestTarget() {
    Target t;
    t.name = "HttpRequest";
    t.textNames = {"received"};
    t.generate = Generate;
    t.check = Check;
    return t;
}

}  // namespace ombrel::test::fuzz
