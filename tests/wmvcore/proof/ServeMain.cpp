// wmvcore_serve: the plug-in's own live encoder, through the runtime stand-in loaded as
// wmvcore.dll, broadcasting a known signal in real time for the FFmpeg proofs (ffmpeg_proof.sh
// for PCM, ffmpeg_wma_proof.sh for WMA) and the listeners' test (listeners_e2e.sh).
//   wmvcore_serve [--codec NAME] [--format N] [--tones] [--clients N] <port> <seconds>
//                 <change-at-seconds> <new-rate> [archive file]
// The encoder is driven as the plug-in drives it: Initialize, SetBroadcastPort, SetMaxClients
// (5, or --clients N for the listeners' test, which has more players than that listening at once),
// Configure with the default settings (script stream on; --codec and --format choose another
// audio codec by name and format index), the nine content attributes, Start;
// then 576-frame blocks of 16-bit stereo with WriteAudio, a "TEXT" title with WriteScript at
// every whole second of stream time, and GetStatistics / GetClientCount polled while it runs.
//
// Up to the change the input is 44100 Hz and frame n is, per channel c,
// (uint16)((n * 2654435761 + c * 40503) >> 16) ^ (c ? n : 0) — every frame tells its own index.
// At the first block boundary at or past <change-at-seconds> (0: never) the input switches to
// <new-rate> Hz with ChangeInputFormat and carries a 440 Hz sine (amplitude 12000, channel 1
// inverted); the stream itself stays at 44100 Hz.
// With --tones the input is a track of tones instead, from the start and across the change: a
// new track every two seconds of stream time, at the block of every even "Song k" title, each a
// sine of its own frequency and level, the same on both channels (TONES lists them).
//
// Lines printed (each flushed at once):
//   READY <port>                    the encoder started and listens
//   SCRIPT <k> <time in 100 ns>     "Song <k>" written at that stream position
//   CHANGE <rate> <time in 100 ns>  the input format changed there
//   TONES <hz>:<amplitude> ...      with --tones: each track's tone, in order
//   CLIENTS <n>                     the listener count, whenever it differs from the last one
//   STATS <bytes> <current bit rate> <average bit rate>   once a second and after the last block
//   DONE                            after Stop and Release
#include <windows.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "encoder/Catalogue.h"
#include "encoder/LiveEncoder.h"

namespace {

void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int Fail(ombrel::LiveEncoder* encoder, const char* step, HRESULT hr) {
    char text[256] = {};
    if (encoder) encoder->GetErrorText(text, sizeof text);
    std::fprintf(stderr, "%s failed (hr=0x%08lx) %s\n", step, static_cast<unsigned long>(hr), text);
    std::fflush(stderr);
    return 1;
}

int16_t Sample(uint32_t n, uint32_t c) {
    const uint32_t mixed = (n * 2654435761u + c * 40503u) >> 16;
    return static_cast<int16_t>(static_cast<uint16_t>(mixed ^ (c ? n : 0)));
}

// The tracks of --tones: frequency and amplitude of a 16-bit sine.
struct Tone {
    double hz;
    double amplitude;
};
constexpr Tone kTones[] = {{440, 16000}, {1000, 8000}, {2500, 11000}, {660, 20000}, {1500, 5000}, {3300, 9000}};

void Put(BYTE*& out, int16_t s) {
    *out++ = static_cast<BYTE>(s);
    *out++ = static_cast<BYTE>(static_cast<uint16_t>(s) >> 8);
}

}  // namespace

