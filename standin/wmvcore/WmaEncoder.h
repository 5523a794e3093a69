// The Windows Media Audio encoder behind the writer's compressed audio streams: FFmpeg's wmav2,
// which writes the WMA v2 bitstream (format tag 0x0161) of the runtime's "Windows Media Audio 9.x"
// codecs, with libswresample turning whatever PCM the writer's input is fed into the stream's
// rate and channels. Constant bit rate only: every block has the format's block alignment.
#pragma once

#include "encoder/WmSdk.h"

#include <vector>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace wmstandin {

constexpr WORD kWmaV2Tag = 0x0161;

// What the encoder makes of a rate, a channel count and an asked bit rate.
struct WmaFormat {
    std::vector<BYTE> wave;  // a WAVEFORMATEX (tag 0x0161) followed by the encoder's extra bytes
    DWORD bitrate = 0;       // bits per second the blocks take, rounded up to whole bytes per second
};

// False when the encoder refuses the combination, or cannot keep a full-scale wide-band signal
// within the block size at that bit rate: such a format is not offered.
bool DescribeWmaFormat(DWORD rate, WORD channels, DWORD bitrate, WmaFormat* format);

// A WAVEFORMATEX with tag 0x0161 the encoder can open; its extra bytes are not read.
bool IsWmaFormat(const WAVEFORMATEX& format) noexcept;

class EncodedOutput {
public:
    // One block at its stream time in 100-ns units, negative for the block that carries the
    // encoder's start-up delay. The bytes are valid during the call.
    virtual void Encoded(LONGLONG time, QWORD duration, const BYTE* data, DWORD size) = 0;
    // Every sample handed to the encoding thread so far is encoded (only the encoder's own
    // remainder, less than a block and its delay, waits for more input).
    virtual void CaughtUp() {}

protected:
    ~EncodedOutput() = default;
};

class WmaEncoder {
public:
    WmaEncoder() = default;
    ~WmaEncoder();
    WmaEncoder(const WmaEncoder&) = delete;
    WmaEncoder& operator=(const WmaEncoder&) = delete;

    // For a stream of this format (IsWmaFormat); NS_E_INVALID_OUTPUT_FORMAT when the encoder
    // would write another block size than the format's.
    HRESULT Open(const WAVEFORMATEX& stream) noexcept;
    // PCM of the input format (IsSupportedPcm), whole frames. The first call after Open sets the
    // stream time of the first frame; the blocks after it follow on sample by sample, also
    // across a change of input format.
    HRESULT Encode(const WAVEFORMATEX& input, QWORD time, const BYTE* data, DWORD bytes, EncodedOutput& out) noexcept;
    // Encodes what is left, the last block filled with silence, and the encoder's delayed blocks;
    // then the encoder is closed until the next Open.
    HRESULT Finish(EncodedOutput& out) noexcept;

private:
    void Close() noexcept;
    HRESULT Resample(const BYTE* data, int frames, EncodedOutput& out) noexcept;
    HRESULT Configure(const WAVEFORMATEX& input) noexcept;
    HRESULT EncodeQueued(bool all, EncodedOutput& out) noexcept;
    HRESULT Send(const AVFrame* frame, EncodedOutput& out) noexcept;

    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    WAVEFORMATEX input_{};
    bool started_ = false;
    QWORD start_ = 0;         // stream time of the first frame, 100 ns
    LONGLONG queued_ = 0;     // frames handed to the encoder, at the stream's rate
    std::vector<BYTE> wide_;  // 24-bit input widened to 32
    std::vector<float> planes_;
};

}  // namespace wmstandin
