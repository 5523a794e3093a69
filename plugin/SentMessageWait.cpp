#include "plugin/SentMessageWait.h"

namespace ombrel {

void WaitAnsweringSentMessages(HANDLE handle) {
    for (;;) {
        // Answer what is already waiting: a send that arrived before this wait (or that an
        // earlier peek on this thread has already seen) would not wake the wait below.
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const DWORD woke =
            ::MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (woke != WAIT_OBJECT_0 + 1) return;  // the handle, or one that cannot be waited on
    }
}

}  // namespace ombrel