int main(int argc, char** argv) {
    const char* codecName = nullptr;
    DWORD formatIndex = 0;
    bool tones = false;
    DWORD maxClients = 5;
    while (argc > 1 && std::strncmp(argv[1], "--", 2) == 0) {
        if (std::strcmp(argv[1], "--tones") == 0) {
            tones = true;
        } else if (argc > 2 && std::strcmp(argv[1], "--codec") == 0) {
            codecName = argv[2];
            --argc, ++argv;
        } else if (argc > 2 && std::strcmp(argv[1], "--clients") == 0) {
            maxClients = std::strtoul(argv[2], nullptr, 10);
            --argc, ++argv;
        } else if (argc > 2 && std::strcmp(argv[1], "--format") == 0) {
            formatIndex = std::strtoul(argv[2], nullptr, 10);
            --argc, ++argv;
        } else {
            break;
        }
        --argc, ++argv;
    }
    if (argc < 5) {
        std::fprintf(stderr, "usage: wmvcore_serve [--codec NAME] [--format N] [--tones] [--clients N] <port> "
                             "<seconds> <change-at-seconds> <new-rate> [archive]\n");
        return 2;
    }
    const DWORD port = std::strtoul(argv[1], nullptr, 10);
    const DWORD seconds = std::strtoul(argv[2], nullptr, 10);
    const DWORD changeAt = std::strtoul(argv[3], nullptr, 10);
    const INT32 newRate = static_cast<INT32>(std::strtol(argv[4], nullptr, 10));

    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    InputFormat format{};
    format.audioEnabled = TRUE;
    format.sampleRate = 44100;
    format.channels = 2;
    format.bitsPerSample = 16;
    format.scriptEnabled = TRUE;
    EncoderSettings settings{};
    HRESULT hr = ombrel::FillDefaultEncoderSettings(nullptr, &settings);
    if (FAILED(hr)) return Fail(nullptr, "FillDefaultEncoderSettings", hr);
    if (codecName) {
        WCHAR name[128] = {};
        ::MultiByteToWideChar(CP_UTF8, 0, codecName, -1, name, 127);
        DWORD codec = 0;
        if (FAILED(hr = ombrel::FindCodecIndex(WMMEDIATYPE_Audio, name, &codec))) return Fail(nullptr, "FindCodecIndex", hr);
        settings.audio.codecIndex = codec;
    }
    settings.audio.formatIndex = formatIndex;
    if (tones) {
        std::string list = "TONES";
        for (const Tone& tone : kTones) list += " " + std::to_string(std::lround(tone.hz)) + ":" + std::to_string(std::lround(tone.amplitude));
        Say("%s", list.c_str());
    }

    ombrel::LiveEncoder* encoder = nullptr;
    hr = ombrel::WMLiveCreateInterface(&encoder);
    if (FAILED(hr) || !encoder) return Fail(nullptr, "WMLiveCreateInterface", hr);
    if (FAILED(hr = encoder->Initialize())) return Fail(encoder, "Initialize", hr);
    if (FAILED(hr = encoder->SetBroadcastPort(port))) return Fail(encoder, "SetBroadcastPort", hr);
    if (FAILED(hr = encoder->SetMaxClients(maxClients))) return Fail(encoder, "SetMaxClients", hr);
    if (FAILED(hr = encoder->Configure(&format, &settings))) return Fail(encoder, "Configure", hr);
    const WCHAR* const attributes[][2] = {
        {L"Title", L"Proof Title"},           {L"Author", L"Proof Author"},
        {L"Description", L"Proof Description"}, {L"Copyright", L"Proof Copyright"},
        {L"WM/Genre", L"Proof Genre"},         {L"WM/AlbumTitle", L"Proof Album"},
        {L"WM/Composer", L"Proof Composer"},   {L"WM/EncodedBy", L"Proof EncodedBy"},
        {L"WM/Publisher", L"Proof Publisher"},
    };
    for (const auto& a : attributes)
        if (FAILED(hr = encoder->SetStringAttribute(a[0], a[1]))) return Fail(encoder, "SetStringAttribute", hr);
    if (argc > 5) {
        WCHAR archive[MAX_PATH] = {};
        ::MultiByteToWideChar(CP_ACP, 0, argv[5], -1, archive, MAX_PATH);
        if (FAILED(hr = encoder->SetArchiveFile(archive))) return Fail(encoder, "SetArchiveFile", hr);
    }
    if (FAILED(hr = encoder->Start())) return Fail(encoder, "Start", hr);
    Say("READY %lu", static_cast<unsigned long>(port));

    const INT32 kBlock = 576;
    std::vector<BYTE> pcm(kBlock * 4);
    uint64_t offset = 0;     // stream time before the current format, 100 ns
    uint64_t atRate = 0;     // frames written at the current rate
    uint32_t index = 0;      // frames of the indexed signal written
    uint64_t sineFrames = 0;  // frames of the sine written
    size_t track = 0;         // with --tones
    double phase = 0;         // of the track's tone, in cycles
    uint32_t nextTitle = 0;
    bool changed = false;
    DWORD clients = 0;
    DWORD lastStats = 0;
    const uint64_t end = static_cast<uint64_t>(seconds) * 10000000;
    const DWORD started = ::GetTickCount();
    auto stats = [&] {
        WM_WRITER_STATISTICS s{};
        const HRESULT r = encoder->GetStatistics(&s);
        if (FAILED(r)) return Say("STATS failed 0x%08lx", static_cast<unsigned long>(r));
        Say("STATS %llu %lu %lu", static_cast<unsigned long long>(s.qwByteCount),
            static_cast<unsigned long>(s.dwCurrentBitrate), static_cast<unsigned long>(s.dwAverageBitrate));
    };
    for (;;) {
        const uint64_t now = offset + atRate * 10000000 / static_cast<uint64_t>(format.sampleRate);
        if (now >= end) break;
        if (changeAt && !changed && now >= static_cast<uint64_t>(changeAt) * 10000000) {
            InputFormat next = format;
            next.sampleRate = newRate;
            if (FAILED(hr = encoder->ChangeInputFormat(&next))) return Fail(encoder, "ChangeInputFormat", hr);
            format = next;
            offset = now;
            atRate = 0;
            changed = true;
            Say("CHANGE %ld %llu", static_cast<long>(newRate), static_cast<unsigned long long>(now));
        }
        while (now >= static_cast<uint64_t>(nextTitle) * 10000000) {
            const std::wstring title = L"Song " + std::to_wstring(nextTitle);
            if (FAILED(hr = encoder->WriteScript(L"TEXT", title.c_str()))) return Fail(encoder, "WriteScript", hr);
            Say("SCRIPT %u %llu", nextTitle, static_cast<unsigned long long>(now));
            if (tones && nextTitle % 2 == 0) track = (nextTitle / 2) % (sizeof kTones / sizeof kTones[0]);
            ++nextTitle;
        }
        BYTE* out = pcm.data();
        for (INT32 i = 0; i < kBlock; ++i) {
            if (tones) {
                const auto s = static_cast<int16_t>(std::lround(kTones[track].amplitude * std::sin(2 * 3.14159265358979 * phase)));
                phase += kTones[track].hz / format.sampleRate;
                if (phase >= 1) phase -= 1;
                Put(out, s);
                Put(out, s);
            } else if (!changed) {
                Put(out, Sample(index, 0));
                Put(out, Sample(index, 1));
                ++index;
            } else {
                const double t = static_cast<double>(sineFrames++) / format.sampleRate;
                const auto s = static_cast<int16_t>(std::lround(12000 * std::sin(2 * 3.14159265358979 * 440 * t)));
                Put(out, s);
                Put(out, static_cast<int16_t>(-s));
            }
        }
        if (FAILED(hr = encoder->WriteAudio(pcm.data(), kBlock))) return Fail(encoder, "WriteAudio", hr);
        atRate += kBlock;

        DWORD count = 0;
        if (SUCCEEDED(encoder->GetClientCount(&count)) && count != clients) {
            clients = count;
            Say("CLIENTS %lu", static_cast<unsigned long>(count));
        }
        // Real time: the clock is never behind the stream by more than a block.
        const uint64_t written = offset + atRate * 10000000 / static_cast<uint64_t>(format.sampleRate);
        const DWORD due = static_cast<DWORD>(written / 10000);
        const DWORD elapsed = ::GetTickCount() - started;
        if (elapsed / 1000 != lastStats) {
            lastStats = elapsed / 1000;
            stats();
        }
        if (due > elapsed) ::Sleep(due - elapsed);
    }
    stats();
    if (FAILED(hr = encoder->Stop())) return Fail(encoder, "Stop", hr);
    encoder->Release();
    ::CoUninitialize();
    Say("DONE");
    return 0;
}
