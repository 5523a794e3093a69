// The test process starts Windows sockets once, as the plug-in's Init does.
#include <gtest/gtest.h>

#include "peercast/SocketStartup.h"

namespace ombrel::test {
namespace {

class WinsockEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(StartupSockets(1, 0), 0) << "WSAStartup 1.0"; }
    void TearDown() override { EXPECT_EQ(CleanupSockets(), 0) << "WSACleanup"; }
};

[[maybe_unused]] ::testing::Environment* const kWinsock =
    ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

}  // namespace
}  // namespace ombrel::test
