// The writer: IWMWriter, IWMWriterAdvanced and IWMHeaderInfo. It takes one audio stream, PCM or
// WMA v2, and at most one script stream from the profile, converts the PCM it is fed to a PCM
// stream's format or has an encoding thread compress it for a WMA stream, multiplexes the samples
// into ASF packets and hands the header and the packets to its sinks. Script commands that come
// ahead of the WMA stream's encoding wait for it (HeldSamples), so packets go out in time order.
//
// Sinks are called in order, outside the writer's lock: what a call produces is queued under the
// lock, and whichever caller finds nobody delivering delivers the queue; the others return at once.
//
// A steady stream allocates nothing: samples and packets are buffers of the writer's pool, and
// the converted PCM, the queue's slots and the statistics' window keep their room from one
// sample to the next.
#include <climits>
#include <memory>

#include "standin/wmvcore/AsfMuxer.h"
#include "standin/wmvcore/BufferPool.h"
#include "standin/wmvcore/ComSupport.h"
#include "standin/wmvcore/EncodingThread.h"
#include "standin/wmvcore/HeldSamples.h"
#include "standin/wmvcore/InputFormats.h"
#include "standin/wmvcore/Objects.h"
#include "standin/wmvcore/PcmConverter.h"
#include "standin/wmvcore/SlotRing.h"
#include "standin/wmvcore/TestHooks.h"
#include "win/ComPtr.h"
#include "win/CriticalSection.h"

namespace wmstandin {
namespace {

constexpr QWORD kSecond = 10000000;  // 100-ns units
// ASF_E_NOTFOUND, which mingw's nserror.h lacks.
constexpr HRESULT kAttributeNotFound = static_cast<HRESULT>(0xC00D07F0);

struct StreamStatistics {
    struct Entry {
        QWORD start;
        QWORD end;
        DWORD bytes;
    };
    QWORD samples = 0;
    QWORD bytes = 0;
    QWORD first = 0;
    QWORD last = 0;  // latest end time
    SlotRing<Entry> recent;  // the samples of the last second of stream time

    void Add(QWORD start, QWORD duration, DWORD size) {
        const QWORD end = start + duration;
        if (samples == 0 || start < first) first = start;
        if (samples == 0 || end > last) last = end;
        ++samples;
        bytes += size;
        recent.PushBack() = {start, end, size};
        while (!recent.Empty() && last >= kSecond && recent.Front().start < last - kSecond) recent.PopFront();
    }
};

// Rates over the span the samples cover; 0 when they cover none.
DWORD PerSecond(QWORD amount, QWORD span) noexcept {
    if (span == 0) return 0;
    const QWORD rate = amount * kSecond / span;
    return rate > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(rate);
}

struct Writer;
struct Input;

// Where a compressed stream's encoding thread puts its blocks.
struct EncodedStream final : EncodedOutput {
    Writer* writer = nullptr;
    Input* input = nullptr;
    void Encoded(LONGLONG time, QWORD duration, const BYTE* data, DWORD size) override;
    void CaughtUp() override;
};

struct Input {
    StreamData stream;
    WM_MEDIA_TYPE type{};
    std::vector<BYTE> format;
    bool audio = false;
    bool compressed = false;  // a WMA stream: fed PCM, encoded on its own thread
    PcmConverter converter;
    StreamStatistics statistics;
    EncodedStream output;
    LONGLONG encodedEnd = LLONG_MIN;  // a compressed stream's: where its last delivered block ends
    EncodingThread encoding;  // last: it stops before the rest of the input goes

