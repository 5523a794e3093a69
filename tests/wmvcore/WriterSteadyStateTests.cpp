// The writer in a steady stream: once warmed up, a sample's whole way (AllocateSample,
// WriteSample with conversion, the multiplexer, delivery to the sinks, Release) allocates
// nothing, and for a WMA stream the caller's part (the copy into the encoding thread's queue)
// allocates nothing either; a sample or a packet somebody still holds is never reused under them; and every
// buffer is gone once the writer and the last holder are.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "standin/wmvcore/Buffer.h"
#include "standin/wmvcore/WmaEncoder.h"
#include "tests/wmvcore/AllocationCounter.h"
#include "tests/wmvcore/StandInSupport.h"

namespace ombrel::test {
namespace {

constexpr DWORD kBlockFrames = 576;

// A sink that only counts, or that keeps every data unit it gets (as a sink queuing the
// buffers themselves would) with a copy of its bytes at arrival.
class HoldingSink final : public IWMWriterSink {
public:
    explicit HoldingSink(bool hold) : hold_(hold) {}
    ~HoldingSink() {
        for (INSSBuffer* unit : held_) unit->Release();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IWMWriterSink)) return E_NOINTERFACE;
        *out = static_cast<IWMWriterSink*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // the test owns it
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnHeader(INSSBuffer*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsRealTime(BOOL* realTime) override {
        if (!realTime) return E_POINTER;
        *realTime = TRUE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AllocateDataUnit(DWORD, INSSBuffer**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnDataUnit(INSSBuffer* unit) override {
        ++units;
        if (hold_) {
            BYTE* bytes = nullptr;
            DWORD length = 0;
            unit->GetBufferAndLength(&bytes, &length);
            unit->AddRef();
            held_.push_back(unit);
            copies_.emplace_back(bytes, bytes + length);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEndWriting() override { return S_OK; }

    // Held units whose bytes changed after they arrived.
    size_t Overwritten() const {
        size_t changed = 0;
        for (size_t i = 0; i < held_.size(); ++i) {
            BYTE* bytes = nullptr;
            DWORD length = 0;
            held_[i]->GetBufferAndLength(&bytes, &length);
            if (std::vector<BYTE>(bytes, bytes + length) != copies_[i]) ++changed;
        }
        return changed;
    }

    long units = 0;

private:
    const bool hold_;
    std::vector<INSSBuffer*> held_;
    std::vector<std::vector<BYTE>> copies_;
};

struct Stream {
    win::ComPtr<IWMWriter> writer;
    win::ComPtr<IWMWriterAdvanced> advanced;
    QWORD time = 0;
    BYTE level = 0;

    // A 16-bit stereo 44.1 kHz stream (or WMA at 128 kbps) with a script stream, fed with input.
    Stream(WAVEFORMATEX input, IWMWriterSink* sink, bool wma = false) {
        EXPECT_HR(S_OK, wmstandin::CreateWriter(writer.put()));
        EXPECT_HR(S_OK, writer.As(IID_IWMWriterAdvanced, &advanced));
        win::ComPtr<IWMProfile> profile;
        EXPECT_HR(S_OK, wmstandin::CreateProfile(WMT_VER_9_0, profile.put()));
        if (wma) {
            wmstandin::WmaFormat format;
            EXPECT_TRUE(wmstandin::DescribeWmaFormat(44100, 2, 128000, &format));
            WM_MEDIA_TYPE type = PcmType(reinterpret_cast<WAVEFORMATEX*>(format.wave.data()));
            type.cbFormat = static_cast<ULONG>(format.wave.size());
            EXPECT_HR(S_OK, AddStream(profile.get(), WMMEDIATYPE_Audio, &type, L"Audio", format.bitrate));
        } else {
            EXPECT_HR(S_OK, AddPcmStream(profile.get(), Pcm(44100, 2, 16)));
        }
        EXPECT_HR(S_OK, AddScriptStream(profile.get()));
        EXPECT_HR(S_OK, writer->SetProfile(profile.get()));
        win::ComPtr<IWMInputMediaProps> props;
        EXPECT_HR(S_OK, writer->GetInputProps(0, props.put()));
        WM_MEDIA_TYPE type = PcmType(&input);
        EXPECT_HR(S_OK, props->SetMediaType(&type));
        EXPECT_HR(S_OK, writer->SetInputProps(0, props.get()));
        EXPECT_HR(S_OK, advanced->AddSink(sink));
        EXPECT_HR(S_OK, writer->BeginWriting());
    }
    // One block as the plug-in writes it; every 50th block also a script command.
    HRESULT Block(DWORD bytes, long index) {
        win::ComPtr<INSSBuffer> sample;
        HRESULT hr = writer->AllocateSample(bytes, sample.put());
        if (FAILED(hr)) return hr;
        BYTE* data = nullptr;
        DWORD length = 0;
        sample->GetBufferAndLength(&data, &length);
        std::memset(data, level++, length);
        hr = writer->WriteSample(0, time, 0, sample.get());
        if (SUCCEEDED(hr) && index % 50 == 0) {
            win::ComPtr<INSSBuffer> script;
            hr = writer->AllocateSample(40, script.put());
            if (SUCCEEDED(hr)) hr = writer->WriteSample(1, time, WM_SF_CLEANPOINT, script.get());
        }
        time += 10000000ull * kBlockFrames / 44100;
        return hr;
    }
};

TEST(WriterSteadyStateTest, ASteadyStreamAllocatesNothingPerSample) {
    const struct {
        WAVEFORMATEX input;
        bool wma;
        long packets;  // at least, from 2000 blocks
        const char* what;
    } rows[] = {
        {Pcm(44100, 2, 16), false, 500, "as the stream (passed through)"},
        {Pcm(22050, 1, 8), false, 500, "8-bit mono 22.05 kHz (converted)"},
        // The writer takes only standard PCM into these streams (the plug-in converts the rest).
        {Pcm(48000, 2, 8), false, 500, "8-bit stereo 48 kHz (widened and resampled)"},
        {Pcm(44100, 2, 16), true, 50, "WMA 128 kbps (queued for the encoding thread)"},
        {Pcm(48000, 1, 8), true, 50, "WMA from 8-bit mono 48 kHz"},
    };
    for (const auto& row : rows) {
        HoldingSink sink(false);
        Stream stream(row.input, &sink, row.wma);
        const DWORD bytes = kBlockFrames * row.input.nBlockAlign;
        // The encoding thread's queue holds seconds, not the minutes fed here at full speed: the
        // caller waits for it now and then, as real time would.
        auto block = [&](long i) {
            const HRESULT hr = stream.Block(bytes, i);
            if (row.wma && i % 50 == 49) stream.writer->Flush();
            return hr;
        };
        // Warm-up: the statistics' window of one second fills, the queue and the pool find their size.
        for (long i = 0; i < 500; ++i) ASSERT_HR(S_OK, block(i)) << row.what;
        const LONG buffers = wmstandin::Buffer::Live();
        const long unitsBefore = sink.units;
        long allocations = 0;
        {
            AllocationCounter counter;
            for (long i = 500; i < 2500; ++i) {
                if (FAILED(block(i))) break;
            }
            allocations = counter.Count();
        }
        EXPECT_EQ(0, allocations) << row.what;
        EXPECT_EQ(buffers, wmstandin::Buffer::Live()) << row.what;
        EXPECT_GT(sink.units - unitsBefore, row.packets) << row.what << ": packets reached the sink";
        EXPECT_HR(S_OK, stream.writer->EndWriting());
    }
}

TEST(WriterSteadyStateTest, HeldSamplesAndPacketsAreNeverReusedUnderTheirHolder) {
    const LONG before = wmstandin::Buffer::Live();
    {
        HoldingSink sink(true);
        Stream stream(Pcm(44100, 2, 16), &sink);
        // The caller keeps one sample across writes: the next ones are other buffers.
        win::ComPtr<INSSBuffer> kept;
        ASSERT_HR(S_OK, stream.writer->AllocateSample(2304, kept.put()));
        for (int i = 0; i < 5; ++i) {
            win::ComPtr<INSSBuffer> other;
            ASSERT_HR(S_OK, stream.writer->AllocateSample(2304, other.put()));
            EXPECT_NE(kept.get(), other.get());
            ASSERT_HR(S_OK, stream.writer->WriteSample(0, stream.time, 0, other.get()));
        }
        ASSERT_HR(S_OK, stream.writer->WriteSample(0, stream.time, 0, kept.get()));
        for (long i = 0; i < 300; ++i) ASSERT_HR(S_OK, stream.Block(2304, i));
        ASSERT_HR(S_OK, stream.writer->EndWriting());
        EXPECT_GT(sink.units, 200);
        EXPECT_EQ(0u, sink.Overwritten()) << "a packet the sink held was reused";
        // The writer goes first; the sink's packets and the kept sample outlive it.
        stream.advanced.reset();
        EXPECT_EQ(0u, stream.writer.detach()->Release());
        EXPECT_GT(wmstandin::Buffer::Live(), before + sink.units - 1);
        BYTE* bytes = nullptr;
        ASSERT_HR(S_OK, kept->GetBuffer(&bytes));
        bytes[2303] = 1;
    }
    EXPECT_EQ(before, wmstandin::Buffer::Live()) << "buffers left after the writer and every holder";
}

}  // namespace
}  // namespace ombrel::test
