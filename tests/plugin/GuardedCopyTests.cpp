// Text read through pointers the player hands over: good ones copied, bad ones refused.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "plugin/CurrentFile.h"
#include "plugin/GuardedCopy.h"
#include "plugin/SongWorker.h"

namespace ombrel::test {
namespace {

// Two pages: the first readable, the second not, so text can end right at the boundary.
class PageAndGuard {
public:
    PageAndGuard() {
        SYSTEM_INFO info{};
        ::GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<char*>(::VirtualAlloc(nullptr, page_ * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (base_) ::VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    }
    ~PageAndGuard() {
        if (base_) ::VirtualFree(base_, 0, MEM_RELEASE);
    }
    char* PageEnd() const { return base_ + page_; }
    char* Guard() const { return base_ + page_; }
    size_t PageSize() const { return page_; }
    bool ok() const { return base_ != nullptr; }

private:
    char* base_ = nullptr;
    size_t page_ = 0;
};

TEST(GuardedCopy, CopiesGoodTextOfAnyLength) {
    std::string out = "old";
    EXPECT_TRUE(CopyStringGuarded("C:\\Music\\a.wav", &out));
    EXPECT_EQ("C:\\Music\\a.wav", out);
    EXPECT_TRUE(CopyStringGuarded("", &out));
    EXPECT_EQ("", out);
    const std::string longText(kGuardedCopyLimit - 1, 'x');
    EXPECT_TRUE(CopyStringGuarded(longText.c_str(), &out));
    EXPECT_EQ(longText, out);
}

TEST(GuardedCopy, RefusesPointersThatCannotBeReadWithoutAFault) {
    PageAndGuard memory;
    ASSERT_TRUE(memory.ok());
    std::string out = "old";
    EXPECT_FALSE(CopyStringGuarded(nullptr, &out));
    EXPECT_EQ("", out);
    out = "old";
    EXPECT_FALSE(CopyStringGuarded(memory.Guard(), &out));
    EXPECT_EQ("", out);
    EXPECT_FALSE(CopyStringGuarded(reinterpret_cast<const char*>(0x10), &out));

    // Text that runs into the protected page without a terminator.
    char* start = memory.PageEnd() - 6;
    std::memcpy(start, "abcdef", 6);
    out = "old";
    EXPECT_FALSE(CopyStringGuarded(start, &out));
    EXPECT_EQ("", out);

    // A guard page (the way a stack grows) is neither read nor used up.
    DWORD old = 0;
    ASSERT_TRUE(::VirtualProtect(memory.Guard(), memory.PageSize(), PAGE_READWRITE | PAGE_GUARD, &old));
    EXPECT_FALSE(CopyStringGuarded(start, &out));
    MEMORY_BASIC_INFORMATION region{};
    ASSERT_EQ(sizeof region, ::VirtualQuery(memory.Guard(), &region, sizeof region));
    EXPECT_NE(0u, region.Protect & PAGE_GUARD) << "the guard page was touched";
}

TEST(GuardedCopy, TextEndingRightBeforeUnreadableMemoryIsCopied) {
    PageAndGuard memory;
    ASSERT_TRUE(memory.ok());
    char* start = memory.PageEnd() - 6;
    std::memcpy(start, "abcde", 6);
    std::string out;
    EXPECT_TRUE(CopyStringGuarded(start, &out));
    EXPECT_EQ("abcde", out);

    // A whole page of text with its terminator as the page's last byte.
    const size_t length = memory.PageSize() - 1;
    char* whole = memory.PageEnd() - memory.PageSize();
    std::memset(whole, 'p', length);
    whole[length] = '\0';
    EXPECT_TRUE(CopyStringGuarded(whole, &out));
    EXPECT_EQ(std::string(length, 'p'), out);
}

TEST(GuardedCopy, TextWithoutATerminatorWithinTheLimitIsRefused) {
    const std::string text(100, 'y');
    std::string out;
    EXPECT_FALSE(CopyStringGuarded(text.c_str(), &out, 100));
    EXPECT_TRUE(CopyStringGuarded(text.c_str(), &out, 101));
    EXPECT_EQ(text, out);
}

TEST(NotifyPlayingFile, StoresTheAnnouncedPathAndIgnoresABadOne) {
    EXPECT_EQ(S_OK, NotifyPlayingFile("C:\\Music\\first.wav"));
    EXPECT_EQ("C:\\Music\\first.wav", CurrentFile());

    PageAndGuard memory;
    ASSERT_TRUE(memory.ok());
    EXPECT_EQ(E_FAIL, NotifyPlayingFile(memory.Guard()));
    EXPECT_EQ("C:\\Music\\first.wav", CurrentFile());

    // No path only wakes the worker; the current file stays.
    EXPECT_EQ(S_OK, NotifyPlayingFile(nullptr));
    EXPECT_EQ("C:\\Music\\first.wav", CurrentFile());
}

// A player of 5.3 or later announces each file as ANSI text and in UTF-16, in either order: the
// second of a pair completes the file, anything else is an announcement of its own.
TEST(NotifyPlayingFile, ThePairOfAnnouncementsOfOneFileCountsOnce) {
    const std::wstring wide = L"C:\\Music\\caf\u0192\u4E2D.wav";
    const std::string converted = [&] {
        char bytes[64] = {};
        ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, bytes, sizeof bytes, nullptr, nullptr);
        return std::string(bytes);
    }();
    SetCurrentFile(std::string());
    EXPECT_TRUE(AnnounceCurrentFile(converted));
    EXPECT_FALSE(AnnounceCurrentFileW(wide)) << "UTF-16 after ANSI";
    EXPECT_EQ(wide, CurrentPlayingFile().widePath);
    EXPECT_TRUE(AnnounceCurrentFileW(wide)) << "the same file again";
    EXPECT_FALSE(AnnounceCurrentFile(converted)) << "ANSI after UTF-16";
    EXPECT_EQ(converted, CurrentPlayingFile().path);
    EXPECT_TRUE(AnnounceCurrentFile(converted));
    EXPECT_TRUE(AnnounceCurrentFile(converted)) << "an ANSI-only player announcing it twice";
    EXPECT_TRUE(CurrentPlayingFile().widePath.empty());
    EXPECT_TRUE(AnnounceCurrentFileW(L"C:\\Music\\other.wav")) << "another file";

    PageAndGuard memory;
    ASSERT_TRUE(memory.ok());
    EXPECT_EQ(E_FAIL, NotifyPlayingFileW(reinterpret_cast<const wchar_t*>(memory.Guard())));
    EXPECT_EQ(E_FAIL, NotifyPlayingFileW(nullptr));
    // Text up to the guard page, one byte off alignment: copied whole.
    char* end = memory.PageEnd();
    const wchar_t tail[] = L"x.wav";
    char* start = end - sizeof tail - 1;
    std::memcpy(start, tail, sizeof tail);
    std::wstring out;
    EXPECT_TRUE(CopyWideStringGuarded(reinterpret_cast<const wchar_t*>(start), &out));
    EXPECT_EQ(L"x.wav", out);
    std::memset(end - 4, 'z', 4);
    EXPECT_FALSE(CopyWideStringGuarded(reinterpret_cast<const wchar_t*>(end - 4), &out)) << "no terminator";
    SetCurrentFile(std::string());
}

}  // namespace
}  // namespace ombrel::test
