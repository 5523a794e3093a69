#include "tools/bench/CopyingWriter.h"

#include <atomic>
#include <cstring>

#include "tests/common/FakeRuntime.h"

namespace ombrel::test::bench {
namespace {

constexpr DWORD kSampleCapacity = 64 * 1024;
constexpr int kPoolSize = 8;

std::atomic<long long> g_samples{0};
std::atomic<long long> g_bytes{0};
std::atomic<long long> g_scripts{0};

// A pooled sample: taken by AllocateSample, free again when its last reference goes. The
// audio thread and the script writers may each hold one at the same time.
struct PooledSample final : INSSBuffer {
    std::atomic<LONG> refs{0};
    std::atomic<LONG> taken{0};
    DWORD length = 0;
    BYTE bytes[kSampleCapacity];
    BYTE copy[kSampleCapacity];  // where WriteSample copies to

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_INSSBuffer) return E_NOINTERFACE;
        AddRef();
        *out = static_cast<INSSBuffer*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = --refs;
        if (left == 0) taken = 0;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetLength(DWORD* out) override {
        *out = length;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetLength(DWORD value) override {
        if (value > kSampleCapacity) return E_INVALIDARG;
        length = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* out) override {
        *out = kSampleCapacity;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** out) override {
        *out = bytes;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** out, DWORD* outLength) override {
        *out = bytes;
        *outLength = length;
        return S_OK;
    }
};

PooledSample g_pool[kPoolSize];

HRESULT TakeSample(DWORD size, INSSBuffer** sample) {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    if (size > kSampleCapacity) return E_OUTOFMEMORY;
    for (PooledSample& pooled : g_pool) {
        LONG free = 0;
        if (!pooled.taken.compare_exchange_strong(free, 1)) continue;
        pooled.refs = 1;
        pooled.length = size;
        *sample = &pooled;
        return S_OK;
    }
    return E_OUTOFMEMORY;
}

// Forwards every call to the fake's writer but the two that carry samples.
struct CopyingWriter final : IWMWriter, IWMWriterAdvanced, IWMHeaderInfo {
    explicit CopyingWriter(IWMWriter* inner) : inner_(inner) {
        inner_->QueryInterface(IID_IWMWriterAdvanced, reinterpret_cast<void**>(&advanced_));
        inner_->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&header_));
    }
    ~CopyingWriter() {
        if (header_) header_->Release();
        if (advanced_) advanced_->Release();
        inner_->Release();
    }

