#include "plugin/Recording.h"

#include "plugin/RecordingFile.h"
#include "plugin/Settings.h"

namespace ombrel {
namespace {

// The main thread's only: start, stop and the monitor all run there.
RecordingState g_state;
std::wstring g_path;

std::wstring FileNameOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

bool IsEmptyFile(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    return !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.nFileSizeHigh == 0 && data.nFileSizeLow == 0;
}

}  // namespace

void StartRecording(LiveEncoder& encoder, const SYSTEMTIME& localStart) {
    g_state = RecordingState();
    g_path.clear();
    if (!_settings.extra._fArchive) return;

    const std::wstring path = FreeArchivePath(_settings.extra._cArchiveFolder, localStart);
    g_state.fileName = FileNameOf(path);
    if (path.empty()) {
        g_state.kind = RecordingState::Kind::NotStarted;
        g_state.result = HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
        return;
    }
    const HRESULT hr = encoder.SetArchiveFile(path.c_str());
    if (FAILED(hr)) {
        // No message box: the broadcast starts all the same, and the monitor names the reason.
        g_state.kind = RecordingState::Kind::NotStarted;
        g_state.result = hr;
        g_path = path;  // the sink may have made the file before it failed
        return;
    }
    g_state.kind = RecordingState::Kind::Recording;
    g_path = path;
}

void EndRecording(bool wentOnAir) {
    const bool leftEmpty = !g_path.empty() && (!wentOnAir || g_state.kind == RecordingState::Kind::NotStarted);
    if (leftEmpty && IsEmptyFile(g_path)) ::DeleteFileW(g_path.c_str());
    g_state = RecordingState();
    g_path.clear();
}

RecordingState CurrentRecording(LiveEncoder* encoder) {
    if (encoder && g_state.kind == RecordingState::Kind::Recording) {
        HRESULT written = S_OK;
        if (SUCCEEDED(encoder->GetArchiveState(&written)) && FAILED(written)) {
            g_state.kind = RecordingState::Kind::Stopped;
            g_state.result = written;
        }
    }
    return g_state;
}

}  // namespace ombrel
