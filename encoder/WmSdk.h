// The Windows Media Format runtime's interfaces as the plug-in and the runtime stand-in see them.
//
// mingw-w64's <wmsdk.h> declares most of the runtime, but not the network and file sinks,
// client connections, the second and third stream configuration interfaces nor the video
// media properties. They are declared here with the runtime's own IIDs and method order:
// a slot in the wrong place would call the wrong method on the real runtime, and nothing
// under Wine could notice. The GUIDs that no mingw library defines are defined once, in
// WmSdkGuids.cpp.
#pragma once

#include <windows.h>
#include <mlang.h>
#include <wmsdk.h>

// Network protocol of a writer network sink; HTTP is the only one.
enum WMT_NET_PROTOCOL { WMT_PROTOCOL_HTTP = 0 };

enum WMT_TRANSPORT_TYPE { WMT_Transport_Type_Unreliable = 0, WMT_Transport_Type_Reliable = 1 };

struct WM_CLIENT_PROPERTIES {
    DWORD dwIPAddress;
    DWORD dwPort;
};

struct WM_CLIENT_PROPERTIES_EX {
    DWORD cbSize;
    LPCWSTR pwszIPAddress;
    LPCWSTR pwszPort;
    LPCWSTR pwszDNSName;
};

struct WMSCRIPTFORMAT {
    GUID scriptType;
};

struct WMVIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    LONGLONG AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};

static_assert(sizeof(WM_MEDIA_TYPE) == 72, "WM_MEDIA_TYPE layout");
static_assert(sizeof(WM_WRITER_STATISTICS) == 56, "WM_WRITER_STATISTICS layout");
static_assert(sizeof(WM_CLIENT_PROPERTIES) == 8, "WM_CLIENT_PROPERTIES layout");
static_assert(sizeof(WM_CLIENT_PROPERTIES_EX) == 16, "WM_CLIENT_PROPERTIES_EX layout");
static_assert(sizeof(WMSCRIPTFORMAT) == 16, "WMSCRIPTFORMAT layout");
static_assert(sizeof(WMVIDEOINFOHEADER) == 88, "WMVIDEOINFOHEADER layout");

extern "C" {
extern const IID IID_IWMWriterNetworkSink;
extern const IID IID_IWMClientConnections;
extern const IID IID_IWMClientConnections2;
extern const IID IID_IWMWriterFileSink;
extern const IID IID_IWMRegisterCallback;
extern const IID IID_IWMStreamConfig2;
extern const IID IID_IWMStreamConfig3;
extern const IID IID_IWMVideoMediaProps;

extern const GUID WMMEDIATYPE_Script;
extern const GUID WMFORMAT_VideoInfo;
extern const GUID WMFORMAT_WaveFormatEx;
extern const GUID WMFORMAT_Script;
extern const GUID WMSCRIPTTYPE_TwoStrings;
extern const GUID WM_SampleExtensionGUID_ContentType;
extern const GUID WM_SampleExtensionGUID_PixelAspectRatio;
}

constexpr WORD WM_SampleExtension_ContentType_Size = 1;
constexpr WORD WM_SampleExtension_PixelAspectRatio_Size = 2;

// IWMWriterNetworkSink derives from IWMWriterSink, not from IWMRegisterCallback.
MIDL_INTERFACE("96406BE7-2B2B-11D3-B36B-00C04F6108FF")
IWMWriterNetworkSink : public IWMWriterSink {
    virtual HRESULT STDMETHODCALLTYPE SetMaximumClients(DWORD dwMaxClients) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaximumClients(DWORD *pdwMaxClients) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNetworkProtocol(WMT_NET_PROTOCOL protocol) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNetworkProtocol(WMT_NET_PROTOCOL *pProtocol) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHostURL(WCHAR *pwszURL, DWORD *pcchURL) = 0;
    // The port is in and out: 0 lets the sink choose, and the sink may rewrite it.
    virtual HRESULT STDMETHODCALLTYPE Open(DWORD *pdwPortNum) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};
__CRT_UUID_DECL(IWMWriterNetworkSink, 0x96406be7, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff)

MIDL_INTERFACE("73C66010-A299-41DF-B1F0-CCF03B09C1C6")
IWMClientConnections : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClientCount(DWORD *pcClients) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClientProperties(DWORD dwClientNum,
                                                          WM_CLIENT_PROPERTIES *pClientProperties) = 0;
};
__CRT_UUID_DECL(IWMClientConnections, 0x73c66010, 0xa299, 0x41df, 0xb1, 0xf0, 0xcc, 0xf0, 0x3b, 0x09, 0xc1, 0xc6)

