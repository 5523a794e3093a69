#include "plugin/SentMessageWait.h"

namespace ombrel {

void WaitAnsweringSentMessages(HANDLE handle) {
    for (;;) {
        const DWORD woke = ::MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0) return;
        if (woke != WAIT_OBJECT_0 + 1) return;  // not a handle that can be waited on
        // Peeking delivers the pending sent messages and removes nothing from the queue.
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace ombrel
