// Lifetimes of the handle owners: every handle is closed exactly once.
#include <gtest/gtest.h>

#include <windows.h>

#include <utility>

#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

bool IsOpenHandle(HANDLE h) {
    DWORD flags = 0;
    return ::GetHandleInformation(h, &flags) != FALSE;
}

HANDLE NewEvent() { return ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }

TEST(UniqueAny, ClosesOnDestructionAndCountsLiveOwners) {
    long before = win::UniqueEvent::LiveCount();
    HANDLE raw = NewEvent();
    {
        win::UniqueEvent event(raw);
        EXPECT_EQ(before + 1, win::UniqueEvent::LiveCount());
        EXPECT_TRUE(IsOpenHandle(raw));
    }
    EXPECT_FALSE(IsOpenHandle(raw));
    EXPECT_EQ(before, win::UniqueEvent::LiveCount());
}

TEST(UniqueAny, MoveTransfersOwnershipWithoutClosing) {
    long before = win::UniqueEvent::LiveCount();
    HANDLE raw = NewEvent();
    win::UniqueEvent a(raw);
    win::UniqueEvent b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(raw, b.get());
    EXPECT_TRUE(IsOpenHandle(raw));

    win::UniqueEvent c;
    c = std::move(b);
    EXPECT_EQ(raw, c.get());
    EXPECT_EQ(before + 1, win::UniqueEvent::LiveCount());

    c = std::move(c);  // self-move keeps the handle
    EXPECT_EQ(raw, c.get());
    EXPECT_TRUE(IsOpenHandle(raw));
}

TEST(UniqueAny, MoveAssignmentClosesWhatTheTargetHeld) {
    HANDLE first = NewEvent();
    HANDLE second = NewEvent();
    win::UniqueEvent a(first);
    win::UniqueEvent b(second);
    a = std::move(b);
    EXPECT_FALSE(IsOpenHandle(first));
    EXPECT_EQ(second, a.get());
}

TEST(UniqueAny, ResetClosesOnceAndTwiceIsHarmless) {
    long before = win::UniqueEvent::LiveCount();
    HANDLE raw = NewEvent();
    win::UniqueEvent event(raw);
    event.reset();
    EXPECT_FALSE(IsOpenHandle(raw));
    event.reset();
    EXPECT_FALSE(event);
    EXPECT_EQ(before, win::UniqueEvent::LiveCount());

    HANDLE next = NewEvent();
    event.reset(next);
    EXPECT_EQ(before + 1, win::UniqueEvent::LiveCount());
    EXPECT_EQ(next, event.get());
}

TEST(UniqueAny, ReleaseHandsTheHandleBackOpen) {
    long before = win::UniqueEvent::LiveCount();
    HANDLE raw = NewEvent();
    HANDLE back = nullptr;
    {
        win::UniqueEvent event(raw);
        back = event.release();
        EXPECT_FALSE(event);
    }
    EXPECT_EQ(raw, back);
    EXPECT_TRUE(IsOpenHandle(raw));
    EXPECT_EQ(before, win::UniqueEvent::LiveCount());
    ::CloseHandle(raw);
}

TEST(UniqueAny, FileHandlesTreatInvalidHandleValueAsEmpty) {
    long before = win::UniqueFile::LiveCount();
    win::UniqueFile missing(::CreateFileA("Z:\\ombrel\\no\\such\\file", GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing);
    EXPECT_EQ(before, win::UniqueFile::LiveCount());
}

TEST(UniqueAny, KindsAreCountedApart) {
    long events = win::UniqueEvent::LiveCount();
    long threads = win::UniqueThread::LiveCount();
    win::UniqueEvent event(NewEvent());
    EXPECT_EQ(events + 1, win::UniqueEvent::LiveCount());
    EXPECT_EQ(threads, win::UniqueThread::LiveCount());
}

}  // namespace
}  // namespace ombrel::test
