// What the plug-in's tests reach inside the stand-in through its test-only exports
// (WMStandInFailNextCall and WMStandInServingThreads, Exports.cpp): a chosen writer or network
// sink call failing once with a chosen code, as the platform's runtime fails when a codec
// refuses a format or a port cannot be served, and the number of serving threads alive. The
// plug-in never calls either export.
#pragma once

#include "encoder/WmSdk.h"

namespace wmstandin {

// The calls a test can make fail, each checked on entry before the call does anything.
enum class Fault { kBeginWriting, kEndWriting, kFlush, kAddSink, kRemoveSink, kSinkOpen, kSinkClose, kCount };

// Makes the next call named ("Writer.BeginWriting", "Writer.EndWriting", "Writer.Flush",
// "Writer.AddSink", "Writer.RemoveSink", "NetworkSink.Open", "NetworkSink.Close") fail with hr.
// S_OK withdraws that call's pending failure; a null name withdraws every one. S_FALSE says the
// named call still had a failure pending, so a test learns whether the call it meant to fail
// was made. An unknown name or a success code other than S_OK gives E_INVALIDARG.
HRESULT FailNextCall(const char* call, HRESULT hr) noexcept;

// The failure asked for fault's next call, taken so that only that call fails; S_OK for none.
HRESULT TakeFault(Fault fault) noexcept;

// Counts a network sink's serving thread for as long as it lives on the thread's stack.
class ServingThreadScope {
public:
    ServingThreadScope() noexcept;
    ~ServingThreadScope();
    ServingThreadScope(const ServingThreadScope&) = delete;
    ServingThreadScope& operator=(const ServingThreadScope&) = delete;
};

// Serving threads of every network sink of the process, alive now.
LONG ServingThreads() noexcept;

}  // namespace wmstandin
