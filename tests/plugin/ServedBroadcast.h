// A broadcast as a listener finds it: the platform's encoder over the runtime stand-in, the
// player running, and the plug-in set to serve a free loopback port.
#pragma once

#include <windows.h>

#include "plugin/Settings.h"
#include "tests/common/Loopback.h"
#include "tests/common/StreamListener.h"
#include "tests/plugin/BroadcastFixture.h"

namespace ombrel::test {

class ServedBroadcast : public BroadcastFixture {
protected:
    void SetUp() override {
        BroadcastFixture::SetUp();
        encoders_.reset();
        StartPlayer({});
        port_ = FreeLoopbackPort();
        _settings.extra._dwPort = static_cast<DWORD>(port_);
    }

    int port_ = 0;
};

}  // namespace ombrel::test