    const WAVEFORMATEX& OutputWave() const { return *reinterpret_cast<const WAVEFORMATEX*>(stream.format.data()); }
    const WAVEFORMATEX& InputWave() const { return *reinterpret_cast<const WAVEFORMATEX*>(format.data()); }
};

struct Delivery {
    enum Kind { kHeader, kData, kEnd } kind = kData;
    win::ComPtr<INSSBuffer> buffer;  // none for the end
    std::vector<win::ComPtr<IWMWriterSink>> sinks;
};

bool IsPcmType(const WM_MEDIA_TYPE& type, const std::vector<BYTE>& format) noexcept {
    if (!IsEqualGUID(type.majortype, WMMEDIATYPE_Audio)) return false;
    if (!IsEqualGUID(type.formattype, WMFORMAT_WaveFormatEx) || format.size() < 16) return false;
    WAVEFORMATEX wave{};
    std::memcpy(&wave, format.data(), format.size() < sizeof(wave) ? format.size() : sizeof(wave));
    if (format.size() < sizeof(wave)) wave.cbSize = 0;
    return IsSupportedPcm(wave);
}

bool IsWmaType(const WM_MEDIA_TYPE& type, const std::vector<BYTE>& format) noexcept {
    if (!IsEqualGUID(type.majortype, WMMEDIATYPE_Audio)) return false;
    if (!IsEqualGUID(type.formattype, WMFORMAT_WaveFormatEx) || format.size() < sizeof(WAVEFORMATEX)) return false;
    const auto& wave = *reinterpret_cast<const WAVEFORMATEX*>(format.data());
    return IsWmaFormat(wave) && format.size() >= sizeof(WAVEFORMATEX) + wave.cbSize;
}

// A compressed stream's input starts out fed 16-bit PCM of the stream's rate and channels.
void PcmInputFor(const WAVEFORMATEX& stream, WM_MEDIA_TYPE* type, std::vector<BYTE>* format) {
    const WAVEFORMATEX wave = PlainPcm(stream.nSamplesPerSec, stream.nChannels, 16);
    *type = WM_MEDIA_TYPE{};
    type->majortype = WMMEDIATYPE_Audio;
    type->subtype = WMMEDIASUBTYPE_PCM;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = wave.nBlockAlign;
    type->formattype = WMFORMAT_WaveFormatEx;
    type->cbFormat = sizeof(wave);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&wave);
    format->assign(bytes, bytes + sizeof(wave));
}

std::vector<BYTE> PcmFormatBytes(const std::vector<BYTE>& format) {
    // Always a whole WAVEFORMATEX with cbSize 0, also for a 16-byte PCMWAVEFORMAT.
    WAVEFORMATEX wave{};
    std::memcpy(&wave, format.data(), format.size() < sizeof(wave) ? format.size() : sizeof(wave));
    wave.cbSize = 0;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&wave);
    return std::vector<BYTE>(bytes, bytes + sizeof(wave));
}

struct Writer final : IWMWriter, IWMWriterAdvanced, IWMHeaderInfo, PacketOutput {
    RefCount refs;
    BufferPool::Owner pool = BufferPool::Create();
    win::CriticalSection lock;
    bool configured = false;
    bool writing = false;
    std::vector<std::unique_ptr<Input>> inputs;
    std::vector<AsfAttribute> attributes;
    std::vector<win::ComPtr<IWMWriterSink>> sinks;
    std::unique_ptr<AsfMuxer> muxer;
    std::vector<BYTE> header;
    std::vector<BYTE> converted;  // one sample's PCM in the stream's format
    HeldSamples held;  // samples ahead of a compressed stream's encoding
    SlotRing<Delivery> queue;
    bool delivering = false;
    Delivery inFlight;  // the deliverer's own: the one being delivered

