// A stand-in for the Windows Media Format runtime, in the process: every object the encoder
// reaches records each call with its arguments in one log, counts its references, and fails
// any chosen call with a chosen code. A call the stand-in does not expect fails the test.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "encoder/RuntimeEntryPoints.h"
#include "encoder/WmSdk.h"
#include "win/CriticalSection.h"

namespace ombrel::test::fake {

struct FakeFormat {
    std::wstring description;
    DWORD bitrate;
};

// One codec of the catalogue. Its formats differ by enumeration: one-pass CBR, one-pass VBR
// and two-pass VBR; two-pass CBR lists nothing.
struct FakeCodec {
    GUID majorType;
    std::wstring name;
    bool knowsVbrSetting = true;  // false: "_VBRENABLED" gives 0xC00D0BCD
    std::vector<FakeFormat> cbrFormats;
    std::vector<FakeFormat> vbrFormats;
    std::vector<FakeFormat> twoPassVbrFormats;
    DWORD complexityLive = 0;
    DWORD complexityOffline = 0;
};

// What a profile stream held when it was added to the profile.
struct AddedStream {
    GUID type;
    std::wstring name;
    std::wstring connectionName;
    std::wstring language;
    DWORD bitrate = 0;
    DWORD bufferWindow = 0;
    std::vector<BYTE> mediaType;  // the WM_MEDIA_TYPE followed by its format block
    std::map<std::wstring, std::vector<BYTE>> properties;
    DWORD quality = 0;
    LONGLONG maxKeyFrameSpacing = 0;
    std::vector<std::pair<GUID, WORD>> extensions;
};

struct WrittenSample {
    DWORD input;
    QWORD time;
    DWORD flags;
    std::vector<BYTE> bytes;
};

// A writer input's PCM format: a bare WAVEFORMATEX, or the extensible record.
std::vector<BYTE> PcmInputFormat(WORD channels, WORD bits, bool extensible);
// Every integer PCM, high-resolution ones (over two channels or 16 bits) as extensible records.
std::vector<std::vector<BYTE>> PcmInputFormats();

class Runtime {
public:
    Runtime();
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    static Runtime& Current();

    // Calls whose log entry (with or without its arguments) is key fail with hr: every one
    // when nth is 0, otherwise only the nth (from 1).
    void FailOn(const std::string& key, HRESULT hr, int nth = 0);
    // Records a call and gives the code it is to return.
    HRESULT Record(const std::string& name, const std::string& args = "");
    // Records a call the stand-in has no answer for and fails the test.
    HRESULT Unexpected(const std::string& name);

    // Keeps a written sample; samples may come from several threads at once.
    void AddSample(WrittenSample sample);

    // The log, optionally without the QueryInterface entries.
    std::vector<std::string> Calls(bool withQueries = false) const;
    // The log entries that begin with prefix.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
    void ClearCalls() { calls_.clear(); }

    long LiveObjects() const { return live_; }
    void ObjectCreated() { ::InterlockedIncrement(&live_); }
    void ObjectDestroyed() { ::InterlockedDecrement(&live_); }

    // The catalogue (codec info) and what the writer and sinks do.
    std::vector<FakeCodec> codecs;
    DWORD portAfterOpen = 0;  // 0: Open keeps the port
    bool networkSinkOpen = false;  // from a successful Open to a successful Close
    DWORD clientCount = 3;
    bool headerInfoAnswers = true;
    // Writer inputs: taken from the connection names of the profile given to SetProfile
    // unless set here.
    bool inputNamesFixed = false;
    std::vector<std::wstring> inputNames;

    // The formats every writer input lists (media type + format block, as MediaTypeBytes
    // gives them); at first every integer PCM of 8 to 32 bits and 1 to 8 channels.
    std::vector<std::vector<BYTE>> inputFormats = PcmInputFormats();

    // What the encoder produced.
    std::vector<AddedStream> addedStreams;
    std::map<DWORD, std::vector<BYTE>> inputTypes;  // writer input -> media type + format
    std::vector<WrittenSample> samples;
    std::vector<std::wstring> fileSinkPaths;
    IWMStatusCallback* fileSinkStatus = nullptr;  // advised on the file sink, not yet unadvised
    std::vector<std::pair<std::wstring, std::vector<BYTE>>> attributes;
    std::vector<std::vector<std::wstring>> profileConnectionNames;  // by profile, in AddStream order

    static const ombrel::RuntimeEntryPoints kEntryPoints;

private:
    struct Failure {
        HRESULT hr;
        int nth;
        int seen;
    };
    win::CriticalSection lock_;  // the log and the samples: the encoder writes from several threads
    std::vector<std::string> calls_;
    std::map<std::string, Failure> failures_;
    volatile LONG live_ = 0;
    static Runtime* current_;
};

// Puts a Runtime in place of the real one for the life of the object.
class ScopedRuntime {
public:
    ScopedRuntime() : saved_(ombrel::ActiveRuntimeEntryPoints()) {
        ombrel::ActiveRuntimeEntryPoints() = Runtime::kEntryPoints;
    }
    ~ScopedRuntime() { ombrel::ActiveRuntimeEntryPoints() = saved_; }
    Runtime& operator*() { return runtime_; }
    Runtime* operator->() { return &runtime_; }

private:
    ombrel::RuntimeEntryPoints saved_;
    Runtime runtime_;
};

std::string GuidName(const GUID& guid);
std::string Narrow(const WCHAR* text);
// The usual catalogue: two audio codecs offered, one older one, and the video codec.
std::vector<FakeCodec> StandardCodecs();
// A media type with its format block as bytes, and back.
std::vector<BYTE> MediaTypeBytes(const WM_MEDIA_TYPE* type);
const WM_MEDIA_TYPE& MediaTypeOf(const std::vector<BYTE>& bytes);
template <typename T>
const T& FormatOf(const std::vector<BYTE>& bytes) {
    return *reinterpret_cast<const T*>(bytes.data() + sizeof(WM_MEDIA_TYPE));
}

}  // namespace ombrel::test::fake
