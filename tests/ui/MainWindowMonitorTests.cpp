// The monitor group: its number formats, the idle texts, and the 500 ms timer that refreshes it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/ui/MainWindowTestSupport.h"
#include "ui/Monitor.h"

namespace ombrel::test {
namespace {

TEST(MonitorFormat, BytesSentInWholeKibibytesTruncated) {
    const struct {
        ULONGLONG bytes;
        const char* text;
    } rows[] = {
        {0, "0 (KB)"},
        {1023, "0 (KB)"},     // a byte short of one kibibyte
        {1024, "1 (KB)"},
        {1048575, "1023 (KB)"},
        {0x100000000ULL, "4194304 (KB)"},  // past 32 bits
        {0xFFFFFFFFFFFFFFFFULL, "18014398509481983 (KB)"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.text, ombrel::FormatKilobytes(row.bytes)) << row.bytes;
}

TEST(MonitorFormat, BitRateInKilobitsWithOneDecimal) {
    const struct {
        DWORD bitsPerSecond;
        const char* text;
    } rows[] = {
        {0, "0.0 (kbps)"},
        {128000, "128.0 (kbps)"},
        {64000, "64.0 (kbps)"},
        {20, "0.0 (kbps)"},
        {1500, "1.5 (kbps)"},
        {0xFFFFFFFFu, "4294967.3 (kbps)"},  // unsigned, never negative
    };
    for (const auto& row : rows) EXPECT_EQ(row.text, ombrel::FormatKbps(row.bitsPerSecond)) << row.bitsPerSecond;
}

TEST(MonitorFormat, RunningTimeAsDaysHoursMinutesSeconds) {
    const struct {
        DWORD seconds;
        const char* text;
    } rows[] = {
        {0, "00:00:00:00"},
        {59, "00:00:00:59"},
        {86399, "00:23:59:59"},
        {86400 + 3600 + 60 + 1, "01:01:01:01"},
        {100 * 86400, "100:00:00:00"},     // days are not bounded
        {0xFFFFFFFFu, "49710:06:28:15"},   // unsigned seconds
    };
    for (const auto& row : rows) EXPECT_EQ(row.text, ombrel::FormatRunningTime(row.seconds)) << row.seconds;
}

TEST_F(MainWindowTest, OpensShowingThePortAndTheIdleTextsAtOnce) {
    ombrel::_settings.extra._dwPort = 8123;
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    // No message dispatched yet: set-up filled the fields itself.
    EXPECT_EQ("8123", ItemTextA(dialog, IDC_OUTPUT_PORT));
    EXPECT_EQ("0", ItemTextA(dialog, IDC_CLIENT_COUNT));
    EXPECT_EQ("0 (KB)", ItemTextA(dialog, IDC_BYTES_SENT));
    EXPECT_EQ("0.0 (kbps)", ItemTextA(dialog, IDC_BIT_RATE));
    EXPECT_EQ("00:00:00:00", ItemTextA(dialog, IDC_RUNNING_TIME));
}

TEST_F(MainWindowTest, PortShowsAsAnUnsignedNumber) {
    ombrel::_settings.extra._dwPort = 0xFFFFFFFFu;
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("4294967295", ItemTextA(dialog, IDC_OUTPUT_PORT));
}

TEST_F(MainWindowTest, MonitorTimerRefreshesTheFieldsTwiceASecond) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    // Idle texts come back over anything else on the next tick.
    ::SetDlgItemTextA(dialog, IDC_RUNNING_TIME, "stale");
    ombrel::_settings.extra._dwPort = 9001;
    EXPECT_EQ("8008", ItemTextA(dialog, IDC_OUTPUT_PORT));
    const DWORD start = ::GetTickCount();
    ASSERT_TRUE(PumpMainWindowUntil(2000, [&] { return ItemTextA(dialog, IDC_OUTPUT_PORT) == "9001"; }));
    const DWORD first = ::GetTickCount() - start;
    EXPECT_EQ("00:00:00:00", ItemTextA(dialog, IDC_RUNNING_TIME));

    // Ten more ticks, measured for the record.
    int ticks = 0;
    DWORD port = 9002;
    const DWORD tenStart = ::GetTickCount();
    while (ticks < 10) {
        ombrel::_settings.extra._dwPort = port;
        const std::string wanted = std::to_string(port);
        ASSERT_TRUE(PumpMainWindowUntil(2000, [&] { return ItemTextA(dialog, IDC_OUTPUT_PORT) == wanted; }));
        ++ticks;
        ++port;
    }
    const DWORD tenTicks = ::GetTickCount() - tenStart;
    // The refresh is the window's timer 1000, ticking every 500 ms: ten ticks take about
    // 5 s, far from the 2.5 s or 10 s of half or twice that period, with room for a busy machine.
    EXPECT_GE(tenTicks, 4000u);
    EXPECT_LE(tenTicks, 9000u);
    EXPECT_TRUE(::KillTimer(dialog, 1000));
    RecordProperty("first_tick_ms", int(first));
    RecordProperty("ten_ticks_ms", int(tenTicks));
    std::printf("monitor: first refresh after %lu ms, ten refreshes in %lu ms\n", first, tenTicks);
}

}  // namespace
}  // namespace ombrel::test
