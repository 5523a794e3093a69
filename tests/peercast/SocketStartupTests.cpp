// Start-up and clean-up of Windows sockets against Wine's WSOCK32.
#include <gtest/gtest.h>

#include "peercast/SocketStartup.h"

namespace ombrel::test {
namespace {

TEST(SocketStartup, VersionsAndTheirResults) {
    struct Row {
        int major;
        int minor;
        int result;
    };
    const Row rows[] = {
        {1, 0, 0},   // what Init asks for
        {1, 1, 0},   // Winsock 1.1
        {2, 2, 0},   // the newest the system offers
        {0, 0, -1},  // major 0 is no version at all
    };
    for (const Row& row : rows) {
        const int result = StartupSockets(row.major, row.minor);
        EXPECT_EQ(result, row.result) << "version " << row.major << "." << row.minor;
        if (result == 0) {
            EXPECT_EQ(CleanupSockets(), 0) << "version " << row.major << "." << row.minor;
        }
    }
}

// The system counts start-ups; one clean-up more than there were start-ups fails.
TEST(SocketStartup, CleanupBeyondTheStartupsFails) {
    ASSERT_EQ(StartupSockets(1, 0), 0);
    int drained = 0;
    while (drained < 16 && CleanupSockets() == 0) ++drained;
    EXPECT_GE(drained, 2) << "this test's start-up and the test process's own";
    EXPECT_LT(drained, 16) << "clean-ups never failed";
    EXPECT_EQ(CleanupSockets(), -1);
    // Give the rest of the run its sockets back, minus this test's start-up.
    for (int i = 1; i < drained; ++i) ASSERT_EQ(StartupSockets(1, 0), 0);
}

}  // namespace
}  // namespace ombrel::test
