// One JSON-RPC exchange with a node: POST /api/1 with a JSON body, and the node's answer.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "peercast/HttpReply.h"

namespace ombrel {

// The request with the headers the nodes' own pages send (the JSON type, X-Requested-With) and
// the Content-Length both nodes require (411 without it). A request from 127.0.0.1 needs no
// login on either node.
std::string ComposeJsonRpcPost(const char* host, int port, const std::string& body);

// Connects, sends the whole request text and reads the whole answer, inside the update's bound
// that started at startMs. 1 when the answer came whole, 0 otherwise; *connected (when given)
// says whether the connection itself was made.
int ExchangeHttp(const char* host, int port, const std::string& request, DWORD startMs,
                 const std::atomic<LONG>* cancel, HttpReply& reply, bool* connected = nullptr);

// Connects, sends the request and reads the whole answer, inside the update's bound that
// started at startMs (kPeerCastTimeoutSeconds, ended early by *cancel). 1 when the answer came
// whole (reply holds it), 0 otherwise.
int ExchangeJsonRpc(const char* host, int port, const std::string& body, DWORD startMs,
                    const std::atomic<LONG>* cancel, HttpReply& reply);

}  // namespace ombrel
