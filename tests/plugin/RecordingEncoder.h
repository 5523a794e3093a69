// A strict recording LiveEncoder for broadcast control's tests: every call in order as text,
// one scripted failure, and objects kept after Release so a late call is caught, not a crash.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "encoder/LiveEncoder.h"

namespace ombrel::test {

// How the next created encoder behaves.
struct EncoderScript {
    HRESULT createResult = S_OK;
    bool createNothing = false;  // the factory hands back no object
    std::string failAt;          // the name of the operation that fails, if any
    HRESULT failWith = E_FAIL;
    std::string errorText;       // what GetErrorText answers
    DWORD expectedBitrate = 0;   // what GetStatistics answers as the profile's bit rate
};

class RecordingEncoder final : public LiveEncoder {
public:
    explicit RecordingEncoder(const EncoderScript& script) : script_(script) {}

    HRESULT STDMETHODCALLTYPE Initialize() override { return Record("Initialize"); }
    HRESULT STDMETHODCALLTYPE Configure(const InputFormat* format, const EncoderSettings* settings) override;
    HRESULT STDMETHODCALLTYPE ChangeInputFormat(const InputFormat* format) override;
    HRESULT STDMETHODCALLTYPE SetArchiveFile(const WCHAR*) override { return Record("SetArchiveFile"); }
    HRESULT STDMETHODCALLTYPE SetBroadcastPort(DWORD port) override;
    HRESULT STDMETHODCALLTYPE SetMaxClients(DWORD count) override;
    HRESULT STDMETHODCALLTYPE Start() override { return Record("Start"); }
    HRESULT STDMETHODCALLTYPE Stop() override { return Record("Stop"); }
    HRESULT STDMETHODCALLTYPE WriteVideo(const BYTE*) override { return Record("WriteVideo"); }
    HRESULT STDMETHODCALLTYPE WriteAudio(const BYTE* pcm, INT32 frames) override;
    HRESULT STDMETHODCALLTYPE WriteScript(const WCHAR* type, const WCHAR* command) override;
    HRESULT STDMETHODCALLTYPE SetBinaryAttribute(const WCHAR*, const BYTE*, DWORD) override {
        return Record("SetBinaryAttribute");
    }
    HRESULT STDMETHODCALLTYPE SetStringAttribute(const WCHAR* name, const WCHAR* value) override;
    HRESULT STDMETHODCALLTYPE GetErrorText(char* buffer, DWORD size) override;
    HRESULT STDMETHODCALLTYPE GetStatistics(WM_WRITER_STATISTICS* statistics) override {
        if (statistics) statistics->dwExpectedBitrate = script_.expectedBitrate;
        return Record("GetStatistics");
    }
    HRESULT STDMETHODCALLTYPE GetClientCount(DWORD*) override { return Record("GetClientCount"); }
    HRESULT STDMETHODCALLTYPE GetElapsedSeconds(DWORD*) override { return Record("GetElapsedSeconds"); }
    void STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Uninitialize() override { return Record("Uninitialize"); }
    HRESULT STDMETHODCALLTYPE GetArchiveState(HRESULT*) override { return Record("GetArchiveState"); }

    std::vector<std::string> Calls();
    // Only the calls whose text starts with prefix.
    std::vector<std::string> CallsStartingWith(const std::string& prefix);
    bool Released() const { return released_.load(); }
    // Calls that came after Release.
    long LateCalls() const { return lateCalls_.load(); }
    long AudioBlocks() const { return audioBlocks_.load(); }

    // WriteAudio signals entered and then waits for proceed, when both are set.
    HANDLE audioEntered = nullptr;
    HANDLE audioProceed = nullptr;

private:
    HRESULT Record(const std::string& call);

    EncoderScript script_;
    std::mutex mutex_;
    std::vector<std::string> calls_;
    std::atomic<bool> released_{false};
    std::atomic<long> lateCalls_{0};
    std::atomic<long> audioBlocks_{0};
};

// The factory broadcast control uses while a test has it installed.
class RecordingEncoders {
public:
    RecordingEncoders();   // installs the factory
    ~RecordingEncoders();  // puts the platform's back; the encoders go with it

    // Applies to every encoder created from now on.
    void SetScript(const EncoderScript& script);
    size_t Created();
    // The encoder created index-th (0 first), or null.
    RecordingEncoder* At(size_t index);
    RecordingEncoder* Last();
};

// UTF-16 to UTF-8, for readable expectations.
std::string Utf8(const WCHAR* text);

}  // namespace ombrel::test
