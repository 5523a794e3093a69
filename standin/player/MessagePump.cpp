#include "standin/player/MessagePump.h"

namespace standin {
namespace {

// Polling bound: some predicates change without a message reaching this thread.
constexpr DWORD kPollMs = 5;

DWORD Elapsed(DWORD start) { return ::GetTickCount() - start; }

}  // namespace

PumpResult PumpFor(DWORD ms) {
    return PumpUntil([] { return false; }, ms) == PumpResult::QuitPosted ? PumpResult::QuitPosted
                                                                          : PumpResult::Done;
}

PumpResult PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(int(msg.wParam));
                return PumpResult::QuitPosted;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
            if (done()) return PumpResult::Done;
        }
        if (done()) return PumpResult::Done;
        const DWORD elapsed = Elapsed(start);
        if (elapsed >= timeoutMs) return PumpResult::TimedOut;
        const DWORD left = timeoutMs - elapsed;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, left < kPollMs ? left : kPollMs,
                                    QS_ALLINPUT);
    }
}

bool WaitAnsweringSentMessages(HANDLE handle, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        DWORD wait = INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD elapsed = Elapsed(start);
            wait = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
        }
        const DWORD r = ::MsgWaitForMultipleObjects(1, &handle, FALSE, wait, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        // Peeking for sent messages only runs their window procedures and removes nothing.
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace standin
