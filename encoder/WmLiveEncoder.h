// The live encoder over the Windows Media Format runtime: a writer with a network sink and,
// optionally, a file sink. Its operations are spread over the files named Encoder*.cpp.
#pragma once

#include <atomic>

#include "encoder/ArchiveStatus.h"
#include "encoder/ErrorText.h"
#include "encoder/InputStream.h"
#include "encoder/LiveEncoder.h"
#include "encoder/PcmConversion.h"
#include "win/ComPtr.h"
#include "win/CriticalSection.h"

namespace ombrel {

constexpr DWORD kDefaultBroadcastPort = 8080;
constexpr DWORD kDefaultMaxClients = 5;
// Writer inputs used until the writer's own numbers are known.
constexpr DWORD kFirstInput = 0;
constexpr DWORD kSecondInput = 1;

class WmLiveEncoder final : public LiveEncoder {
public:
    WmLiveEncoder() noexcept;
    ~WmLiveEncoder() override;

    HRESULT STDMETHODCALLTYPE Initialize() noexcept override;
    HRESULT STDMETHODCALLTYPE Configure(const InputFormat* format, const EncoderSettings* settings) noexcept override;
    HRESULT STDMETHODCALLTYPE ChangeInputFormat(const InputFormat* format) noexcept override;
    HRESULT STDMETHODCALLTYPE SetArchiveFile(const WCHAR* path) noexcept override;
    HRESULT STDMETHODCALLTYPE SetBroadcastPort(DWORD port) noexcept override;
    HRESULT STDMETHODCALLTYPE SetMaxClients(DWORD count) noexcept override;
    HRESULT STDMETHODCALLTYPE Start() noexcept override;
    HRESULT STDMETHODCALLTYPE Stop() noexcept override;
    HRESULT STDMETHODCALLTYPE WriteVideo(const BYTE* frame) noexcept override;
    HRESULT STDMETHODCALLTYPE WriteAudio(const BYTE* pcm, INT32 frames) noexcept override;
    HRESULT STDMETHODCALLTYPE WriteScript(const WCHAR* type, const WCHAR* command) noexcept override;
    HRESULT STDMETHODCALLTYPE SetBinaryAttribute(const WCHAR* name, const BYTE* value, DWORD length) noexcept override;
    HRESULT STDMETHODCALLTYPE SetStringAttribute(const WCHAR* name, const WCHAR* value) noexcept override;
    HRESULT STDMETHODCALLTYPE GetErrorText(char* buffer, DWORD size) noexcept override;
    HRESULT STDMETHODCALLTYPE GetStatistics(WM_WRITER_STATISTICS* statistics) noexcept override;
    HRESULT STDMETHODCALLTYPE GetClientCount(DWORD* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetElapsedSeconds(DWORD* seconds) noexcept override;
    void STDMETHODCALLTYPE Release() noexcept override;
    HRESULT STDMETHODCALLTYPE Uninitialize() noexcept override;
    HRESULT STDMETHODCALLTYPE GetArchiveState(HRESULT* writeResult) noexcept override;

    // Builds inputs and inputCount from inputFormat.
    HRESULT InitializeInputStream() noexcept;
    // Ties every inputs entry to the writer input of the same connection name.
    HRESULT UpdateWriterInputs() noexcept;
    // Decides how the player's PCM (inputFormat) reaches the audio writer input: as it is where
    // one of the input's formats takes it, else converted to 16 bits, else also folded to
    // stereo. Rebuilds entry's media type for that and plans pcmConversion; a format nothing
    // takes sets pcmRefused, the error text, and returns NS_E_INVALID_INPUT_FORMAT.
    HRESULT ChoosePcmInput(DWORD writerInput, InputStream* entry) noexcept;
    // Keeps each matched stream's writer input number for the sample writers.
    void RecordInputNumbers() noexcept;
    // Stream time (100 ns) of the next PCM frame: timeOffset + samplesWritten * 10^7 / rate.
    UINT64 AudioClock() noexcept;

    template <typename... Args>
    void SetError(const char* format, Args... args) noexcept {
        FormatErrorText(errorText, format, args...);
    }

    win::ComPtr<IWMProfile> profile;
    win::ComPtr<IWMWriter> writer;
    win::ComPtr<IWMWriterAdvanced> writerAdvanced;
    win::ComPtr<IWMWriterNetworkSink> networkSink;
    win::ComPtr<IWMWriterFileSink> fileSink;
    // Told by the file sink of a write that failed (a full disk, a removed drive); advised on
    // the sink from SetArchiveFile until the sink goes.
    win::ComPtr<ArchiveStatus> archiveStatus;
    win::ComPtr<IWMHeaderInfo> headerInfo;
    DWORD port = kDefaultBroadcastPort;
    DWORD maxClients = kDefaultMaxClients;
    InputFormat inputFormat{};
    EncoderSettings settings{};
    InputStream inputs[kMaxInputStreams]{};
    UINT32 inputCount = 0;
    // The writer's input number of each stream, recorded by UpdateWriterInputs: the runtime
    // promises no order of its inputs. Read by the audio thread and the title writers, each a
    // single word.
    std::atomic<DWORD> videoInput{kFirstInput};
    std::atomic<DWORD> audioInput{kFirstInput};
    std::atomic<DWORD> scriptInput{kSecondInput};
    DWORD startTime = 0;
    BOOL running = FALSE;
    BOOL initialized = FALSE;
    // What Start did to the network sink and is still to be undone: set when the call
    // succeeded, cleared when its undoing succeeded. An open sink holds its port.
    BOOL networkSinkOpen = FALSE;
    BOOL networkSinkAdded = FALSE;
    // The audio clock: written on the audio thread (and by Start), read by WriteScript on
    // other threads. clockLock guards the pair and the rate it is read with; it is held
    // for a few instructions only, so the audio thread never waits on anything slow.
    UINT64 samplesWritten = 0;
    UINT64 timeOffset = 0;
    INT32 clockRate = 0;
    char errorText[kErrorTextSize] = {};
    // How the player's blocks become the audio input's: planned by ChoosePcmInput on the
    // thread that configures or changes the format (the audio thread, mid-broadcast), read by
    // WriteAudio on the audio thread. While pcmRefused is set nothing is written.
    PcmConversion pcmConversion;
    BOOL pcmRefused = FALSE;
    // Serialises script writes, which may come from two threads at once.
    win::CriticalSection lock;
    win::CriticalSection clockLock;

    // Stops listening to the file sink and lets it go.
    void ReleaseFileSink() noexcept;

private:
    struct SamplePart {
        const void* data;
        DWORD bytes;
    };
    template <typename Fill>
    HRESULT WriteFilled(DWORD input, DWORD bytes, QWORD time, DWORD flags, const Fill& fill) noexcept;
    HRESULT WriteParts(DWORD input, const SamplePart* parts, size_t partCount, DWORD bytes, QWORD time,
                       DWORD flags) noexcept;
    void SetClock(UINT64 samples, UINT64 offset, INT32 rate) noexcept;
};

}  // namespace ombrel
