// The live encoder as the plug-in sees it: twenty-one operations in a fixed order, the slots of
// this abstract class. Every operation but Release and the destructor returns 0 on success
// and a negative code on failure: E_FAIL in the wrong state, E_INVALIDARG for a bad argument,
// the runtime's own code otherwise (with a message for GetErrorText).
#pragma once

#include <windows.h>

#include "encoder/EncoderSettings.h"
#include "encoder/InputFormat.h"
#include "encoder/WmSdk.h"

namespace ombrel {

class LiveEncoder {
public:
    virtual HRESULT STDMETHODCALLTYPE Initialize() = 0;                                     // 0
    virtual HRESULT STDMETHODCALLTYPE Configure(const InputFormat* format,
                                                const EncoderSettings* settings) = 0;       // 1
    virtual HRESULT STDMETHODCALLTYPE ChangeInputFormat(const InputFormat* format) = 0;     // 2
    // The file the broadcast is recorded to, in UTF-16; before Start.
    virtual HRESULT STDMETHODCALLTYPE SetArchiveFile(const WCHAR* path) = 0;                // 3
    virtual HRESULT STDMETHODCALLTYPE SetBroadcastPort(DWORD port) = 0;                     // 4
    virtual HRESULT STDMETHODCALLTYPE SetMaxClients(DWORD count) = 0;                       // 5
    virtual HRESULT STDMETHODCALLTYPE Start() = 0;                                          // 6
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;                                           // 7
    virtual HRESULT STDMETHODCALLTYPE WriteVideo(const BYTE* frame) = 0;                    // 8
    virtual HRESULT STDMETHODCALLTYPE WriteAudio(const BYTE* pcm, INT32 frames) = 0;        // 9
    virtual HRESULT STDMETHODCALLTYPE WriteScript(const WCHAR* type, const WCHAR* command) = 0;  // 10
    virtual HRESULT STDMETHODCALLTYPE SetBinaryAttribute(const WCHAR* name, const BYTE* value,
                                                         DWORD length) = 0;                 // 11
    virtual HRESULT STDMETHODCALLTYPE SetStringAttribute(const WCHAR* name, const WCHAR* value) = 0;  // 12
    virtual HRESULT STDMETHODCALLTYPE GetErrorText(char* buffer, DWORD size) = 0;           // 13
    virtual HRESULT STDMETHODCALLTYPE GetStatistics(WM_WRITER_STATISTICS* statistics) = 0;  // 14
    virtual HRESULT STDMETHODCALLTYPE GetClientCount(DWORD* count) = 0;                     // 15
    virtual HRESULT STDMETHODCALLTYPE GetElapsedSeconds(DWORD* seconds) = 0;                // 16
    virtual void STDMETHODCALLTYPE Release() = 0;                                           // 17
    virtual ~LiveEncoder() = default;                                                       // 18
    virtual HRESULT STDMETHODCALLTYPE Uninitialize() = 0;                                   // 19
    // While an archive file is recorded: S_OK with *writeResult S_OK while it records, or the
    // code of the write failure that ended the recording; E_FAIL without an archive file.
    virtual HRESULT STDMETHODCALLTYPE GetArchiveState(HRESULT* writeResult) = 0;            // 20
};

// Creates one encoder; *encoder is null when it could not be allocated.
HRESULT WMLiveCreateInterface(LiveEncoder** encoder) noexcept;

}  // namespace ombrel