MIDL_INTERFACE("4091571E-4701-4593-BB3D-D5F5F0C74246")
IWMClientConnections2 : public IWMClientConnections {
    virtual HRESULT STDMETHODCALLTYPE GetClientInfo(DWORD dwClientNum, WCHAR *pwszNetworkAddress,
                                                    DWORD *pcchNetworkAddress, WCHAR *pwszPort,
                                                    DWORD *pcchPort, WCHAR *pwszDNSName,
                                                    DWORD *pcchDNSName) = 0;
};
__CRT_UUID_DECL(IWMClientConnections2, 0x4091571e, 0x4701, 0x4593, 0xbb, 0x3d, 0xd5, 0xf5, 0xf0, 0xc7, 0x42, 0x46)

MIDL_INTERFACE("96406BE5-2B2B-11D3-B36B-00C04F6108FF")
IWMWriterFileSink : public IWMWriterSink {
    virtual HRESULT STDMETHODCALLTYPE Open(const WCHAR *pwszFilename) = 0;
};
__CRT_UUID_DECL(IWMWriterFileSink, 0x96406be5, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff)

MIDL_INTERFACE("CF4B1F99-4DE2-4E49-A363-252740D99BC1")
IWMRegisterCallback : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Advise(IWMStatusCallback *pCallback, void *pvContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(IWMStatusCallback *pCallback, void *pvContext) = 0;
};
__CRT_UUID_DECL(IWMRegisterCallback, 0xcf4b1f99, 0x4de2, 0x4e49, 0xa3, 0x63, 0x25, 0x27, 0x40, 0xd9, 0x9b, 0xc1)

MIDL_INTERFACE("7688D8CB-FC0D-43BD-9459-5A8DEC200CFA")
IWMStreamConfig2 : public IWMStreamConfig {
    virtual HRESULT STDMETHODCALLTYPE GetTransportType(WMT_TRANSPORT_TYPE *pnTransportType) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTransportType(WMT_TRANSPORT_TYPE nTransportType) = 0;
    // The extension's GUID is passed by value (16 bytes on the stack), not by reference.
    virtual HRESULT STDMETHODCALLTYPE AddDataUnitExtension(GUID guidExtensionSystemID,
                                                           WORD cbExtensionDataSize,
                                                           BYTE *pbExtensionSystemInfo,
                                                           DWORD cbExtensionSystemInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataUnitExtensionCount(WORD *pcDataUnitExtensions) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataUnitExtension(WORD wDataUnitExtensionNumber,
                                                           GUID *pguidExtensionSystemID,
                                                           WORD *pcbExtensionDataSize,
                                                           BYTE *pbExtensionSystemInfo,
                                                           DWORD *pcbExtensionSystemInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAllDataUnitExtensions() = 0;
};
__CRT_UUID_DECL(IWMStreamConfig2, 0x7688d8cb, 0xfc0d, 0x43bd, 0x94, 0x59, 0x5a, 0x8d, 0xec, 0x20, 0x0c, 0xfa)

MIDL_INTERFACE("CB164104-3AA9-45A7-9AC9-4DAEE131D6E1")
IWMStreamConfig3 : public IWMStreamConfig2 {
    virtual HRESULT STDMETHODCALLTYPE GetLanguage(WCHAR *pwszLanguageString,
                                                  WORD *pcchLanguageStringLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLanguage(LPCWSTR pwszLanguageString) = 0;
};
__CRT_UUID_DECL(IWMStreamConfig3, 0xcb164104, 0x3aa9, 0x45a7, 0x9a, 0xc9, 0x4d, 0xae, 0xe1, 0x31, 0xd6, 0xe1)

MIDL_INTERFACE("96406BCF-2B2B-11D3-B36B-00C04F6108FF")
IWMVideoMediaProps : public IWMMediaProps {
    virtual HRESULT STDMETHODCALLTYPE GetMaxKeyFrameSpacing(LONGLONG *pllTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMaxKeyFrameSpacing(LONGLONG llTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetQuality(DWORD *pdwQuality) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetQuality(DWORD dwQuality) = 0;
};
__CRT_UUID_DECL(IWMVideoMediaProps, 0x96406bcf, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff)

// The runtime's four entry points, reached at run time (WmRuntime.h). All are __stdcall,
// exported undecorated.
using WMCreateWriterProc = HRESULT(STDMETHODCALLTYPE *)(IUnknown *pUnkCert, IWMWriter **ppWriter);
using WMCreateWriterNetworkSinkProc = HRESULT(STDMETHODCALLTYPE *)(IWMWriterNetworkSink **ppSink);
using WMCreateWriterFileSinkProc = HRESULT(STDMETHODCALLTYPE *)(IWMWriterFileSink **ppSink);
using WMCreateProfileManagerProc = HRESULT(STDMETHODCALLTYPE *)(IWMProfileManager **ppProfileManager);
