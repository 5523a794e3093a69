// The code page a test run was started for: CTest runs some executables twice, under the
// systems' usual code page and under 932, and says which in OMBREL_EXPECT_ACP.
#pragma once

#include <windows.h>

#include <cstdlib>

namespace ombrel::test {

// The code page of this run, or 0 when any will do.
inline UINT ExpectedAnsiCodePage() {
    char value[16] = "";
    const DWORD got = ::GetEnvironmentVariableA("OMBREL_EXPECT_ACP", value, sizeof value);
    return got > 0 && got < sizeof value ? static_cast<UINT>(std::strtoul(value, nullptr, 10)) : 0;
}

}  // namespace ombrel::test
