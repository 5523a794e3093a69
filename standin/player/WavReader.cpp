#include "standin/player/WavReader.h"

#include "standin/player/WideText.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "standin/player/WavStream.h"
#include "win/UniqueAny.h"

namespace standin {
namespace {

// Tags larger than this are not tags; the limit keeps a garbage size from allocating gigabytes.
constexpr uint32_t kMaxListBytes = 1u << 20;

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return uint32_t(Get16(p)) | (uint32_t(Get16(p + 2)) << 16); }

class RandomAccessFile {
public:
    explicit RandomAccessFile(const std::wstring& path)
        : file_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        LARGE_INTEGER size{};
        if (file_ && ::GetFileSizeEx(file_.get(), &size)) size_ = uint64_t(size.QuadPart);
    }
    bool IsOpen() const { return bool(file_); }
    uint64_t Size() const { return size_; }

    bool ReadAt(uint64_t offset, void* buffer, uint32_t bytes) {
        if (offset + bytes > size_) return false;
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(offset);
        if (!::SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN)) return false;
        DWORD got = 0;
        return ::ReadFile(file_.get(), buffer, bytes, &got, nullptr) && got == bytes;
    }

private:
    win::UniqueFile file_;
    uint64_t size_ = 0;
};

bool ParseFormat(const std::vector<uint8_t>& d, WavInfo* info, std::string* error) {
    if (d.size() < 16) {
        *error = "fmt chunk too short (" + std::to_string(d.size()) + " bytes)";
        return false;
    }
    const uint16_t tag = Get16(&d[0]);
    info->format.channels = Get16(&d[2]);
    info->format.sampleRate = Get32(&d[4]);
    const uint16_t blockAlign = Get16(&d[12]);
    info->format.bitsPerSample = Get16(&d[14]);
    if (tag == kFormatExtensible) {
        if (d.size() < 40 || Get16(&d[16]) < 22 || std::memcmp(&d[24], kPcmSubtype, 16) != 0) {
            *error = "extensible format without the PCM subtype";
            return false;
        }
        info->extensible = true;
    } else if (tag != kFormatPcm) {
        *error = "unsupported format tag " + std::to_string(tag);
        return false;
    }
    if (!IsPlayableFormat(info->format)) {
        *error = "unsupported PCM layout " + Describe(info->format);
        return false;
    }
    if (blockAlign != info->format.BlockAlign()) {
        *error = "block align " + std::to_string(blockAlign) + " does not match " +
                 Describe(info->format);
        return false;
    }
    return true;
}

// Values end at their first zero; writers differ on whether they store one.
void ParseInfoList(const std::vector<uint8_t>& d, WavTags* tags) {
    if (d.size() < 4 || std::memcmp(d.data(), "INFO", 4) != 0) return;
    size_t pos = 4;
    while (pos + 8 <= d.size()) {
        const uint8_t* id = &d[pos];
        const size_t size = Get32(&d[pos + 4]);
        const size_t body = pos + 8;
        const size_t available = std::min(size, d.size() - body);
        const char* text = reinterpret_cast<const char*>(&d[body]);
        std::string value(text, strnlen(text, available));
        if (std::memcmp(id, "INAM", 4) == 0) tags->title = value;
        if (std::memcmp(id, "IART", 4) == 0) tags->artist = value;
        if (std::memcmp(id, "ICMT", 4) == 0) tags->comment = value;
        if (std::memcmp(id, "IPRD", 4) == 0) tags->album = value;
        if (std::memcmp(id, "IENC", 4) == 0) tags->utf8 = value == "UTF-8";
        pos = body + size + (size & 1);
    }
}

}  // namespace

WavReadResult ReadWavInfo(const std::string& path) { return ReadWavInfo(WideFromAnsi(path)); }

WavReadResult ReadWavInfo(const std::wstring& path) {
    WavReadResult result;
    RandomAccessFile file(path);
    if (!file.IsOpen()) {
        result.error = "cannot open " + AnsiFromWide(path) + " (error " + std::to_string(::GetLastError()) + ")";
        return result;
    }
    uint8_t header[12];
    if (!file.ReadAt(0, header, 12) || std::memcmp(header, "RIFF", 4) != 0 ||
        std::memcmp(header + 8, "WAVE", 4) != 0) {
        result.error = "not a RIFF WAVE file";
        return result;
    }
    // A wrong RIFF size is common: trust it only when it ends before the file does.
    const uint64_t end = std::min<uint64_t>(file.Size(), uint64_t(Get32(header + 4)) + 8);
    bool haveFormat = false;
    bool haveData = false;
    uint32_t declaredData = 0;
    uint64_t pos = 12;
    while (pos + 8 <= end) {
        uint8_t chunk[8];
        if (!file.ReadAt(pos, chunk, 8)) break;
        const uint32_t size = Get32(chunk + 4);
        const uint64_t body = pos + 8;
        const uint32_t available = uint32_t(std::min<uint64_t>(size, end - body));
        if (std::memcmp(chunk, "fmt ", 4) == 0 && !haveFormat) {
            std::vector<uint8_t> d(std::min<uint32_t>(available, 256));
            if (!file.ReadAt(body, d.data(), uint32_t(d.size())) ||
                !ParseFormat(d, &result.info, &result.error)) {
                if (result.error.empty()) result.error = "cannot read the fmt chunk";
                return result;
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "LIST", 4) == 0 && available <= kMaxListBytes) {
            std::vector<uint8_t> d(available);
            if (file.ReadAt(body, d.data(), available)) ParseInfoList(d, &result.info.tags);
        } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
            haveData = true;
            result.info.dataOffset = uint32_t(body);
            result.info.dataBytes = available;
            declaredData = size;
        }
        pos = body + uint64_t(size) + (size & 1);
    }
    if (!haveFormat) {
        result.error = "no fmt chunk";
        return result;
    }
    if (!haveData) {
        result.error = "no data chunk";
        return result;
    }
    const uint32_t align = result.info.format.BlockAlign();
    result.info.dataTruncated = result.info.dataBytes < declaredData;
    result.info.dataBytes -= result.info.dataBytes % align;
    result.info.frames = result.info.dataBytes / align;
    result.ok = true;
    return result;
}

bool ReadWavFile(const std::string& path, WavContents* contents, std::string* error) {
    WavReadResult read = ReadWavInfo(path);
    if (!read.ok) {
        *error = read.error;
        return false;
    }
    contents->format = read.info.format;
    contents->tags = read.info.tags;
    contents->extensible = read.info.extensible;
    contents->pcm.assign(read.info.dataBytes, 0);
    WavStream stream;
    if (!stream.Open(path, read.info) ||
        stream.ReadFrames(contents->pcm.data(), read.info.frames) != read.info.frames) {
        *error = "cannot read the samples of " + path;
        return false;
    }
    return true;
}

}  // namespace standin