    // The encoding threads call back into the writer: they end before anything else goes.
    ~Writer() { inputs.clear(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWMWriter))
            *out = static_cast<IWMWriter*>(this);
        else if (IsEqualIID(iid, IID_IWMWriterAdvanced))
            *out = static_cast<IWMWriterAdvanced*>(this);
        else if (IsEqualIID(iid, IID_IWMHeaderInfo))
            *out = static_cast<IWMHeaderInfo*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs.Release(this); }

    // ---- delivery to the sinks ----

    // Under the lock. Bytes the pool has no room for are not delivered; the end always is.
    void Queue(Delivery::Kind kind, const BYTE* bytes, DWORD size, IWMWriterSink* onlySink = nullptr) {
        win::ComPtr<INSSBuffer> buffer;
        if (kind != Delivery::kEnd && FAILED(pool->TakeCopy(bytes, size, buffer.put()))) return;
        Delivery& delivery = queue.PushBack();
        delivery.kind = kind;
        delivery.buffer = std::move(buffer);
        delivery.sinks.clear();
        if (onlySink) {
            delivery.sinks.push_back(win::ComPtr<IWMWriterSink>::Share(onlySink));
        } else {
            for (const auto& sink : sinks) delivery.sinks.push_back(win::ComPtr<IWMWriterSink>::Share(sink.get()));
        }
    }
    // The multiplexer's packets, under the lock.
    void Put(const BYTE* packet, DWORD size) override { Queue(Delivery::kData, packet, size); }
    static void Deliver(Delivery& delivery) noexcept {
        for (auto& sink : delivery.sinks) {
            if (delivery.kind == Delivery::kHeader)
                sink->OnHeader(delivery.buffer.get());
            else if (delivery.kind == Delivery::kData)
                sink->OnDataUnit(delivery.buffer.get());
            else
                sink->OnEndWriting();
        }
    }
    // Delivers the queue unless another caller is already doing so.
    void Drain() noexcept {
        {
            win::CsLock hold(lock);
            if (delivering) return;
            delivering = true;
        }
        for (;;) {
            {
                win::CsLock hold(lock);
                if (queue.Empty()) {
                    delivering = false;
                    return;
                }
                // The slot gets the emptied vector of the one delivered before.
                std::swap(inFlight, queue.Front());
                queue.PopFront();
            }
            Deliver(inFlight);
            inFlight.buffer.reset();
            inFlight.sinks.clear();
        }
    }
    // Delivers everything queued so far, waiting for another caller's delivery to finish.
    void DrainAll() noexcept {
        for (;;) {
            Drain();
            {
                win::CsLock hold(lock);
                if (!delivering && queue.Empty()) return;
            }
            ::Sleep(1);
        }
    }

    // ---- interleaving with the compressed streams ----

    // Under the lock: a sample at time would go out ahead of a compressed stream's blocks that
    // are still being encoded.
    bool AheadOfEncoding(LONGLONG time) noexcept {
        for (const auto& input : inputs)
            if (input->compressed && time > input->encodedEnd && input->encoding.Behind()) return true;
        return false;
    }
    // Under the lock: multiplexes a sample of a stream that is not encoded here, held while it
    // is ahead of the encoding, behind any sample held before it.
    void AddUncompressed(WORD stream, LONGLONG time, const BYTE* data, DWORD size, bool keyFrame) {
        if (held.Empty() && !AheadOfEncoding(time)) {
            muxer->AddSample(stream, time, data, size, keyFrame, *this);
            return;
        }
        held.Hold(stream, time, data, size, keyFrame);
        ReleaseHeld(false);
    }
    // Under the lock: the held samples the encoding has caught up with, or all of them.
    void ReleaseHeld(bool all) {
        while (!held.Empty()) {
            const HeldSamples::Sample& oldest = held.Oldest();
            if (!all && held.Count() <= HeldSamples::kMaxHeld && AheadOfEncoding(oldest.time)) return;
            if (muxer)
                muxer->AddSample(oldest.stream, oldest.time, oldest.bytes.data(),
                                 static_cast<DWORD>(oldest.bytes.size()), oldest.keyFrame, *this);
            held.DropOldest();
        }
    }
    // A compressed stream's encoding thread has encoded everything it was given.
    void EncodingCaughtUp() noexcept {
        Guard([&] {
            win::CsLock hold(lock);
            ReleaseHeld(false);
            return S_OK;
        });
        Drain();
    }

    // ---- IWMWriter ----

    HRESULT STDMETHODCALLTYPE SetProfileByID(REFGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProfile(IWMProfile* profile) override {
        if (!profile) return E_POINTER;
        return Guard([&] {
            DWORD count = 0;
            HRESULT hr = profile->GetStreamCount(&count);
            if (FAILED(hr)) return hr;
            std::vector<std::unique_ptr<Input>> built;
            int audioStreams = 0, scriptStreams = 0;
            for (DWORD i = 0; i < count; ++i) {
                win::ComPtr<IWMStreamConfig> config;
                hr = profile->GetStream(i, config.put());
                if (FAILED(hr)) return hr;
                auto input = std::make_unique<Input>();
                hr = ReadStreamData(config.get(), &input->stream);
                if (FAILED(hr)) return NS_E_INVALIDPROFILE;
                const StreamData& stream = input->stream;
                // The stand-in does not compress, so it cannot write a video stream.
                if (IsEqualGUID(stream.streamType, WMMEDIATYPE_Video)) return NS_E_VIDEO_CODEC_NOT_INSTALLED;
                if (!stream.hasMediaType) return NS_E_INVALIDPROFILE;
                if (IsEqualGUID(stream.streamType, WMMEDIATYPE_Audio)) {
                    if (++audioStreams > 1) return NS_E_INVALIDPROFILE;
                    input->audio = true;
                    if (IsWmaType(stream.mediaType, stream.format)) {
                        input->compressed = true;
                    } else if (IsPcmType(stream.mediaType, stream.format)) {
                        input->stream.format = PcmFormatBytes(stream.format);
                        input->stream.mediaType.cbFormat = sizeof(WAVEFORMATEX);
                    } else {
                        return NS_E_INVALIDPROFILE;
                    }
                } else if (IsEqualGUID(stream.streamType, WMMEDIATYPE_Script)) {
                    if (++scriptStreams > 1) return NS_E_INVALIDPROFILE;
                    if (stream.format.size() >= sizeof(WMSCRIPTFORMAT) &&
                        !IsEqualGUID(reinterpret_cast<const WMSCRIPTFORMAT*>(stream.format.data())->scriptType,
                                     WMSCRIPTTYPE_TwoStrings))
                        return NS_E_INVALIDPROFILE;
                } else {
                    return NS_E_INVALIDPROFILE;
                }
                // The input starts out fed with the stream's own format, or its PCM.
                input->type = input->stream.mediaType;
                input->format = input->stream.format;
                if (input->compressed) PcmInputFor(input->OutputWave(), &input->type, &input->format);
                if (input->audio && !input->compressed) {
                    hr = input->converter.Configure(input->InputWave(), input->OutputWave());
                    if (FAILED(hr)) return hr;
                }
                built.push_back(std::move(input));
            }
            if (audioStreams != 1) return NS_E_INVALIDPROFILE;
            win::CsLock hold(lock);
            if (writing) return NS_E_INVALID_REQUEST;
            inputs.swap(built);
            configured = true;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE SetOutputFilename(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputCount(DWORD* count) override {
        if (!count) return E_POINTER;
        win::CsLock hold(lock);
        if (!configured) return NS_E_NOT_CONFIGURED;
        *count = static_cast<DWORD>(inputs.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInputProps(DWORD index, IWMInputMediaProps** props) override {
        if (!props) return E_POINTER;
        *props = nullptr;
        return Guard([&] {
            win::CsLock hold(lock);
            if (!configured) return NS_E_NOT_CONFIGURED;
            if (index >= inputs.size()) return E_INVALIDARG;
            const Input& input = *inputs[index];
            return CreateInputProps(input.stream, input.type, input.format, props);
        });
    }
    HRESULT STDMETHODCALLTYPE SetInputProps(DWORD index, IWMInputMediaProps* props) override {
        if (!props) return E_POINTER;
        return Guard([&] {
            DWORD size = 0;
            HRESULT hr = props->GetMediaType(nullptr, &size);
            if (FAILED(hr)) return hr;
            if (size < sizeof(WM_MEDIA_TYPE) || size > 0x100000) return NS_E_INVALID_INPUT_FORMAT;
            std::vector<BYTE> block(size);
            auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
            hr = props->GetMediaType(type, &size);
            if (FAILED(hr)) return hr;
            WM_MEDIA_TYPE copy{};
            std::vector<BYTE> format;
            hr = CopyMediaTypeIn(type, &copy, &format);
            if (FAILED(hr)) return hr;

            win::CsLock hold(lock);
            if (!configured) return NS_E_NOT_CONFIGURED;
            if (index >= inputs.size()) return E_INVALIDARG;
            Input& input = *inputs[index];
            if (input.audio) {
                if (!IsEqualGUID(copy.majortype, WMMEDIATYPE_Audio) ||
                    !IsEqualGUID(copy.formattype, WMFORMAT_WaveFormatEx))
                    return NS_E_INVALID_INPUT_FORMAT;
                WAVEFORMATEX plain{};
                hr = CheckPcmInput(input.OutputWave(), format, &plain);
                if (FAILED(hr)) return hr;
                const BYTE* plainBytes = reinterpret_cast<const BYTE*>(&plain);
                format.assign(plainBytes, plainBytes + sizeof(plain));
                copy.subtype = WMMEDIASUBTYPE_PCM;
                copy.cbFormat = sizeof(WAVEFORMATEX);
                if (input.compressed) {
                    // Samples already queued keep the format they were written in.
                    input.type = copy;
                    input.format.swap(format);
                    return S_OK;
                }
                PcmConverter converter;
                hr = converter.Configure(*reinterpret_cast<const WAVEFORMATEX*>(format.data()), input.OutputWave());
                if (FAILED(hr)) return hr;
                input.converter = converter;
            } else if (!IsEqualGUID(copy.majortype, input.stream.streamType)) {
                return NS_E_INVALID_INPUT_FORMAT;
            }
            input.type = copy;
            input.format.swap(format);
            return S_OK;
        });
    }
    // An audio input lists the PCM it takes (InputFormats.h); any other input its stream's type.
    HRESULT STDMETHODCALLTYPE GetInputFormatCount(DWORD index, DWORD* count) override {
        if (!count) return E_INVALIDARG;
        return Guard([&] {
            win::CsLock hold(lock);
            if (!configured) return NS_E_NOT_CONFIGURED;
            if (index >= inputs.size()) return E_INVALIDARG;
            const Input& input = *inputs[index];
            *count = input.audio ? static_cast<DWORD>(PcmInputFormats(input.OutputWave()).size()) : 1;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetInputFormat(DWORD index, DWORD number, IWMInputMediaProps** props) override {
        if (!props) return E_POINTER;
        *props = nullptr;
        return Guard([&] {
            win::CsLock hold(lock);
            if (!configured) return NS_E_NOT_CONFIGURED;
            if (index >= inputs.size()) return E_INVALIDARG;
            const Input& input = *inputs[index];
            if (!input.audio) {
                if (number != 0) return E_INVALIDARG;
                return CreateInputProps(input.stream, input.stream.mediaType, input.stream.format, props);
            }
            const std::vector<std::vector<BYTE>> formats = PcmInputFormats(input.OutputWave());
            if (number >= formats.size()) return E_INVALIDARG;
            const auto& wave = *reinterpret_cast<const WAVEFORMATEX*>(formats[number].data());
            WM_MEDIA_TYPE type{};
            type.majortype = WMMEDIATYPE_Audio;
            type.subtype = WMMEDIASUBTYPE_PCM;
            type.bFixedSizeSamples = TRUE;
            type.lSampleSize = wave.nBlockAlign;
            type.formattype = WMFORMAT_WaveFormatEx;
            type.cbFormat = static_cast<ULONG>(formats[number].size());
            return CreateInputProps(input.stream, type, formats[number], props);
        });
    }

    HRESULT STDMETHODCALLTYPE BeginWriting() override {
        if (const HRESULT injected = TakeFault(Fault::kBeginWriting); FAILED(injected)) return injected;
        HRESULT hr = Guard([&] {
            win::CsLock hold(lock);
            if (!configured) return NS_E_NOT_CONFIGURED;
            if (writing) return NS_E_INVALID_REQUEST;
            std::vector<AsfStream> streams;
            for (const auto& input : inputs) {
                AsfStream stream;
                stream.number = input->stream.number;
                stream.mediaType = input->stream.streamType;
                if (input->audio) stream.format = input->stream.format;
                stream.bitrate = input->stream.bitrate;
                stream.bufferWindow = input->stream.bufferWindow;
                stream.name = input->stream.name;
                stream.language = input->stream.language;
                streams.push_back(std::move(stream));
            }
            auto built = std::make_unique<AsfMuxer>(std::move(streams), attributes);
            header = built->Header();
            held.Clear();
            for (auto& input : inputs) {
                input->statistics = StreamStatistics();
                input->encodedEnd = LLONG_MIN;
                if (input->audio && !input->compressed) input->converter.Configure(input->InputWave(), input->OutputWave());
            }
            muxer = std::move(built);
            for (auto& input : inputs) {
                if (!input->compressed) continue;
                input->output.writer = this;
                input->output.input = input.get();
                const HRESULT started = input->encoding.Start(input->OutputWave(), &input->output);
                if (FAILED(started)) {
                    StopEncoding();
                    muxer.reset();
                    return started;
                }
            }
            writing = true;
            Queue(Delivery::kHeader, header.data(), static_cast<DWORD>(header.size()));
            return S_OK;
        });
        Drain();
        return hr;
    }
    // Under the lock, when writing could not begin: the threads have encoded nothing yet.
    void StopEncoding() noexcept {
        for (auto& input : inputs) input->encoding.Stop();
    }
    // Waits for the encoding threads (outside the lock: they take it for each block); with
    // finish, they encode their remainder and end.
    HRESULT WaitForEncoding(bool finish) noexcept {
        HRESULT hr = S_OK;
        for (auto& input : inputs) {
            if (!input->compressed) continue;
            if (!finish) {
                input->encoding.WaitEncoded();
            } else {
                const HRESULT finished = input->encoding.Finish();
                if (SUCCEEDED(hr)) hr = finished;
            }
        }
        return hr;
    }
    // A compressed stream's block, from its encoding thread.
    void AddEncoded(Input& input, LONGLONG time, QWORD duration, const BYTE* data, DWORD size) noexcept {
        Guard([&] {
            win::CsLock hold(lock);
            if (!muxer) return S_OK;
            muxer->AddSample(input.stream.number, time, data, size, true, *this);
            input.statistics.Add(time < 0 ? 0 : static_cast<QWORD>(time), duration, size);
            input.encodedEnd = time + static_cast<LONGLONG>(duration);
            ReleaseHeld(false);
            return S_OK;
        });
        Drain();
    }
    HRESULT STDMETHODCALLTYPE EndWriting() override {
        if (const HRESULT injected = TakeFault(Fault::kEndWriting); FAILED(injected)) return injected;
        {
            win::CsLock hold(lock);
            if (!writing) return NS_E_INVALID_REQUEST;
        }
        WaitForEncoding(true);
        HRESULT hr = Guard([&] {
            win::CsLock hold(lock);
            if (!writing) return NS_E_INVALID_REQUEST;
            ReleaseHeld(true);
            muxer->Flush(*this);
            Queue(Delivery::kEnd, nullptr, 0);
            muxer.reset();
            writing = false;
            return S_OK;
        });
        DrainAll();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE AllocateSample(DWORD size, INSSBuffer** sample) override {
        return pool->Take(size, sample);
    }
    HRESULT STDMETHODCALLTYPE WriteSample(DWORD index, QWORD time, DWORD flags, INSSBuffer* sample) override {
        if (!sample) return E_POINTER;
        bool queued = false;
        HRESULT hr = Guard([&] {
            BYTE* data = nullptr;
            DWORD length = 0;
            HRESULT result = sample->GetBufferAndLength(&data, &length);
            if (FAILED(result)) return result;
            if (length && !data) return E_POINTER;
            win::CsLock hold(lock);
            if (!writing) return NS_E_INVALID_REQUEST;
            if (index >= inputs.size()) return E_INVALIDARG;
            Input& input = *inputs[index];
            if (input.compressed) {
                // The audio thread only copies; the encoding thread does the rest, delivery too.
                queued = true;
                return input.encoding.Push(input.InputWave(), time, data, length);
            }
            if (input.audio) {
                converted.clear();
                result = input.converter.Convert(data, length, &converted);
                if (FAILED(result)) return result;
                const DWORD bytes = static_cast<DWORD>(converted.size());
                if (bytes == 0) return S_OK;
                AddUncompressed(input.stream.number, time, converted.data(), bytes, true);
                const QWORD duration = static_cast<QWORD>(bytes) * kSecond / input.OutputWave().nAvgBytesPerSec;
                input.statistics.Add(time, duration, bytes);
            } else {
                AddUncompressed(input.stream.number, time, data, length, (flags & WM_SF_CLEANPOINT) != 0);
                input.statistics.Add(time, 0, length);
            }
            return S_OK;
        });
        if (!queued) Drain();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Flush() override {
        if (const HRESULT injected = TakeFault(Fault::kFlush); FAILED(injected)) return injected;
        WaitForEncoding(false);
        HRESULT hr = Guard([&] {
            win::CsLock hold(lock);
            if (!writing) return NS_E_INVALID_REQUEST;
            ReleaseHeld(true);
            muxer->Flush(*this);
            return S_OK;
        });
        DrainAll();
        return hr;
    }

    // ---- IWMWriterAdvanced ----

    HRESULT STDMETHODCALLTYPE GetSinkCount(DWORD* count) override {
        if (!count) return E_POINTER;
        win::CsLock hold(lock);
        *count = static_cast<DWORD>(sinks.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSink(DWORD index, IWMWriterSink** sink) override {
        if (!sink) return E_POINTER;
        *sink = nullptr;
        win::CsLock hold(lock);
        if (index >= sinks.size()) return E_INVALIDARG;
        *sink = sinks[index].get();
        (*sink)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddSink(IWMWriterSink* sink) override {
        if (!sink) return E_POINTER;
        if (const HRESULT injected = TakeFault(Fault::kAddSink); FAILED(injected)) return injected;
        HRESULT hr = Guard([&] {
            win::CsLock hold(lock);
            for (const auto& present : sinks)
                if (present.get() == sink) return E_INVALIDARG;
            sinks.push_back(win::ComPtr<IWMWriterSink>::Share(sink));
            // A sink added while writing gets the header before any packet.
            if (writing) Queue(Delivery::kHeader, header.data(), static_cast<DWORD>(header.size()), sink);
            return S_OK;
        });
        Drain();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE RemoveSink(IWMWriterSink* sink) override {
        if (!sink) return E_POINTER;
        if (const HRESULT injected = TakeFault(Fault::kRemoveSink); FAILED(injected)) return injected;
        win::ComPtr<IWMWriterSink> removed;
        {
            win::CsLock hold(lock);
            for (auto it = sinks.begin(); it != sinks.end(); ++it) {
                if (it->get() == sink) {
                    removed = std::move(*it);
                    sinks.erase(it);
                    break;
                }
            }
        }
        return removed ? S_OK : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE WriteStreamSample(WORD, QWORD, DWORD, QWORD, DWORD, INSSBuffer*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetLiveSource(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsRealTime(BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetWriterTime(QWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStatistics(WORD number, WM_WRITER_STATISTICS* out) override {
        if (!out) return E_POINTER;
        win::CsLock hold(lock);
        if (!configured) return NS_E_NOT_CONFIGURED;
        WM_WRITER_STATISTICS result{};
        WM_WRITER_STATISTICS* stats = &result;
        bool found = number == 0;
        QWORD first = ~0ull, last = 0, windowStart = ~0ull, windowBytes = 0, windowSamples = 0;
        for (const auto& input : inputs) {
            if (number != 0 && input->stream.number != number) continue;
            found = true;
            const StreamStatistics& s = input->statistics;
            stats->dwExpectedBitrate += input->stream.bitrate;
            if (s.samples == 0) continue;
            stats->qwSampleCount += s.samples;
            stats->qwByteCount += s.bytes;
            if (s.first < first) first = s.first;
            if (s.last > last) last = s.last;
        }
        if (!found) return E_INVALIDARG;
        if (stats->qwSampleCount == 0) {
            *out = result;
            return S_OK;
        }
        // The current rates cover the last second of stream time, the average ones all of it.
        const QWORD from = last >= kSecond ? last - kSecond : 0;
        for (const auto& input : inputs) {
            if (number != 0 && input->stream.number != number) continue;
            const SlotRing<StreamStatistics::Entry>& recent = input->statistics.recent;
            for (size_t i = 0; i < recent.Size(); ++i) {
                const StreamStatistics::Entry& entry = recent[i];
                if (entry.start < from) continue;
                windowBytes += entry.bytes;
                ++windowSamples;
                if (entry.start < windowStart) windowStart = entry.start;
            }
        }
        stats->dwAverageBitrate = PerSecond(stats->qwByteCount * 8, last - first);
        stats->dwAverageSampleRate = PerSecond(stats->qwSampleCount, last - first);
        if (windowSamples) {
            stats->dwCurrentBitrate = PerSecond(windowBytes * 8, last - windowStart);
            stats->dwCurrentSampleRate = PerSecond(windowSamples, last - windowStart);
        }
        *out = result;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSyncTolerance(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSyncTolerance(DWORD*) override { return E_NOTIMPL; }

    // ---- IWMHeaderInfo ----

    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD stream, WORD* count) override {
        if (!count) return E_POINTER;
        if (stream != 0) return E_INVALIDARG;
        win::CsLock hold(lock);
        *count = static_cast<WORD>(attributes.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD index, WORD* stream, WCHAR* name, WORD* nameLength,
                                                  WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length) override {
        if (!stream || !nameLength || !type || !length) return E_POINTER;
        if (*stream != 0) return E_INVALIDARG;
        return Guard([&] {
            win::CsLock hold(lock);
            if (index >= attributes.size()) return E_INVALIDARG;
            const AsfAttribute& attribute = attributes[index];
            HRESULT hr = CopyText(attribute.name, name, nameLength);
            HRESULT hrValue = CopyValue(attribute.type, attribute.value, type, value, length);
            return FAILED(hr) ? hr : hrValue;
        });
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD* stream, LPCWSTR name, WMT_ATTR_DATATYPE* type, BYTE* value,
                                                 WORD* length) override {
        if (!stream || !name || !type || !length) return E_POINTER;
        if (*stream != 0) return E_INVALIDARG;
        win::CsLock hold(lock);
        for (const AsfAttribute& attribute : attributes)
            if (attribute.name == name) return CopyValue(attribute.type, attribute.value, type, value, length);
        return kAttributeNotFound;
    }
    HRESULT STDMETHODCALLTYPE SetAttribute(WORD stream, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                                           WORD length) override {
        if (!name) return E_POINTER;
        if (stream != 0 || !*name || !IsKnownType(type)) return E_INVALIDARG;
        if (length && !value) return E_POINTER;
        const DWORD fixed = FixedValueSize(type);
        if (fixed && length != fixed) return E_INVALIDARG;
        if (type == WMT_TYPE_STRING && (length % 2 != 0)) return E_INVALIDARG;
        return Guard([&] {
            std::vector<BYTE> bytes(value, value + length);
            win::CsLock hold(lock);
            if (writing) return NS_E_INVALID_REQUEST;
            for (AsfAttribute& attribute : attributes) {
                if (attribute.name == name) {
                    attribute.type = type;
                    attribute.value.swap(bytes);
                    return S_OK;
                }
            }
            attributes.push_back({name, type, std::move(bytes)});
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMarker(WORD, WCHAR*, WORD*, QWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveMarker(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScriptCount(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScript(WORD, WCHAR*, WORD*, WCHAR*, WORD*, QWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RemoveScript(WORD) override { return E_NOTIMPL; }
};

void EncodedStream::Encoded(LONGLONG time, QWORD duration, const BYTE* data, DWORD size) {
    writer->AddEncoded(*input, time, duration, data, size);
}

void EncodedStream::CaughtUp() { writer->EncodingCaughtUp(); }

}  // namespace

HRESULT CreateWriter(IWMWriter** writer) noexcept {
    if (!writer) return E_POINTER;
    *writer = nullptr;
    return Guard([&] {
        *writer = static_cast<IWMWriter*>(new Writer());
        return S_OK;
    });
}

}  // namespace wmstandin
