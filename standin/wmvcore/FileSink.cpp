// The file sink: the writer's header, then its packets, into one file. At the end of writing the
// header's counts and sizes are written back (file size, data packet count, data object size,
// play and send durations), so the file reads as a finished, non-live file.
//
// A write that fails (a full disk, a drive gone) is told as the runtime tells it: OnStatus with
// WMT_ERROR and NS_E_FILE_WRITE to the callbacks advised through IWMRegisterCallback, while the
// writer goes on as if nothing happened. The sink then writes nothing more; the file is cut back
// to its last whole packet, so it ends as a shorter but complete file.
#include "standin/wmvcore/Sinks.h"

#include <algorithm>
#include <map>
#include <new>
#include <vector>

#include "standin/wmvcore/AsfBytes.h"
#include "standin/wmvcore/ComSupport.h"
#include "win/ComPtr.h"
#include "win/CriticalSection.h"
#include "win/UniqueAny.h"

namespace wmstandin {

namespace {

// Where a data packet's times are: its send time and duration, and each payload's stream and
// presentation time (milliseconds, preroll included). False for a packet that does not parse.
struct PacketTimes {
    DWORD send = 0;
    WORD duration = 0;
    std::vector<std::pair<BYTE, DWORD>> presentations;
};

bool ReadPacketTimes(const BYTE* p, DWORD size, PacketTimes* times) {
    DWORD at = 0;
    auto has = [&](DWORD n) { return at + n <= size; };
    // A field of 0, 1, 2 or 4 bytes chosen by a two-bit length type.
    auto field = [&](unsigned type, DWORD* value) {
        static const DWORD kSizes[] = {0, 1, 2, 4};
        const DWORD n = kSizes[type & 3];
        if (!has(n)) return false;
        DWORD v = 0;
        for (DWORD i = 0; i < n; ++i) v |= static_cast<DWORD>(p[at + i]) << (8 * i);
        at += n;
        *value = v;
        return true;
    };
    if (!has(1)) return false;
    if (p[0] & 0x80) at += 1 + (p[0] & 0x0F);  // error correction data
    if (!has(2)) return false;
    const BYTE lengthType = p[at++];
    const BYTE properties = p[at++];
    DWORD ignored = 0, padding = 0;
    if (!field(lengthType >> 5, &ignored) || !field(lengthType >> 1, &ignored) || !field(lengthType >> 3, &padding))
        return false;
    DWORD send = 0, duration = 0;
    if (!field(3, &send) || !field(2, &duration)) return false;
    times->send = send;
    times->duration = static_cast<WORD>(duration);
    const bool multiple = lengthType & 1;
    DWORD count = 1;
    unsigned payloadLengthType = 0;
    if (multiple) {
        if (!has(1)) return false;
        count = p[at] & 0x3F;
        payloadLengthType = p[at] >> 6;
        ++at;
    }
    for (DWORD i = 0; i < count; ++i) {
        DWORD stream = 0, object = 0, offset = 0, replicated = 0, length = 0;
        if (!field(1, &stream) || !field(properties >> 4, &object) || !field(properties >> 2, &offset) ||
            !field(properties, &replicated) || !has(replicated))
            return false;
        DWORD presentation = offset;  // compressed payloads carry it in the offset field
        if (replicated >= 8) presentation = asf::ReadU32(p + at + 4);
        at += replicated;
        if (multiple) {
            if (!field(payloadLengthType, &length)) return false;
        } else {
            if (size < at + padding) return false;
            length = size - at - padding;
        }
        if (!has(length)) return false;
        at += length;
        times->presentations.emplace_back(static_cast<BYTE>(stream & 0x7F), presentation);
    }
    return true;
}

HRESULT LastError() {
    const DWORD e = ::GetLastError();
    return e ? HRESULT_FROM_WIN32(e) : E_FAIL;
}

class FileSink final : public IWMWriterFileSink, public IWMRegisterCallback {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IWMWriterSink || iid == IID_IWMWriterFileSink) {
            *out = static_cast<IWMWriterFileSink*>(this);
            AddRef();
            return S_OK;
        }
        if (iid == IID_IWMRegisterCallback) {
            *out = static_cast<IWMRegisterCallback*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs_.Release(this); }

