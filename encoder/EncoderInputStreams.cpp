// The writer's inputs: their uncompressed media types built from the InputFormat, their
// matching to the writer's inputs by connection name, and a change of PCM format mid-run.
#include <cwchar>

#include "encoder/MediaTypes.h"
#include "encoder/WmLiveEncoder.h"

#include <mmreg.h>  // after <windows.h>, which the encoder's headers bring

namespace ombrel {
namespace {

// The runtime reads the PCM input's format block as the packed 18-byte WAVEFORMATEX, or the
// packed 40-byte WAVEFORMATEXTENSIBLE.
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX must be the packed 18-byte record");
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40, "WAVEFORMATEXTENSIBLE must be the packed 40-byte record");

void* HeapZeroed(size_t bytes) noexcept { return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes); }

HRESULT BuildVideo(const InputFormat& format, UINT32 frameRateShift, InputStream* entry) noexcept {
    auto* header = static_cast<WMVIDEOINFOHEADER*>(HeapZeroed(sizeof(WMVIDEOINFOHEADER)));
    if (!header) return E_FAIL;
    INT32 stride = (format.videoWidth * 4 + 3) & ~3;
    ULONG sampleSize = static_cast<ULONG>(stride * format.videoHeight);
    header->rcSource = {0, 0, format.videoWidth, format.videoHeight};
    header->rcTarget = header->rcSource;
    header->dwBitRate = format.frameRateDenominator
                            ? static_cast<DWORD>(static_cast<INT32>(static_cast<LONGLONG>(sampleSize) *
                                                                    format.frameRateNumerator * 8 /
                                                                    format.frameRateDenominator))
                            : 0;
    header->dwBitErrorRate = 0;
    header->AvgTimePerFrame =
        format.frameRateNumerator
            ? (static_cast<LONGLONG>(format.frameRateDenominator) << (frameRateShift & 31)) * 10000000LL / format.frameRateNumerator
            : 0;
    header->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header->bmiHeader.biWidth = format.videoWidth;
    header->bmiHeader.biHeight = format.videoHeight;
    header->bmiHeader.biPlanes = 1;
    header->bmiHeader.biBitCount = 32;

    entry->inputNumber = -1;
    entry->connectionName = kVideoConnectionName;
    entry->mediaType = MakeMediaType(WMMEDIATYPE_Video, WMMEDIASUBTYPE_RGB32, TRUE, FALSE, sampleSize,
                                     WMFORMAT_VideoInfo, sizeof(WMVIDEOINFOHEADER), header);
    return S_OK;
}

HRESULT BuildAudio(const InputFormat& format, InputStream* entry) noexcept {
    return BuildPcmInput(format.sampleRate, PcmLayout{format.channels, format.bitsPerSample}, entry);
}

HRESULT BuildScript(InputStream* entry) noexcept {
    auto* script = static_cast<WMSCRIPTFORMAT*>(HeapZeroed(sizeof(WMSCRIPTFORMAT)));
    if (!script) return E_OUTOFMEMORY;
    script->scriptType = WMSCRIPTTYPE_TwoStrings;

    entry->inputNumber = -1;
    entry->connectionName = kScriptConnectionName;
    entry->mediaType = ScriptMediaType(script);
    return S_OK;
}

// A connection name read from a writer input, in a local buffer or on the heap.
class ConnectionName {
public:
    ~ConnectionName() {
        if (heap_) ::HeapFree(::GetProcessHeap(), 0, heap_);
    }
    HRESULT Read(IWMStreamConfig* config) noexcept {
        WORD length = 0;
        HRESULT hr = config->GetConnectionName(nullptr, &length);
        if (FAILED(hr)) return hr;
        WCHAR* buffer = local_;
        WORD capacity = kLocal;
        if (length >= kLocal) {
            heap_ = static_cast<WCHAR*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, length * sizeof(WCHAR)));
            if (!heap_) return E_OUTOFMEMORY;
            buffer = heap_;
            capacity = length;
        }
        WORD size = capacity;
        hr = config->GetConnectionName(buffer, &size);
        buffer[capacity - 1] = L'\0';
        name_ = buffer;
        return hr;
    }
    const WCHAR* get() const noexcept { return name_; }

private:
    static constexpr WORD kLocal = 64;
    WCHAR local_[kLocal] = {};
    WCHAR* heap_ = nullptr;
    const WCHAR* name_ = L"";
};

}  // namespace

