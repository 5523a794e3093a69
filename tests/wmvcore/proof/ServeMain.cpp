// wmvcore_serve: the multiplexer and both sinks serving a known signal in real time, for the
// FFmpeg proof (ffmpeg_proof.sh). Frame n of the 16-bit signal is, per channel c,
// (uint16)((n * 2654435761 + c * 40503) >> 16) ^ (c ? n : 0) — every frame tells its own index.
// A script sample "TEXT" + "Song <k>" (two UTF-16 strings) is written at k seconds.
//   wmvcore_serve <port> <seconds> <rate> <channels> [file]
// Prints "READY <port>" once the network sink listens and the header is out.
#include <winsock.h>
#include <mmreg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "standin/wmvcore/AsfMuxer.h"
#include "standin/wmvcore/Sinks.h"
#include "win/ComPtr.h"

namespace {

class Buffer final : public INSSBuffer {
public:
    explicit Buffer(const std::vector<BYTE>& bytes) : bytes_(bytes) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetLength(DWORD* n) override { *n = static_cast<DWORD>(bytes_.size()); return S_OK; }
    HRESULT STDMETHODCALLTYPE SetLength(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* n) override { return GetLength(n); }
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** b) override { *b = const_cast<BYTE*>(bytes_.data()); return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** b, DWORD* n) override {
        GetBuffer(b);
        return GetLength(n);
    }

private:
    const std::vector<BYTE>& bytes_;
};

std::vector<BYTE> Utf16(const std::wstring& s) {
    std::vector<BYTE> v;
    for (wchar_t c : s) {
        v.push_back(static_cast<BYTE>(c));
        v.push_back(static_cast<BYTE>(c >> 8));
    }
    v.push_back(0);
    v.push_back(0);
    return v;
}

int16_t Sample(uint32_t n, uint32_t c) {
    const uint32_t mixed = (n * 2654435761u + c * 40503u) >> 16;
    return static_cast<int16_t>(static_cast<uint16_t>(mixed ^ (c ? n : 0)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: wmvcore_serve <port> <seconds> <rate> <channels> [file]\n");
        return 2;
    }
    DWORD port = std::strtoul(argv[1], nullptr, 10);
    const DWORD seconds = std::strtoul(argv[2], nullptr, 10);
    const DWORD rate = std::strtoul(argv[3], nullptr, 10);
    const WORD channels = static_cast<WORD>(std::strtoul(argv[4], nullptr, 10));

    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = channels;
    wave.nSamplesPerSec = rate;
    wave.wBitsPerSample = 16;
    wave.nBlockAlign = static_cast<WORD>(channels * 2);
    wave.nAvgBytesPerSec = rate * wave.nBlockAlign;
    wmstandin::AsfStream audio;
    audio.number = 1;
    audio.mediaType = WMMEDIATYPE_Audio;
    audio.format.assign(reinterpret_cast<BYTE*>(&wave), reinterpret_cast<BYTE*>(&wave) + sizeof wave);
    audio.bitrate = wave.nAvgBytesPerSec * 8;
    audio.bufferWindow = 3000;
    audio.name = L"Audio";
    audio.language = L"en-us";
    wmstandin::AsfStream script;
    script.number = 2;
    script.mediaType = WMMEDIATYPE_Script;
    script.bitrate = 2000;
    script.bufferWindow = 3000;
    script.name = L"Script";
    script.language = L"en-us";
    std::vector<wmstandin::AsfAttribute> attributes;
    const wchar_t* pairs[][2] = {
        {L"Title", L"Proof Title"},        {L"Author", L"Proof Author"},
        {L"Copyright", L"Proof Copyright"}, {L"Description", L"Proof Description"},
        {L"WM/Genre", L"Proof Genre"},      {L"WM/AlbumTitle", L"Proof Album"},
        {L"WM/Composer", L"Proof Composer"}, {L"WM/EncodedBy", L"Proof EncodedBy"},
        {L"WM/Publisher", L"Proof Publisher"},
    };
    for (auto& p : pairs) attributes.push_back({p[0], WMT_TYPE_STRING, Utf16(p[1])});
    wmstandin::AsfMuxer muxer({audio, script}, attributes);

    win::ComPtr<IWMWriterNetworkSink> net;
    if (FAILED(wmstandin::CreateNetworkSink(net.put()))) return 1;
    net->SetNetworkProtocol(WMT_PROTOCOL_HTTP);
    net->SetMaximumClients(5);
    HRESULT hr = net->Open(&port);
    if (FAILED(hr)) {
        std::fprintf(stderr, "Open failed 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    win::ComPtr<IWMWriterFileSink> file;
    if (argc > 5) {
        std::wstring path(argv[5], argv[5] + std::strlen(argv[5]));
        if (FAILED(wmstandin::CreateFileSink(file.put())) || FAILED(file->Open(path.c_str()))) {
            std::fprintf(stderr, "file sink failed\n");
            return 1;
        }
    }
    const std::vector<BYTE> header = muxer.Header();
    Buffer headerBuffer(header);
    net->OnHeader(&headerBuffer);
    if (file) file->OnHeader(&headerBuffer);
    std::printf("READY %lu\n", static_cast<unsigned long>(port));
    std::fflush(stdout);

    std::vector<wmstandin::AsfPacket> packets;
    auto deliver = [&] {
        for (const auto& p : packets) {
            Buffer unit(p);
            net->OnDataUnit(&unit);
            if (file) file->OnDataUnit(&unit);
        }
        packets.clear();
    };
    const DWORD block = 576;
    const uint64_t total = static_cast<uint64_t>(rate) * seconds;
    const DWORD start = ::GetTickCount();
    uint32_t nextScript = 0;
    std::vector<BYTE> pcm(block * wave.nBlockAlign);
    for (uint64_t n = 0; n < total; n += block) {
        const QWORD time = n * 10000000 / rate;
        if (n >= static_cast<uint64_t>(nextScript) * rate) {
            std::vector<BYTE> sample = Utf16(L"TEXT");
            const auto title = Utf16(L"Song " + std::to_wstring(nextScript));
            sample.insert(sample.end(), title.begin(), title.end());
            muxer.AddSample(2, static_cast<QWORD>(nextScript) * 10000000, sample.data(),
                            static_cast<DWORD>(sample.size()), true, &packets);
            ++nextScript;
        }
        BYTE* out = pcm.data();
        for (DWORD i = 0; i < block; ++i) {
            for (WORD c = 0; c < channels; ++c) {
                const int16_t s = Sample(static_cast<uint32_t>(n + i), c);
                *out++ = static_cast<BYTE>(s);
                *out++ = static_cast<BYTE>(static_cast<uint16_t>(s) >> 8);
            }
        }
        muxer.AddSample(1, time, pcm.data(), static_cast<DWORD>(pcm.size()), true, &packets);
        deliver();
        // Real time: never ahead of the clock by more than a block.
        const DWORD due = static_cast<DWORD>(time / 10000);
        const DWORD now = ::GetTickCount() - start;
        if (due > now) ::Sleep(due - now);
    }
    muxer.Flush(&packets);
    deliver();
    net->OnEndWriting();
    if (file) file->OnEndWriting();
    ::Sleep(500);
    net->Close();
    std::printf("DONE\n");
    std::fflush(stdout);
    return 0;
}
