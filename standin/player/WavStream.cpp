#include "standin/player/WavStream.h"

#include <windows.h>

#include <algorithm>

#include "standin/player/WideText.h"

namespace standin {

bool WavStream::Open(const std::string& path, const WavInfo& info) {
    return Open(WideFromAnsi(path), info);
}

bool WavStream::Open(const std::wstring& path, const WavInfo& info) {
    file_.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    framesLeft_ = 0;
    if (!file_) return false;
    if (::SetFilePointer(file_.get(), LONG(info.dataOffset), nullptr, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER)
        return false;
    blockAlign_ = info.format.BlockAlign();
    framesLeft_ = info.frames;
    return blockAlign_ != 0;
}

uint32_t WavStream::ReadFrames(void* buffer, uint32_t frames) {
    frames = std::min(frames, framesLeft_);
    if (frames == 0) return 0;
    const DWORD wanted = frames * blockAlign_;
    DWORD got = 0;
    if (!::ReadFile(file_.get(), buffer, wanted, &got, nullptr)) got = 0;
    const uint32_t read = got / blockAlign_;
    // A file that shrank under us ends here rather than handing on stale bytes.
    framesLeft_ = read == frames ? framesLeft_ - read : 0;
    return read;
}

}  // namespace standin
