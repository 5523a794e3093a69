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

// The process's start-ups, counted by ending them all and taking them again.
int CountStartups() {
    int count = 0;
    while (count < 64 && CleanupSockets() == 0) ++count;
    for (int i = 0; i < count; ++i) StartupSockets(1, 0);
    return count;
}

// A use whose start-up failed, or was undone for another version, ends nobody else's.
TEST(SocketStartup, AUseEndsOnlyTheStartUpItTook) {
    const struct {
        int major;
        int minor;
        int result;
    } rows[] = {
        {1, 0, 0},   // taken and given back
        {0, 0, -1},  // refused
        {3, 0, -4},  // the system agrees to 2.2 only: undone at once
    };
    const int before = CountStartups();
    ASSERT_GE(before, 1) << "the test process's own start-up";
    for (const auto& row : rows) {
        {
            SocketUse use(row.major, row.minor);
            EXPECT_EQ(row.result, use.Result()) << row.major << "." << row.minor;
            EXPECT_EQ(before + (row.result == 0 ? 1 : 0), CountStartups()) << row.major << "." << row.minor;
        }
        EXPECT_EQ(before, CountStartups()) << row.major << "." << row.minor;
    }
}

}  // namespace
}  // namespace ombrel::test
