// The file sink: the writer's header, then its packets, into one file. At the end of writing the
// header's counts and sizes are written back (file size, data packet count, data object size), so
// the file reads as a finished, non-live file.
#include "standin/wmvcore/Sinks.h"

#include <new>
#include <vector>

#include "standin/wmvcore/AsfBytes.h"
#include "win/CriticalSection.h"
#include "win/UniqueAny.h"

namespace wmstandin {

namespace {

HRESULT LastError() {
    const DWORD e = ::GetLastError();
    return e ? HRESULT_FROM_WIN32(e) : E_FAIL;
}

class FileSink final : public IWMWriterFileSink {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IWMWriterSink || iid == IID_IWMWriterFileSink) {
            *out = static_cast<IWMWriterFileSink*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

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
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE OnHeader(INSSBuffer* header) override {
        BYTE* data = nullptr;
        DWORD size = 0;
        if (!header) return E_POINTER;
        HRESULT hr = header->GetBufferAndLength(&data, &size);
        if (FAILED(hr)) return hr;
        win::CsLock lock(cs_);
        if (!file_) return E_UNEXPECTED;
        if (!header_.empty()) return S_OK;  // one header per file; a re-added sink keeps writing
        header_.assign(data, data + size);
        return Write(data, size);
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
        win::CsLock lock(cs_);
        if (!file_ || header_.empty()) return E_UNEXPECTED;
        hr = Write(data, size);
        if (SUCCEEDED(hr)) {
            ++packets_;
            packetSize_ = size;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE OnEndWriting() override {
        win::CsLock lock(cs_);
        if (!file_) return S_OK;
        const HRESULT hr = PatchHeader();
        file_.reset();
        return hr;
    }

private:
    ~FileSink() {
        if (file_) PatchHeader();
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

    // The file properties' size, packet count and flags (seekable now, no longer broadcast), and
    // the data object's size and packet count.
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
                for (size_t i = 0; i < 8; ++i) patched[at + 56 + i] = bytes[i];
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

    LONG refs_ = 1;
    win::CriticalSection cs_;
    win::UniqueAny<win::FileHandleTraits> file_;
    std::vector<BYTE> header_;
    uint64_t packets_ = 0;
    DWORD packetSize_ = 0;
};

}  // namespace

HRESULT CreateFileSink(IWMWriterFileSink** sink) {
    if (!sink) return E_POINTER;
    *sink = new (std::nothrow) FileSink();
    return *sink ? S_OK : E_OUTOFMEMORY;
}

}  // namespace wmstandin
