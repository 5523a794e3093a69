// The one request a Windows Media pull client sends per connection, read defensively: a bounded
// head, a request line of GET and a path, and whether a Pragma asks to play (xPlayStrm=1).
#pragma once

#include <cstddef>
#include <string>

namespace wmstandin {

constexpr size_t kMaxRequestHead = 8192;

enum class RequestParse {
    kIncomplete,  // the blank line that ends the head has not arrived yet
    kDescribe,    // a GET without xPlayStrm=1: the header only
    kPlay,        // a GET with xPlayStrm=1: the header, then the live packets
    kBad,         // anything else, or a head longer than the bound
};

// Parses what has arrived of a request head.
RequestParse ParseRequest(const std::string& received);

}  // namespace wmstandin
