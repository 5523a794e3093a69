// The runtime stand-in's request parser's verdicts by name, for messages of the tests and the
// fuzzer.
#pragma once

#include "standin/wmvcore/HttpRequest.h"

namespace ombrel::test {

inline const char* RequestParseName(wmstandin::RequestParse r) {
    switch (r) {
        case wmstandin::RequestParse::kIncomplete: return "incomplete";
        case wmstandin::RequestParse::kDescribe: return "describe";
        case wmstandin::RequestParse::kPlay: return "play";
        case wmstandin::RequestParse::kBad: return "bad";
    }
    return "?";
}

}  // namespace ombrel::test