HRESULT BuildPcmInput(INT32 sampleRate, PcmLayout layout, InputStream* entry) noexcept {
    // High-resolution PCM (more than two channels or 16 bits) is described by the extensible
    // record, as the runtime requires; the rest by the plain 18-byte one.
    const bool extensible = !IsStandardPcm(layout) && IsBroadcastablePcm(layout);
    const size_t size = extensible ? sizeof(WAVEFORMATEXTENSIBLE) : sizeof(WAVEFORMATEX);
    auto* wave = static_cast<WAVEFORMATEX*>(HeapZeroed(size));
    if (!wave) return E_OUTOFMEMORY;
    wave->wFormatTag = extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM;
    wave->nChannels = static_cast<WORD>(layout.channels);
    wave->nSamplesPerSec = static_cast<DWORD>(sampleRate);
    wave->nBlockAlign = static_cast<WORD>(layout.channels * layout.bits / 8);
    wave->nAvgBytesPerSec = static_cast<DWORD>(wave->nBlockAlign) * static_cast<DWORD>(sampleRate);
    wave->wBitsPerSample = static_cast<WORD>(layout.bits);
    wave->cbSize = 0;
    if (extensible) {
        auto* ex = reinterpret_cast<WAVEFORMATEXTENSIBLE*>(wave);
        ex->Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        ex->Samples.wValidBitsPerSample = static_cast<WORD>(layout.bits);
        ex->dwChannelMask = DefaultChannelMask(layout.channels);
        ex->SubFormat = WMMEDIASUBTYPE_PCM;  // the value of KSDATAFORMAT_SUBTYPE_PCM
    }
    if (entry->mediaType.pbFormat) ::HeapFree(::GetProcessHeap(), 0, entry->mediaType.pbFormat);
    entry->inputNumber = entry->connectionName ? entry->inputNumber : -1;
    entry->connectionName = kAudioConnectionName;
    entry->mediaType = MakeMediaType(WMMEDIATYPE_Audio, WMMEDIASUBTYPE_PCM, TRUE, FALSE, wave->nBlockAlign,
                                     WMFORMAT_WaveFormatEx, static_cast<ULONG>(size), wave);
    return S_OK;
}

void FreeInputStream(InputStream* stream) noexcept {
    if (stream->mediaType.pbFormat) ::HeapFree(::GetProcessHeap(), 0, stream->mediaType.pbFormat);
    *stream = InputStream{};
}

UINT32 CountEnabledStreams(const InputFormat& format) noexcept {
    return (format.videoEnabled ? 1 : 0) + (format.audioEnabled ? 1 : 0) + (format.scriptEnabled ? 1 : 0);
}

bool IsAcceptableInputFormat(const InputFormat& format) noexcept {
    if (CountEnabledStreams(format) > kMaxInputStreams) return false;
    if (format.audioEnabled && format.sampleRate <= 0) return false;
    return true;
}

HRESULT BuildInputStreams(const InputFormat& format, UINT32 frameRateShift,
                          InputStream (&inputs)[kMaxInputStreams], UINT32* count) noexcept {
    if (CountEnabledStreams(format) > kMaxInputStreams) return E_INVALIDARG;
    InputStream built[kMaxInputStreams]{};
    UINT32 n = 0;
    HRESULT hr = S_OK;
    if (format.videoEnabled) {
        hr = BuildVideo(format, frameRateShift, &built[n]);
        if (SUCCEEDED(hr)) ++n;
    }
    if (SUCCEEDED(hr) && format.audioEnabled) {
        hr = BuildAudio(format, &built[n]);
        if (SUCCEEDED(hr)) ++n;
    }
    if (SUCCEEDED(hr) && format.scriptEnabled) {
        hr = BuildScript(&built[n]);
        if (SUCCEEDED(hr)) ++n;
    }
    if (FAILED(hr)) {
        for (InputStream& entry : built) FreeInputStream(&entry);
        return hr;
    }
    if (n == 0) return E_FAIL;
    for (UINT32 i = 0; i < kMaxInputStreams; ++i) {
        FreeInputStream(&inputs[i]);
        inputs[i] = built[i];
    }
    *count = n;
    return hr;
}

HRESULT WmLiveEncoder::InitializeInputStream() noexcept { return BuildInputStreams(inputFormat, settings.timing.frameRateShift, inputs, &inputCount); }