    HRESULT STDMETHODCALLTYPE Open(const WCHAR* path) override {
        if (!path || !*path) return E_INVALIDARG;
        win::CsLock lock(cs_);
        win::UniqueAny<win::FileHandleTraits> file(
            ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return LastError();
        file_ = std::move(file);
        header_.clear();
        packets_ = 0;
        packetSize_ = 0;
        sendEnd_ = 0;
        last_.clear();
        failed_ = false;
        return S_OK;
    }

    // IWMRegisterCallback
    HRESULT STDMETHODCALLTYPE Advise(IWMStatusCallback* callback, void* context) override {
        if (!callback) return E_POINTER;
        return Guard([&] {
            win::CsLock lock(cs_);
            callbacks_.push_back({win::ComPtr<IWMStatusCallback>::Share(callback), context});
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Unadvise(IWMStatusCallback* callback, void* context) override {
        if (!callback) return E_POINTER;
        win::ComPtr<IWMStatusCallback> removed;
        {
            win::CsLock lock(cs_);
            for (auto it = callbacks_.begin(); it != callbacks_.end(); ++it) {
                if (it->callback.get() == callback && it->context == context) {
                    removed = std::move(it->callback);
                    callbacks_.erase(it);
                    break;
                }
            }
        }
        return removed ? S_OK : E_INVALIDARG;
    }

    HRESULT STDMETHODCALLTYPE OnHeader(INSSBuffer* header) override {
        BYTE* data = nullptr;
        DWORD size = 0;
        if (!header) return E_POINTER;
        HRESULT hr = header->GetBufferAndLength(&data, &size);
        if (FAILED(hr)) return hr;
        {
            win::CsLock lock(cs_);
            if (!file_) return E_UNEXPECTED;
            if (!header_.empty() || failed_) return S_OK;  // one header per file; a re-added sink keeps writing
            header_.assign(data, data + size);
            hr = Write(data, size);
            if (SUCCEEDED(hr)) return S_OK;
            header_.clear();
            failed_ = true;
            LARGE_INTEGER start{};
            if (::SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN)) ::SetEndOfFile(file_.get());
        }
        Notify(WMT_ERROR, NS_E_FILE_WRITE);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE IsRealTime(WINBOOL* realTime) override {
        if (!realTime) return E_POINTER;
        *realTime = FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AllocateDataUnit(DWORD, INSSBuffer** unit) override {
        if (unit) *unit = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnDataUnit(INSSBuffer* unit) override {
        BYTE* data = nullptr;
        DWORD size = 0;
        if (!unit) return E_POINTER;
        HRESULT hr = unit->GetBufferAndLength(&data, &size);
        if (FAILED(hr)) return hr;
        {
            win::CsLock lock(cs_);
            if (failed_) return S_OK;
            if (!file_ || header_.empty()) return E_UNEXPECTED;
            hr = Write(data, size);
            if (SUCCEEDED(hr)) {
                Count(data, size);
                return S_OK;
            }
            failed_ = true;
            CutToWholePackets();
        }
        Notify(WMT_ERROR, NS_E_FILE_WRITE);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE OnEndWriting() override {
        HRESULT hr = S_OK;
        {
            win::CsLock lock(cs_);
            if (!file_) return S_OK;
            hr = PatchHeader();
            file_.reset();
        }
        Notify(WMT_CLOSED, S_OK);
        return hr;
    }

private:
    friend class wmstandin::RefCount;  // the last Release deletes
    ~FileSink() {
        if (file_) PatchHeader();
    }

    // A packet written: its count, size and times for the header's end values.
    void Count(const BYTE* data, DWORD size) {
        ++packets_;
        packetSize_ = size;
        PacketTimes times;
        if (!ReadPacketTimes(data, size, &times)) return;
        sendEnd_ = std::max<uint64_t>(sendEnd_, static_cast<uint64_t>(times.send) + times.duration);
        for (const auto& [stream, time] : times.presentations) {
            Last& last = last_[stream];
            if (time > last.time) {
                last.previous = last.time;
                last.time = time;
            }
        }
    }

    // Outside the lock: a callback may call back into the sink.
    void Notify(WMT_STATUS status, HRESULT hr) {
        std::vector<Advised> callbacks;
        {
            win::CsLock lock(cs_);
            for (const Advised& a : callbacks_) callbacks.push_back({win::ComPtr<IWMStatusCallback>::Share(a.callback.get()), a.context});
        }
        for (const Advised& a : callbacks) a.callback->OnStatus(status, hr, WMT_TYPE_DWORD, nullptr, a.context);
    }

    // After a failed write: what the disk took of the last packet goes, so the file ends on a
    // whole packet. The header (written first) is complete once the end patches it.
    void CutToWholePackets() {
        if (header_.empty()) return;
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(header_.size() + packets_ * packetSize_);
        if (::SetFilePointerEx(file_.get(), end, nullptr, FILE_BEGIN)) ::SetEndOfFile(file_.get());
    }

    HRESULT Write(const void* data, DWORD size) {
        DWORD written = 0;
        if (!::WriteFile(file_.get(), data, size, &written, nullptr) || written != size) return LastError();
        return S_OK;
    }
    HRESULT WriteAt(uint64_t at, const void* data, DWORD size) {
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(at);
        if (!::SetFilePointerEx(file_.get(), position, nullptr, FILE_BEGIN)) return LastError();
        return Write(data, size);
    }

    // The play duration (100 ns, preroll included): the latest presentation time of all streams
    // plus the last object of the stream it belongs to, taken to last as long as the gap before
    // it (a sparse stream's commands end where the continuous stream's last block ends).
    uint64_t PlayDuration() const {
        const Last* latest = nullptr;
        for (const auto& entry : last_)
            if (!latest || entry.second.time > latest->time) latest = &entry.second;
        if (!latest) return 0;
        const DWORD lasts = latest->previous ? latest->time - latest->previous : 0;
        return (static_cast<uint64_t>(latest->time) + lasts) * 10000;
    }

    // The file properties' size, packet count, play and send durations and flags (seekable now,
    // no longer broadcast), and the data object's size and packet count.
    HRESULT PatchHeader() {
        const size_t size = header_.size();
        if (size < 30 + asf::kDataObjectHeadSize) return S_FALSE;
        const uint64_t headerObject = asf::ReadU64(&header_[16]);
        if (headerObject + asf::kDataObjectHeadSize != size) return S_FALSE;
        const uint64_t dataSize = asf::kDataObjectHeadSize + static_cast<uint64_t>(packets_) * packetSize_;
        const uint64_t fileSize = headerObject + dataSize;
        std::vector<BYTE> patched = header_;
        size_t at = 30;
        while (at + 24 <= headerObject) {
            const uint64_t objectSize = asf::ReadU64(&patched[at + 16]);
            if (objectSize < 24 || at + objectSize > headerObject) break;
            if (asf::ReadGuid(&patched[at]) == asf::kFilePropertiesObject && objectSize >= 104) {
                std::vector<BYTE> bytes;
                asf::ByteWriter w(&bytes);
                w.U64(fileSize);
                for (size_t i = 0; i < 8; ++i) patched[at + 40 + i] = bytes[i];
                bytes.clear();
                w.U64(packets_);
                w.U64(PlayDuration());
                w.U64(sendEnd_ * 10000);
                for (size_t i = 0; i < 24; ++i) patched[at + 56 + i] = bytes[i];
                bytes.clear();
                w.U32(0x02);  // seekable, not broadcast
                for (size_t i = 0; i < 4; ++i) patched[at + 88 + i] = bytes[i];
            }
            at += static_cast<size_t>(objectSize);
        }
        const size_t data = static_cast<size_t>(headerObject);
        std::vector<BYTE> bytes;
        asf::ByteWriter w(&bytes);
        w.U64(dataSize);
        for (size_t i = 0; i < 8; ++i) patched[data + 16 + i] = bytes[i];
        bytes.clear();
        w.U64(packets_);
        for (size_t i = 0; i < 8; ++i) patched[data + 40 + i] = bytes[i];
        HRESULT hr = WriteAt(0, patched.data(), static_cast<DWORD>(patched.size()));
        LARGE_INTEGER end{};
        ::SetFilePointerEx(file_.get(), end, nullptr, FILE_END);
        return hr;
    }

    struct Advised {
        win::ComPtr<IWMStatusCallback> callback;
        void* context;
    };

    RefCount refs_;
    win::CriticalSection cs_;
    std::vector<Advised> callbacks_;
    bool failed_ = false;  // a write failed: nothing more is written
    win::UniqueAny<win::FileHandleTraits> file_;
    std::vector<BYTE> header_;
    uint64_t packets_ = 0;
    DWORD packetSize_ = 0;
    uint64_t sendEnd_ = 0;  // ms: the latest send time plus its packet's duration
    struct Last {
        DWORD time = 0;      // ms, the stream's latest presentation time
        DWORD previous = 0;  // ms, the one before it
    };
    std::map<BYTE, Last> last_;
};

}  // namespace

HRESULT CreateFileSink(IWMWriterFileSink** sink) {
    if (!sink) return E_POINTER;
    *sink = new (std::nothrow) FileSink();
    return *sink ? S_OK : E_OUTOFMEMORY;
}

}  // namespace wmstandin
