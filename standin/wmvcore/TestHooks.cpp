#include "standin/wmvcore/TestHooks.h"

#include <atomic>
#include <cstring>

namespace wmstandin {
namespace {

constexpr const char* kCallNames[] = {"Writer.BeginWriting", "Writer.EndWriting", "Writer.Flush",
                                      "Writer.AddSink",      "Writer.RemoveSink", "NetworkSink.Open",
                                      "NetworkSink.Close"};
static_assert(sizeof kCallNames / sizeof kCallNames[0] == static_cast<size_t>(Fault::kCount));

// Taken on the writer's and the sink's callers' threads, set on the test's: no lock, so a
// check never waits.
std::atomic<HRESULT> g_pending[static_cast<size_t>(Fault::kCount)] = {};
std::atomic<LONG> g_servingThreads{0};

}  // namespace

HRESULT FailNextCall(const char* call, HRESULT hr) noexcept {
    if (!call) {
        if (hr != S_OK) return E_INVALIDARG;
        for (auto& pending : g_pending) pending = S_OK;
        return S_OK;
    }
    if (SUCCEEDED(hr) && hr != S_OK) return E_INVALIDARG;
    for (size_t i = 0; i < static_cast<size_t>(Fault::kCount); ++i) {
        if (std::strcmp(call, kCallNames[i]) == 0) return FAILED(g_pending[i].exchange(hr)) ? S_FALSE : S_OK;
    }
    return E_INVALIDARG;
}

HRESULT TakeFault(Fault fault) noexcept { return g_pending[static_cast<size_t>(fault)].exchange(S_OK); }

ServingThreadScope::ServingThreadScope() noexcept { ++g_servingThreads; }

ServingThreadScope::~ServingThreadScope() { --g_servingThreads; }

LONG ServingThreads() noexcept { return g_servingThreads; }

}  // namespace wmstandin
