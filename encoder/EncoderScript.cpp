// Script commands into the script stream: the type and the command as two NUL-terminated
// UTF-16 strings back to back, stamped with the audio clock.
#include <climits>
#include <cwchar>

#include "encoder/WmLiveEncoder.h"

namespace ombrel {

HRESULT STDMETHODCALLTYPE WmLiveEncoder::WriteScript(const WCHAR* type, const WCHAR* command) noexcept {
    if (!running) return E_FAIL;
    if (!type || !command) return E_INVALIDARG;
    size_t typeBytes = (std::wcslen(type) + 1) * sizeof(WCHAR);
    size_t commandBytes = (std::wcslen(command) + 1) * sizeof(WCHAR);
    if (typeBytes > INT_MAX / 2 || commandBytes > INT_MAX / 2) return E_INVALIDARG;

    // Two threads may write titles at once; each sample goes out whole, in turn.
    win::CsLock hold(lock);
    SamplePart parts[2] = {{type, static_cast<DWORD>(typeBytes)}, {command, static_cast<DWORD>(commandBytes)}};
    return WriteParts(scriptInput, parts, 2, static_cast<DWORD>(typeBytes + commandBytes), AudioClock(),
                      WM_SF_CLEANPOINT);
}

}  // namespace ombrel
