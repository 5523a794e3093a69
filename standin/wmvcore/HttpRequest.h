// The one request a client sends per connection, read defensively: a bounded head, a request
// line of GET and a path, whether a Pragma asks to play (xPlayStrm=1), and whether the client
// is a Windows Media player at all (its User-Agent or its Pragma lines say so). Bytes that
// cannot begin such a request are refused as soon as they arrive.
#pragma once

#include <cstddef>
#include <string>

namespace wmstandin {

constexpr size_t kMaxRequestHead = 8192;

enum class RequestParse {
    kIncomplete,  // the blank line that ends the head has not arrived yet
    kDescribe,    // a Windows Media GET without xPlayStrm=1: the header only
    kPlay,        // a Windows Media GET with xPlayStrm=1: the header, then the live packets
    kReference,   // a GET from another client: a reference that leads it to the stream
    kBad,         // anything else, or a head longer than the bound
};

// What a reference names: the Host header's value (empty when there is none) and the path.
struct RequestTarget {
    std::string host;
    std::string path;
};

// Parses what has arrived of a request head; a finished GET's target goes to *target.
RequestParse ParseRequest(const std::string& received, RequestTarget* target = nullptr);

}  // namespace wmstandin
