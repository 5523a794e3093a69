// Where a broadcast's recording goes: its name from the start's local time, a free name beside
// earlier recordings, and the empty file a start that failed leaves behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "plugin/Recording.h"
#include "plugin/RecordingFile.h"
#include "plugin/Settings.h"
#include "tests/plugin/RecordingEncoder.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

class RecordingFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        WCHAR temp[MAX_PATH] = L"";
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"ombrel-recording-" + std::to_wstring(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
        start_.wYear = 2026;
        start_.wMonth = 3;
        start_.wDay = 14;
        start_.wHour = 9;
        start_.wMinute = 30;
        start_.wSecond = 5;
        saved_ = _settings.extra;
    }
    void TearDown() override {
        for (const wchar_t* name : {L"ombrel-20260314-093005.wma", L"ombrel-20260314-093005-2.wma"})
            ::DeleteFileW((folder_ + L"\\" + name).c_str());
        ::RemoveDirectoryW(folder_.c_str());
        _settings.extra = saved_;
    }
    void Touch(const std::wstring& name, const char* bytes) {
        win::UniqueFile file(::CreateFileW((folder_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                                           nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ::WriteFile(file.get(), bytes, DWORD(strlen(bytes)), &written, nullptr);
    }
    bool Exists(const std::wstring& name) {
        return ::GetFileAttributesW((folder_ + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::wstring folder_;
    SYSTEMTIME start_{};
    ExtraSettings saved_;
};

TEST_F(RecordingFileTest, EachBroadcastGetsAFreeNameAfterItsStartAndNeverAnEarlierOnesFile) {
    EXPECT_EQ(L"ombrel-20260314-093005.wma", ArchiveFileName(start_));
    EXPECT_EQ(folder_ + L"\\ombrel-20260314-093005.wma", FreeArchivePath(folder_, start_));
    EXPECT_EQ(folder_ + L"\\ombrel-20260314-093005.wma", FreeArchivePath(folder_ + L"\\", start_));
    Touch(L"ombrel-20260314-093005.wma", "first");
    EXPECT_EQ(folder_ + L"\\ombrel-20260314-093005-2.wma", FreeArchivePath(folder_, start_));
    Touch(L"ombrel-20260314-093005-2.wma", "second");
    EXPECT_EQ(folder_ + L"\\ombrel-20260314-093005-3.wma", FreeArchivePath(folder_, start_));
    EXPECT_EQ(L"", FreeArchivePath(L"", start_));
}

// A start that fails after the file sink made its file (the port taken, say) leaves no empty
// recording behind; a broadcast that went on air keeps its file.
TEST_F(RecordingFileTest, AFailedStartRemovesTheEmptyFileItsSinkMade) {
    _settings.extra._fArchive = TRUE;
    _settings.extra._cArchiveFolder = folder_;
    EncoderScript script;
    RecordingEncoder encoder(script);
    StartRecording(encoder, start_);
    EXPECT_EQ(RecordingState::Kind::Recording, CurrentRecording(nullptr).kind);
    EXPECT_EQ(L"ombrel-20260314-093005.wma", CurrentRecording(nullptr).fileName);
    Touch(L"ombrel-20260314-093005.wma", "");
    EndRecording(false);
    EXPECT_FALSE(Exists(L"ombrel-20260314-093005.wma"));
    EXPECT_EQ(RecordingState::Kind::Off, CurrentRecording(nullptr).kind);

    StartRecording(encoder, start_);
    Touch(L"ombrel-20260314-093005.wma", "ASF");
    EndRecording(true);
    EXPECT_TRUE(Exists(L"ombrel-20260314-093005.wma"));

    // Switched off, the encoder is given no file.
    _settings.extra._fArchive = FALSE;
    StartRecording(encoder, start_);
    EXPECT_EQ(RecordingState::Kind::Off, CurrentRecording(nullptr).kind);
    EndRecording(true);
}

}  // namespace
}  // namespace ombrel::test
