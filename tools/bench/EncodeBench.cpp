#include "tools/bench/EncodeBench.h"

#include <windows.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "standin/wmvcore/CodecCatalogue.h"
#include "standin/wmvcore/WmaEncoder.h"
#include "tools/bench/Timing.h"

namespace ombrel::test::bench {
namespace {

struct CountingOutput final : wmstandin::EncodedOutput {
    size_t blocks = 0;
    void Encoded(LONGLONG, QWORD, const BYTE*, DWORD) override { ++blocks; }
};

double ThreadMs() {
    FILETIME created, ended, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &ended, &kernel, &user);
    auto ms = [](const FILETIME& t) { return ((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4; };
    return ms(kernel) + ms(user);
}

// Encodes seconds of a two-tone signal at the input rate; false on a failure.
bool Run(const WAVEFORMATEX& stream, DWORD rate, double seconds, double* wallMs, double* cpuMs) {
    wmstandin::WmaEncoder encoder;
    if (FAILED(encoder.Open(stream))) return false;
    WAVEFORMATEX input{};
    input.wFormatTag = WAVE_FORMAT_PCM;
    input.nChannels = 2;
    input.nSamplesPerSec = rate;
    input.wBitsPerSample = 16;
    input.nBlockAlign = 4;
    input.nAvgBytesPerSec = rate * 4;
    const int kFrames = 576;
    const size_t blocks = static_cast<size_t>(seconds * rate / kFrames);
    std::vector<std::vector<BYTE>> signal(64, std::vector<BYTE>(kFrames * 4));
    for (size_t b = 0; b < signal.size(); ++b) {
        for (int i = 0; i < kFrames; ++i) {
            const double t = static_cast<double>(b * kFrames + i) / rate;
            const auto left = static_cast<int16_t>(9000 * std::sin(2 * 3.14159265358979 * 440 * t));
            const auto right = static_cast<int16_t>(7000 * std::sin(2 * 3.14159265358979 * 1250 * t));
            std::memcpy(&signal[b][i * 4], &left, 2);
            std::memcpy(&signal[b][i * 4 + 2], &right, 2);
        }
    }
    CountingOutput out;
    const double cpuStart = ThreadMs();
    const int64_t start = Now();
    for (size_t b = 0; b < blocks; ++b) {
        const QWORD time = b * kFrames * 10000000ull / rate;
        if (FAILED(encoder.Encode(input, time, signal[b % signal.size()].data(), kFrames * 4, out))) return false;
    }
    if (FAILED(encoder.Finish(out))) return false;
    *wallMs = TicksToMs(static_cast<double>(Now() - start));
    *cpuMs = ThreadMs() - cpuStart;
    return out.blocks > 0;
}

}  // namespace

EncodeResult MeasureEncoding(double seconds) {
    EncodeResult result;
    const std::vector<wmstandin::CodecEntry>& codecs = wmstandin::AudioCodecs();
    if (codecs.size() < 2 || codecs[1].cbr.empty()) {
        result.error = "the catalogue has no WMA format";
        return result;
    }
    // The default format, the one the run command streams.
    const auto& stream = *reinterpret_cast<const WAVEFORMATEX*>(codecs[1].cbr.front().wave.data());
    result.format = std::string("WMA v2 ") + std::to_string(codecs[1].cbr.front().bitrate) + " bit/s";
    double wall = 0, cpu = 0, resampledWall = 0, resampledCpu = 0;
    if (!Run(stream, 44100, seconds, &wall, &cpu) || !Run(stream, 48000, seconds, &resampledWall, &resampledCpu)) {
        result.error = "the encoder failed";
        return result;
    }
    result.audioSeconds = seconds;
    result.msPerSecond = wall / seconds;
    result.cpuMsPerSecond = cpu / seconds;
    result.resampledMsPerSecond = resampledWall / seconds;
    result.ran = true;
    return result;
}

}  // namespace ombrel::test::bench
