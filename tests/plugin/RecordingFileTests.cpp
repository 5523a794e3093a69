// Where a broadcast's recording goes: its name from the start's local time, a free name beside
// earlier recordings, and no empty file left by a start that failed.
#include <windows.h>

#include <gtest/gtest.h>

#include "plugin/Recording.h"
#include "plugin/RecordingFile.h"
#include "plugin/Settings.h"
#include "tests/common/Files.h"
#include "tests/plugin/RecordingEncoder.h"

namespace ombrel::test {
namespace {

TEST(RecordingFile, EachBroadcastGetsAFreeNameAfterItsStartAndAFailedStartLeavesNoEmptyFile) {
    const std::string narrow = ExeFolder() + "\\recordings-" + std::to_string(::GetCurrentProcessId());
    const std::wstring folder(narrow.begin(), narrow.end());
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const SYSTEMTIME start{2026, 3, 6, 14, 9, 30, 5, 0};
    const std::wstring first = folder + L"\\ombrel-20260314-093005.wma";
    const std::wstring second = folder + L"\\ombrel-20260314-093005-2.wma";
    EXPECT_EQ(first, FreeArchivePath(folder + L"\\", start));
    ASSERT_TRUE(WriteWholeFile(narrow + "\\ombrel-20260314-093005.wma", "ASF"));
    EXPECT_EQ(second, FreeArchivePath(folder, start));  // an earlier recording is never overwritten
    EXPECT_EQ(L"", FreeArchivePath(L"", start));

    const ExtraSettings saved = _settings.extra;
    _settings.extra._fArchive = TRUE;
    _settings.extra._cArchiveFolder = folder;
    RecordingEncoder encoder{EncoderScript()};
    StartRecording(encoder, start);
    EXPECT_EQ(L"ombrel-20260314-093005-2.wma", CurrentRecording(nullptr).fileName);
    ASSERT_TRUE(WriteWholeFile(narrow + "\\ombrel-20260314-093005-2.wma", ""));  // as the sink makes it
    EndRecording(false);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(second.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(first.c_str()));
    _settings.extra = saved;
    ::DeleteFileW(first.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace ombrel::test
