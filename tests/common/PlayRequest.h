// The request a Windows Media player sends to play a live broadcast over HTTP, as the tests'
// listeners send it to the network sink.
#pragma once

namespace ombrel::test {

inline constexpr char kPlayRequest[] =
    "GET / HTTP/1.0\r\n"
    "Host: 127.0.0.1:8008\r\n"
    "Connection: close\r\n"
    "Accept: */*\r\n"
    "User-Agent: NSPlayer/4.1.0.3856\r\n"
    "Pragma: no-cache,rate=1.000000,request-context=1\r\n"
    "Pragma: xPlayStrm=1\r\n"
    "Pragma: xClientGUID={c77e7400-738a-11d2-9add-0020af0a3278}\r\n"
    "Pragma: stream-switch-count=2\r\n"
    "Pragma: stream-switch-entry=ffff:1:0 ffff:2:0\r\n"
    "\r\n";

}  // namespace ombrel::test
