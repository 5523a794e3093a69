#include "standin/wmvcore/WmaEncoder.h"

#include <nserror.h>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "standin/wmvcore/PcmConverter.h"

namespace wmstandin {
namespace {

constexpr LONGLONG kSecond = 10000000;  // 100-ns units

// FFmpeg's own messages would go to the player's console.
void Quiet() noexcept {
    static const bool once = (av_log_set_level(AV_LOG_QUIET), true);
    (void)once;
}

AVCodecContext* OpenCodec(DWORD rate, WORD channels, DWORD bitrate) noexcept {
    Quiet();
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!codec) return nullptr;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context) return nullptr;
    context->sample_rate = static_cast<int>(rate);
    av_channel_layout_default(&context->ch_layout, channels);
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->bit_rate = bitrate;
    context->time_base = AVRational{1, static_cast<int>(rate)};
    if (avcodec_open2(context, codec, nullptr) < 0) avcodec_free_context(&context);
    return context;
}

// Encodes a few blocks of full-scale noise, the hardest input for a constant block size.
bool EncodesNoise(AVCodecContext* context) {
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    bool ok = frame && packet;
    if (ok) {
        frame->nb_samples = context->frame_size;
        frame->format = context->sample_fmt;
        ok = av_channel_layout_copy(&frame->ch_layout, &context->ch_layout) == 0 && av_frame_get_buffer(frame, 0) == 0;
    }
    uint32_t seed = 12345;
    for (int block = 0; ok && block < 4; ++block) {
        for (int c = 0; c < context->ch_layout.nb_channels; ++c) {
            auto* samples = reinterpret_cast<float*>(frame->data[c]);
            for (int i = 0; i < frame->nb_samples; ++i) {
                seed = seed * 1664525u + 1013904223u;
                samples[i] = static_cast<float>(static_cast<int32_t>(seed)) / 2147483648.0f;
            }
        }
        frame->pts = static_cast<int64_t>(block) * context->frame_size;
        ok = avcodec_send_frame(context, frame) == 0;
        while (ok && avcodec_receive_packet(context, packet) == 0) {
            ok = packet->size == context->block_align;
            av_packet_unref(packet);
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    return ok;
}

DWORD BytesPerSecond(const AVCodecContext* context) {
    const QWORD bytes = static_cast<QWORD>(context->block_align) * static_cast<QWORD>(context->sample_rate);
    return static_cast<DWORD>((bytes + context->frame_size - 1) / context->frame_size);
}

AVSampleFormat SampleFormatOf(WORD bits) noexcept {
    switch (bits) {
        case 8: return AV_SAMPLE_FMT_U8;
        case 16: return AV_SAMPLE_FMT_S16;
        default: return AV_SAMPLE_FMT_S32;  // 24 bits are widened to 32 first
    }
}

}  // namespace

bool DescribeWmaFormat(DWORD rate, WORD channels, DWORD bitrate, WmaFormat* format) {
    AVCodecContext* context = OpenCodec(rate, channels, bitrate);
    if (!context) return false;
    const bool ok = context->block_align > 0 && EncodesNoise(context);
    if (ok) {
        WAVEFORMATEX wave{};
        wave.wFormatTag = kWmaV2Tag;
        wave.nChannels = channels;
        wave.nSamplesPerSec = rate;
        wave.nAvgBytesPerSec = BytesPerSecond(context);
        wave.nBlockAlign = static_cast<WORD>(context->block_align);
        wave.wBitsPerSample = 16;
        wave.cbSize = static_cast<WORD>(context->extradata_size);
        const BYTE* head = reinterpret_cast<const BYTE*>(&wave);
        format->wave.assign(head, head + sizeof(wave));
        format->wave.insert(format->wave.end(), context->extradata, context->extradata + context->extradata_size);
        format->bitrate = wave.nAvgBytesPerSec * 8;
    }
    avcodec_free_context(&context);
    return ok;
}

bool IsWmaFormat(const WAVEFORMATEX& format) noexcept {
    return format.wFormatTag == kWmaV2Tag && (format.nChannels == 1 || format.nChannels == 2) &&
           format.nSamplesPerSec >= 8000 && format.nSamplesPerSec <= 48000 && format.nBlockAlign > 0 &&
           format.nAvgBytesPerSec > 0;
}

WmaEncoder::~WmaEncoder() { Close(); }

void WmaEncoder::Close() noexcept {
    avcodec_free_context(&codec_);
    swr_free(&swr_);
    if (fifo_) av_audio_fifo_free(fifo_);
    fifo_ = nullptr;
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    input_ = WAVEFORMATEX{};
    started_ = false;
    queued_ = 0;
}

HRESULT WmaEncoder::Open(const WAVEFORMATEX& stream) noexcept {
    Close();
    if (!IsWmaFormat(stream)) return NS_E_INVALID_OUTPUT_FORMAT;
    // The bit rate the format's bytes per second stand for gives back its block size.
    codec_ = OpenCodec(stream.nSamplesPerSec, stream.nChannels, stream.nAvgBytesPerSec * 8);
    if (!codec_) return NS_E_INVALID_OUTPUT_FORMAT;
    if (codec_->block_align != stream.nBlockAlign) {
        Close();
        return NS_E_INVALID_OUTPUT_FORMAT;
    }
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, stream.nChannels, codec_->frame_size * 4);
    if (!frame_ || !packet_ || !fifo_) {
        Close();
        return E_OUTOFMEMORY;
    }
    frame_->nb_samples = codec_->frame_size;
    frame_->format = AV_SAMPLE_FMT_FLTP;
    if (av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0 || av_frame_get_buffer(frame_, 0) < 0) {
        Close();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT WmaEncoder::Configure(const WAVEFORMATEX& input) noexcept {
    if (!IsSupportedPcm(input)) return NS_E_INVALID_INPUT_FORMAT;
    AVChannelLayout in{};
    av_channel_layout_default(&in, input.nChannels);
    SwrContext* swr = nullptr;
    const int result = swr_alloc_set_opts2(&swr, &codec_->ch_layout, AV_SAMPLE_FMT_FLTP, codec_->sample_rate, &in,
                                           SampleFormatOf(input.wBitsPerSample),
                                           static_cast<int>(input.nSamplesPerSec), 0, nullptr);
    av_channel_layout_uninit(&in);
    if (result < 0 || swr_init(swr) < 0) {
        swr_free(&swr);
        return NS_E_INVALID_INPUT_FORMAT;
    }
    swr_free(&swr_);
    swr_ = swr;
    input_ = input;
    return S_OK;
}

HRESULT WmaEncoder::Encode(const WAVEFORMATEX& input, QWORD time, const BYTE* data, DWORD bytes,
                           EncodedOutput& out) noexcept {
    if (!codec_) return NS_E_INVALID_REQUEST;
    if (!swr_ || input.nSamplesPerSec != input_.nSamplesPerSec || input.nChannels != input_.nChannels ||
        input.wBitsPerSample != input_.wBitsPerSample) {
        // The old resampler's last frames first, so the stream goes on without a gap.
        if (swr_) {
            const HRESULT hr = Resample(nullptr, 0, out);
            if (FAILED(hr)) return hr;
        }
        const HRESULT hr = Configure(input);
        if (FAILED(hr)) return hr;
    }
    if (bytes % input.nBlockAlign != 0) return E_INVALIDARG;
    if (!started_) {
        started_ = true;
        start_ = time;
    }
    const int frames = static_cast<int>(bytes / input.nBlockAlign);
    if (frames == 0) return S_OK;
    if (input.wBitsPerSample != 24) return Resample(data, frames, out);
    wide_.resize(static_cast<size_t>(frames) * input.nChannels * 4);
    for (size_t i = 0, n = static_cast<size_t>(frames) * input.nChannels; i < n; ++i) {
        const BYTE* s = data + i * 3;
        const uint32_t v = (static_cast<uint32_t>(s[0]) << 8) | (static_cast<uint32_t>(s[1]) << 16) |
                           (static_cast<uint32_t>(s[2]) << 24);
        std::memcpy(&wide_[i * 4], &v, 4);
    }
    return Resample(wide_.data(), frames, out);
}

// Converts frames (none: the resampler's own last frames) into the queue and encodes every
// whole block of it.
HRESULT WmaEncoder::Resample(const BYTE* data, int frames, EncodedOutput& out) noexcept {
    const int room = swr_get_out_samples(swr_, frames);
    if (room < 0) return E_FAIL;
    const int channels = codec_->ch_layout.nb_channels;
    const size_t plane = static_cast<size_t>(room) + 1;
    try {
        if (planes_.size() < plane * channels) planes_.resize(plane * channels);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    uint8_t* planes[2] = {reinterpret_cast<uint8_t*>(planes_.data()),
                          reinterpret_cast<uint8_t*>(planes_.data() + plane)};
    const uint8_t* in[1] = {data};
    const int made = swr_convert(swr_, planes, room, data ? in : nullptr, frames);
    if (made < 0) return E_FAIL;
    if (made > 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(planes), made) < made) return E_OUTOFMEMORY;
    return EncodeQueued(false, out);
}

HRESULT WmaEncoder::EncodeQueued(bool all, EncodedOutput& out) noexcept {
    const int size = codec_->frame_size;
    while (av_audio_fifo_size(fifo_) >= size || (all && av_audio_fifo_size(fifo_) > 0)) {
        if (av_frame_make_writable(frame_) < 0) return E_OUTOFMEMORY;
        const int got = av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), size);
        if (got < 0) return E_FAIL;
        for (int c = 0; c < codec_->ch_layout.nb_channels; ++c)
            std::memset(frame_->data[c] + got * sizeof(float), 0, (size - got) * sizeof(float));
        frame_->pts = queued_;
        queued_ += size;
        const HRESULT hr = Send(frame_, out);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT WmaEncoder::Send(const AVFrame* frame, EncodedOutput& out) noexcept {
    // A block the encoder cannot fit is lost, the stream time goes on: a gap, not a stop.
    const int sent = avcodec_send_frame(codec_, frame);
    if (sent < 0 && sent != AVERROR(EINVAL)) return E_FAIL;
    const LONGLONG rate = codec_->sample_rate;
    for (;;) {
        const int got = avcodec_receive_packet(codec_, packet_);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return S_OK;
        if (got < 0) return E_FAIL;
        const LONGLONG time = static_cast<LONGLONG>(start_) + packet_->pts * kSecond / rate;
        const QWORD duration = static_cast<QWORD>(codec_->frame_size) * kSecond / rate;
        out.Encoded(time, duration, packet_->data, static_cast<DWORD>(packet_->size));
        av_packet_unref(packet_);
    }
}

HRESULT WmaEncoder::Finish(EncodedOutput& out) noexcept {
    if (!codec_) return NS_E_INVALID_REQUEST;
    HRESULT hr = S_OK;
    if (swr_) hr = Resample(nullptr, 0, out);
    if (SUCCEEDED(hr)) hr = EncodeQueued(true, out);
    if (SUCCEEDED(hr)) hr = Send(nullptr, out);
    // The encoder has ended its stream; another run opens it again.
    Close();
    return hr;
}

}  // namespace wmstandin
