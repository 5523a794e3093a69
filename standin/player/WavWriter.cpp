#include "standin/player/WavWriter.h"

#include "standin/player/WideText.h"

#include <windows.h>

#include <algorithm>

#include "win/UniqueAny.h"

namespace standin {
namespace {


void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutId(std::vector<uint8_t>& out, const std::string& id) {
    for (size_t i = 0; i < 4; ++i) out.push_back(i < id.size() ? uint8_t(id[i]) : ' ');
}

void PutChunk(std::vector<uint8_t>& out, const std::string& id, const std::vector<uint8_t>& data) {
    PutId(out, id);
    Put32(out, uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) out.push_back(0);
}

std::vector<uint8_t> FormatChunk(const WavContents& c) {
    const WavFormat& f = c.format;
    std::vector<uint8_t> d;
    Put16(d, c.extensible ? kFormatExtensible : kFormatPcm);
    Put16(d, f.channels);
    Put32(d, f.sampleRate);
    Put32(d, f.sampleRate * f.BlockAlign());
    Put16(d, f.BlockAlign());
    Put16(d, f.bitsPerSample);
    if (c.extensible) {
        Put16(d, 22);
        Put16(d, f.bitsPerSample);  // valid bits
        Put32(d, 0);                // no speaker mask
        d.insert(d.end(), std::begin(kPcmSubtype), std::end(kPcmSubtype));
    }
    return d;
}

// The INFO values carry their terminating zero, as common tag writers store them.
std::vector<uint8_t> InfoList(const WavTags& tags) {
    std::vector<uint8_t> d;
    PutId(d, "INFO");
    auto add = [&d](const char* id, const std::optional<std::string>& value) {
        if (!value) return;
        std::vector<uint8_t> text(value->begin(), value->end());
        text.push_back(0);
        PutChunk(d, id, text);
    };
    add("INAM", tags.title);
    add("IART", tags.artist);
    add("ICMT", tags.comment);
    add("IPRD", tags.album);
    if (tags.utf8) add("IENC", std::string("UTF-8"));
    return d;
}

bool HasTags(const WavTags& t) { return t.title || t.artist || t.comment || t.album; }

}  // namespace

std::vector<uint8_t> BuildWavBytes(const WavContents& contents) {
    std::vector<uint8_t> body;
    PutId(body, "WAVE");
    PutChunk(body, "fmt ", FormatChunk(contents));
    for (const RiffChunk& chunk : contents.extraChunks) PutChunk(body, chunk.id, chunk.data);
    const bool tags = HasTags(contents.tags);
    if (tags && !contents.tagsAfterData) PutChunk(body, "LIST", InfoList(contents.tags));
    PutChunk(body, "data", contents.pcm);
    if (tags && contents.tagsAfterData) PutChunk(body, "LIST", InfoList(contents.tags));

    std::vector<uint8_t> out;
    PutId(out, "RIFF");
    Put32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    return WriteBytesToFile(WideFromAnsi(path), bytes);
}

bool WriteBytesToFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

bool WriteWavFile(const std::string& path, const WavContents& contents) {
    return WriteBytesToFile(path, BuildWavBytes(contents));
}

bool WriteWavFile(const std::wstring& path, const WavContents& contents) {
    return WriteBytesToFile(path, BuildWavBytes(contents));
}

}  // namespace standin
