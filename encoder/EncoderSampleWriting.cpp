// Uncompressed samples into the writer: PCM stamped by the audio clock, video frames by the
// wall clock, and the clock itself.
#include <windows.h>
#include <mmsystem.h>

#include <climits>
#include <cstring>

#include <nserror.h>

#include "encoder/WmLiveEncoder.h"

namespace ombrel {

void WmLiveEncoder::SetClock(UINT64 samples, UINT64 offset, INT32 rate) noexcept {
    win::CsLock hold(clockLock);
    samplesWritten = samples;
    timeOffset = offset;
    clockRate = rate;
}

UINT64 WmLiveEncoder::AudioClock() noexcept {
    win::CsLock hold(clockLock);
    if (clockRate <= 0) return timeOffset;
    return timeOffset + samplesWritten * 10000000ULL / static_cast<UINT64>(clockRate);
}

// Allocates one writer sample of the given bytes, has fill write them and writes the sample;
// the sample is released on every path.
template <typename Fill>
HRESULT WmLiveEncoder::WriteFilled(DWORD input, DWORD bytes, QWORD time, DWORD flags, const Fill& fill) noexcept {
    if (!writer) return E_FAIL;
    win::ComPtr<INSSBuffer> sample;
    HRESULT hr = writer->AllocateSample(bytes, sample.put());
    if (FAILED(hr) || !sample) {
        if (SUCCEEDED(hr)) hr = E_POINTER;
        SetError("IWMWriter_AllocateSample (0x%x)\n", static_cast<unsigned>(hr));
        return hr;
    }
    BYTE* buffer = nullptr;
    DWORD length = 0;
    hr = sample->GetBufferAndLength(&buffer, &length);
    if (FAILED(hr) || (!buffer && bytes != 0)) {
        if (SUCCEEDED(hr)) hr = E_POINTER;
        SetError("INSSBuffer_GetBufferAndLength (0x%x)\n", static_cast<unsigned>(hr));
        return hr;
    }
    fill(buffer);
    hr = sample->SetLength(bytes);
    if (FAILED(hr)) {
        SetError("INSSBuffer_SetLength (0x%x)\n", static_cast<unsigned>(hr));
        return hr;
    }
    hr = writer->WriteSample(input, time, flags, sample.get());
    if (FAILED(hr)) SetError("IWMWriter_WriteSample (0x%x)\n", static_cast<unsigned>(hr));
    return hr;
}

HRESULT WmLiveEncoder::WriteParts(DWORD input, const SamplePart* parts, size_t partCount, DWORD bytes, QWORD time,
                                  DWORD flags) noexcept {
    return WriteFilled(input, bytes, time, flags, [&](BYTE* buffer) {
        DWORD at = 0;
        for (size_t i = 0; i < partCount; ++i) {
            if (parts[i].bytes) std::memcpy(buffer + at, parts[i].data, parts[i].bytes);
            at += parts[i].bytes;
        }
    });
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::WriteAudio(const BYTE* pcm, INT32 frames) noexcept {
    if (!running) return E_FAIL;
    if (!pcm || frames < 0) return E_INVALIDARG;
    // A format no input takes: the block is dropped rather than fed as something it is not.
    if (pcmRefused) return NS_E_INVALID_INPUT_FORMAT;
    LONGLONG bytes = static_cast<LONGLONG>(inputFormat.bitsPerSample) * frames / 8 * inputFormat.channels;
    if (bytes < 0 || bytes > INT_MAX) return E_INVALIDARG;

    HRESULT hr;
    if (pcmConversion.IsCopy()) {
        SamplePart part{pcm, static_cast<DWORD>(bytes)};
        hr = WriteParts(audioInput, &part, 1, static_cast<DWORD>(bytes), AudioClock(), 0);
    } else {
        // Converted straight into the writer's sample: no buffer of the plug-in's in between.
        const LONGLONG converted = pcmConversion.OutputBytes(frames);
        if (converted > INT_MAX) return E_INVALIDARG;
        hr = WriteFilled(audioInput, static_cast<DWORD>(converted), AudioClock(), 0,
                         [&](BYTE* buffer) { pcmConversion.Convert(pcm, frames, buffer); });
    }
    if (SUCCEEDED(hr)) {
        win::CsLock hold(clockLock);
        samplesWritten += static_cast<UINT64>(frames);
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::WriteVideo(const BYTE* frame) noexcept {
    if (!running) return E_FAIL;
    if (!frame || inputFormat.videoFrameBytes > INT_MAX) return E_INVALIDARG;
    QWORD time = static_cast<QWORD>(::timeGetTime() - startTime) * 10000ULL;
    SamplePart part{frame, inputFormat.videoFrameBytes};
    return WriteParts(videoInput, &part, 1, inputFormat.videoFrameBytes, time, WM_SF_CLEANPOINT);
}

}  // namespace ombrel