HRESULT WmLiveEncoder::UpdateWriterInputs() noexcept {
    if (!writer) return E_FAIL;
    DWORD writerInputs = 0;
    HRESULT hr = writer->GetInputCount(&writerInputs);
    if (FAILED(hr)) {
        SetError("IWMWriter_GetInputCount failed (0x%x)\n", static_cast<unsigned>(hr));
        return hr;
    }
    for (InputStream& entry : inputs) entry.inputNumber = -1;

    for (DWORD i = 0; i < writerInputs; ++i) {
        win::ComPtr<IWMInputMediaProps> props;
        hr = writer->GetInputProps(i, props.put());
        if (FAILED(hr) || !props) {
            if (SUCCEEDED(hr)) hr = E_POINTER;
            SetError("IWMWriter_GetInputProps failed (0x%x)\n", static_cast<unsigned>(hr));
            break;
        }
        win::ComPtr<IWMStreamConfig> config;
        hr = props.As(IID_IWMStreamConfig, &config);
        if (FAILED(hr) || !config) {
            if (SUCCEEDED(hr)) hr = E_POINTER;
            SetError("IWMInputMediaProps_QueryInterface failed (0x%x)\n", static_cast<unsigned>(hr));
            break;
        }
        ConnectionName name;
        hr = name.Read(config.get());
        if (hr == E_OUTOFMEMORY) break;
        if (FAILED(hr)) {
            SetError("IWMStreamConfig_GetConnectionName failed (0x%x)\n", static_cast<unsigned>(hr));
            break;
        }
        bool failed = false;
        for (UINT32 j = 0; j < kMaxInputStreams && !failed; ++j) {
            InputStream& entry = inputs[j];
            if (entry.inputNumber != -1 || !entry.connectionName) continue;
            if (std::wcscmp(entry.connectionName, name.get()) != 0) continue;
            entry.inputNumber = static_cast<INT32>(i);
            if (std::wcscmp(entry.connectionName, kAudioConnectionName) == 0) {
                hr = ChoosePcmInput(i, &entry);
                if (FAILED(hr)) {
                    failed = true;
                    break;
                }
            }
            hr = props->SetMediaType(&entry.mediaType);
            if (FAILED(hr)) {
                SetError("IWMInputMediaProps_SetMediaType failed (0x%x)\n", static_cast<unsigned>(hr));
                failed = true;
                break;
            }
            hr = writer->SetInputProps(i, props.get());
            if (FAILED(hr)) {
                SetError("IWMWriter_SetInputProps failed (i:%d, j:%d, hr:0x%x)\n", static_cast<int>(i),
                         static_cast<int>(j), static_cast<unsigned>(hr));
                failed = true;
            }
        }
        if (failed) break;
    }

    if (pcmRefused) return hr;
    for (UINT32 j = 0; j < inputCount && j < kMaxInputStreams; ++j) {
        if (inputs[j].inputNumber == -1) {
            SetError("no valid stream\n");
            return E_INVALIDARG;
        }
    }
    if (SUCCEEDED(hr)) RecordInputNumbers();
    return hr;
}

void WmLiveEncoder::RecordInputNumbers() noexcept {
    for (UINT32 j = 0; j < inputCount && j < kMaxInputStreams; ++j) {
        const InputStream& entry = inputs[j];
        if (!entry.connectionName) continue;
        const DWORD number = static_cast<DWORD>(entry.inputNumber);
        if (std::wcscmp(entry.connectionName, kVideoConnectionName) == 0) videoInput = number;
        if (std::wcscmp(entry.connectionName, kAudioConnectionName) == 0) audioInput = number;
        if (std::wcscmp(entry.connectionName, kScriptConnectionName) == 0) scriptInput = number;
    }
}

HRESULT STDMETHODCALLTYPE WmLiveEncoder::ChangeInputFormat(const InputFormat* format) noexcept {
    if (!initialized) return E_FAIL;
    if (!format || !IsAcceptableInputFormat(*format)) return E_INVALIDARG;
    // The clock is rebased onto the new rate in one step: a title stamped by the song worker
    // meanwhile, or the clock after a failed change, stays continuous with the audio written so far.
    {
        win::CsLock hold(clockLock);
        UINT64 elapsed = 0;
        if (clockRate > 0) elapsed = samplesWritten * 10000000ULL / static_cast<UINT64>(clockRate);
        inputFormat = *format;
        SetClock(0, timeOffset + elapsed, inputFormat.sampleRate);
    }

    HRESULT hr = InitializeInputStream();
    if (FAILED(hr) || inputCount == 0) {
        SetError("InitializeInputStream failed (0x%x)\n", static_cast<unsigned>(hr));
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = UpdateWriterInputs();
    // A format nothing takes keeps its own message, which says what the player sent.
    if (FAILED(hr) && !pcmRefused) SetError("UpdateWriterInputs failed (0x%x)\n", static_cast<unsigned>(hr));
    return hr;
}

}  // namespace ombrel
