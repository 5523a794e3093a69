#include "peercast/BoundedConnection.h"

namespace ombrel {
namespace {

std::atomic<LONG> g_connectAttempts{0};

}  // namespace

LONG ConnectAttempts() noexcept { return g_connectAttempts.load(); }

int BoundedConnection::Connect(const char* host, int port) noexcept {
    ++g_connectAttempts;
    return TcpConnection::Connect(host, port);
}

BoundedConnection::BoundedConnection(DWORD limitMs, const std::atomic<LONG>* cancel) noexcept
    : BoundedConnection(::GetTickCount(), limitMs, cancel) {}

BoundedConnection::BoundedConnection(DWORD startMs, DWORD limitMs, const std::atomic<LONG>* cancel) noexcept
    : startMs_(startMs), limitMs_(limitMs), cancel_(cancel) {
    useTimeout = 1;
    timeout.tv_sec = static_cast<long>(limitMs / 1000);
    timeout.tv_usec = static_cast<long>(limitMs % 1000) * 1000;
}

bool BoundedConnection::Cancelled() const noexcept { return cancel_ && cancel_->load() != 0; }

bool BoundedConnection::Over() const noexcept { return Cancelled() || ::GetTickCount() - startMs_ >= limitMs_; }

TcpConnection::Wait BoundedConnection::WaitFor(Readiness what) noexcept {
    for (;;) {
        if (Cancelled()) return Wait::TimedOut;
        const DWORD elapsedMs = ::GetTickCount() - startMs_;
        if (elapsedMs >= limitMs_) return Wait::TimedOut;
        const DWORD leftMs = limitMs_ - elapsedMs;
        const DWORD sliceMs = leftMs < kCancelSliceMs ? leftMs : kCancelSliceMs;
        const timeval slice = {0, static_cast<long>(sliceMs) * 1000};
        const Wait wait = SelectOnce(what, slice);
        if (wait != Wait::TimedOut) return wait;
    }
}

}  // namespace ombrel