    std::atomic<LONG> refs_{1};
    IWMWriter* inner_;
    IWMWriterAdvanced* advanced_ = nullptr;
    IWMHeaderInfo* header_ = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IWMWriter)
            *out = static_cast<IWMWriter*>(this);
        else if (iid == IID_IWMWriterAdvanced && advanced_)
            *out = static_cast<IWMWriterAdvanced*>(this);
        else if (iid == IID_IWMHeaderInfo && header_)
            *out = static_cast<IWMHeaderInfo*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // IWMWriter
    HRESULT STDMETHODCALLTYPE SetProfileByID(REFGUID id) override { return inner_->SetProfileByID(id); }
    HRESULT STDMETHODCALLTYPE SetProfile(IWMProfile* profile) override { return inner_->SetProfile(profile); }
    HRESULT STDMETHODCALLTYPE SetOutputFilename(const WCHAR* name) override { return inner_->SetOutputFilename(name); }
    HRESULT STDMETHODCALLTYPE GetInputCount(DWORD* count) override { return inner_->GetInputCount(count); }
    HRESULT STDMETHODCALLTYPE GetInputProps(DWORD input, IWMInputMediaProps** props) override {
        return inner_->GetInputProps(input, props);
    }
    HRESULT STDMETHODCALLTYPE SetInputProps(DWORD input, IWMInputMediaProps* props) override {
        return inner_->SetInputProps(input, props);
    }
    HRESULT STDMETHODCALLTYPE GetInputFormatCount(DWORD input, DWORD* count) override {
        return inner_->GetInputFormatCount(input, count);
    }
    HRESULT STDMETHODCALLTYPE GetInputFormat(DWORD input, DWORD index, IWMInputMediaProps** props) override {
        return inner_->GetInputFormat(input, index, props);
    }
    HRESULT STDMETHODCALLTYPE BeginWriting() override { return inner_->BeginWriting(); }
    HRESULT STDMETHODCALLTYPE EndWriting() override { return inner_->EndWriting(); }
    HRESULT STDMETHODCALLTYPE AllocateSample(DWORD size, INSSBuffer** sample) override {
        return TakeSample(size, sample);
    }
    HRESULT STDMETHODCALLTYPE WriteSample(DWORD input, QWORD, DWORD, INSSBuffer* sample) override {
        BYTE* data = nullptr;
        DWORD length = 0;
        HRESULT hr = sample->GetBufferAndLength(&data, &length);
        if (FAILED(hr)) return hr;
        std::memcpy(static_cast<PooledSample*>(sample)->copy, data, length);
        ++g_samples;
        g_bytes += length;
        if (input != 0) ++g_scripts;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Flush() override { return inner_->Flush(); }

    // IWMWriterAdvanced
    HRESULT STDMETHODCALLTYPE GetSinkCount(DWORD* count) override { return advanced_->GetSinkCount(count); }
    HRESULT STDMETHODCALLTYPE GetSink(DWORD index, IWMWriterSink** sink) override {
        return advanced_->GetSink(index, sink);
    }
    HRESULT STDMETHODCALLTYPE AddSink(IWMWriterSink* sink) override { return advanced_->AddSink(sink); }
    HRESULT STDMETHODCALLTYPE RemoveSink(IWMWriterSink* sink) override { return advanced_->RemoveSink(sink); }
    HRESULT STDMETHODCALLTYPE WriteStreamSample(WORD stream, QWORD time, DWORD sendTime, QWORD duration,
                                                DWORD flags, INSSBuffer* sample) override {
        return advanced_->WriteStreamSample(stream, time, sendTime, duration, flags, sample);
    }
    HRESULT STDMETHODCALLTYPE SetLiveSource(BOOL live) override { return advanced_->SetLiveSource(live); }
    HRESULT STDMETHODCALLTYPE IsRealTime(BOOL* realTime) override { return advanced_->IsRealTime(realTime); }
    HRESULT STDMETHODCALLTYPE GetWriterTime(QWORD* time) override { return advanced_->GetWriterTime(time); }
    HRESULT STDMETHODCALLTYPE GetStatistics(WORD stream, WM_WRITER_STATISTICS* statistics) override {
        return advanced_->GetStatistics(stream, statistics);
    }
    HRESULT STDMETHODCALLTYPE SetSyncTolerance(DWORD window) override { return advanced_->SetSyncTolerance(window); }
    HRESULT STDMETHODCALLTYPE GetSyncTolerance(DWORD* window) override { return advanced_->GetSyncTolerance(window); }

    // IWMHeaderInfo
    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD stream, WORD* count) override {
        return header_->GetAttributeCount(stream, count);
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD index, WORD* stream, WCHAR* name, WORD* nameLength,
                                                  WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length) override {
        return header_->GetAttributeByIndex(index, stream, name, nameLength, type, value, length);
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD* stream, LPCWSTR name, WMT_ATTR_DATATYPE* type, BYTE* value,
                                                 WORD* length) override {
        return header_->GetAttributeByName(stream, name, type, value, length);
    }
    HRESULT STDMETHODCALLTYPE SetAttribute(WORD stream, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                                           WORD length) override {
        return header_->SetAttribute(stream, name, type, value, length);
    }
    HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD* count) override { return header_->GetMarkerCount(count); }
    HRESULT STDMETHODCALLTYPE GetMarker(WORD index, WCHAR* name, WORD* length, QWORD* time) override {
        return header_->GetMarker(index, name, length, time);
    }
    HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR_WMSDK_TYPE_SAFE name, QWORD time) override {
        return header_->AddMarker(name, time);
    }
    HRESULT STDMETHODCALLTYPE RemoveMarker(WORD index) override { return header_->RemoveMarker(index); }
    HRESULT STDMETHODCALLTYPE GetScriptCount(WORD* count) override { return header_->GetScriptCount(count); }
    HRESULT STDMETHODCALLTYPE GetScript(WORD index, WCHAR* type, WORD* typeLength, WCHAR* command,
                                        WORD* commandLength, QWORD* time) override {
        return header_->GetScript(index, type, typeLength, command, commandLength, time);
    }
    HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR_WMSDK_TYPE_SAFE type, LPCWSTR_WMSDK_TYPE_SAFE command,
                                        QWORD time) override {
        return header_->AddScript(type, command, time);
    }
    HRESULT STDMETHODCALLTYPE RemoveScript(WORD index) override { return header_->RemoveScript(index); }
};

HRESULT CreateCopyingWriter(IUnknown* certificate, IWMWriter** writer) {
    if (!writer) return E_POINTER;
    *writer = nullptr;
    IWMWriter* inner = nullptr;
    HRESULT hr = fake::Runtime::kEntryPoints.createWriter(certificate, &inner);
    if (FAILED(hr) || !inner) return FAILED(hr) ? hr : E_FAIL;
    *writer = new CopyingWriter(inner);
    return S_OK;
}

}  // namespace

ombrel::RuntimeEntryPoints CopyingRuntimeEntryPoints() {
    ombrel::RuntimeEntryPoints points = fake::Runtime::kEntryPoints;
    points.createWriter = CreateCopyingWriter;
    return points;
}

long long CopiedSamples() { return g_samples.load(); }
long long CopiedBytes() { return g_bytes.load(); }
long long CopiedScripts() { return g_scripts.load(); }

}  // namespace ombrel::test::bench
