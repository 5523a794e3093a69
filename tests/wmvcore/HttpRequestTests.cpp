// The request parser as the network sink uses it: asked again with everything received after
// each read, so a request must get one answer however TCP splits its bytes.
#include <gtest/gtest.h>

#include <string>

#include "standin/wmvcore/HttpRequest.h"
#include "tests/common/RequestParseName.h"

namespace ombrel::test {
namespace {

using namespace wmstandin;

// Every prefix of the stream is unanswered or answered as the whole stream is.
void ExpectOneAnswer(const std::string& stream, RequestParse expected) {
    EXPECT_STREQ(RequestParseName(ParseRequest(stream)), RequestParseName(expected)) << stream.substr(0, 80);
    for (size_t n = 1; n < stream.size(); ++n) {
        const RequestParse r = ParseRequest(stream.substr(0, n));
        if (r != RequestParse::kIncomplete) {
            ASSERT_STREQ(RequestParseName(r), RequestParseName(expected))
                << "after " << n << " bytes of " << stream.substr(0, 80);
        }
    }
}

TEST(HttpRequestSplitting, TheFirstEmptyLineEndsTheHeadWhateverFollows) {
    struct Row {
        const char* what;
        std::string stream;
        RequestParse expected;
    };
    const Row rows[] = {
        // A later CR LF CR LF once took precedence when it had arrived in the same read.
        {"LF LF, then a Pragma and CR LF CR LF", "GET / HTTP/1.0\n\nPragma: xPlayStrm=1\r\n\r\n",
         RequestParse::kDescribe},
        {"CR LF LF, then more", "GET / HTTP/1.0\r\n\nPragma: xPlayStrm=1\r\n\r\n", RequestParse::kDescribe},
        // LF-ended lines closed by a CR LF empty line were never taken for an end.
        {"LF lines, CR LF empty line", "GET / HTTP/1.0\nPragma: xPlayStrm=1\n\r\n", RequestParse::kPlay},
        {"CR LF lines, LF empty line", "GET / HTTP/1.1\r\nPragma: xPlayStrm=1\r\n\n", RequestParse::kPlay},
        {"CR LF throughout, then junk", "GET / HTTP/1.0\r\nPragma: no-cache\r\n\r\nPragma: xPlayStrm=1\r\n\r\n",
         RequestParse::kDescribe},
        {"an empty request line", "\r\n\r\nGET / HTTP/1.0\r\n\r\n", RequestParse::kBad},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ExpectOneAnswer(row.stream, row.expected);
    }
}

// A head padded so that its empty line ends at byte end (one past its last line feed).
std::string HeadEndingAt(size_t end) {
    const std::string start = "GET / HTTP/1.0\r\nX-Pad: ";
    return start + std::string(end - start.size() - 4, 'a') + "\r\n\r\n";
}

TEST(HttpRequestSplitting, TheBoundCountsTheWholeEnd) {
    // Ending exactly at the bound is accepted, in every split.
    ExpectOneAnswer(HeadEndingAt(kMaxRequestHead), RequestParse::kDescribe);
    // Ending a few bytes beyond it is refused in every split: the first 8192 bytes alone were
    // refused while all of them together were answered.
    for (size_t over = 1; over <= 3; ++over) {
        SCOPED_TRACE(over);
        ExpectOneAnswer(HeadEndingAt(kMaxRequestHead + over), RequestParse::kBad);
    }
}

}  // namespace
}  // namespace ombrel::test
