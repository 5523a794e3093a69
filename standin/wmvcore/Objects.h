// The runtime stand-in's objects as the exports and the other objects create them.
#pragma once

#include "encoder/WmSdk.h"

#include <string>
#include <vector>

namespace wmstandin {

// A stream's whole configuration, the state of one stream configuration object.
struct StreamData {
    struct Extension {
        GUID system{};
        WORD dataSize = 0;
        std::vector<BYTE> info;
    };
    struct Property {
        std::wstring name;
        WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
        std::vector<BYTE> value;
    };

    GUID streamType{};
    WORD number = 0;
    std::wstring name;
    std::wstring connectionName;
    std::wstring language;
    DWORD bitrate = 0;
    DWORD bufferWindow = 0;
    WMT_TRANSPORT_TYPE transport = WMT_Transport_Type_Unreliable;
    WM_MEDIA_TYPE mediaType{};  // pbFormat and pUnk are always null here; the block is in format
    std::vector<BYTE> format;
    bool hasMediaType = false;
    DWORD quality = 0;
    LONGLONG maxKeyFrameSpacing = 0;
    std::vector<Extension> extensions;
    std::vector<Property> properties;
};

// The size of a media type with its format block, and the copy into one caller's block.
DWORD MediaTypeSize(const StreamData& data) noexcept;
HRESULT CopyMediaTypeOut(const WM_MEDIA_TYPE& type, const std::vector<BYTE>& format, WM_MEDIA_TYPE* out,
                         DWORD* size) noexcept;
// Reads a caller's media type into type (pbFormat and pUnk cleared) and format.
HRESULT CopyMediaTypeIn(const WM_MEDIA_TYPE* in, WM_MEDIA_TYPE* type, std::vector<BYTE>* format);

// A new stream configuration object (one reference) holding a copy of data.
HRESULT CreateStreamConfig(const StreamData& data, IWMStreamConfig** config) noexcept;
// The data of a stream configuration object of this runtime; E_INVALIDARG for any other.
HRESULT ReadStreamData(IUnknown* config, StreamData* data) noexcept;

HRESULT CreateProfileManager(IWMProfileManager** manager) noexcept;
HRESULT CreateProfile(WMT_VERSION version, IWMProfile** profile) noexcept;

// An input of the writer: its stream's configuration and the media type fed to it.
HRESULT CreateInputProps(const StreamData& stream, const WM_MEDIA_TYPE& type, const std::vector<BYTE>& format,
                         IWMInputMediaProps** props) noexcept;

// A buffer of maxLength bytes (length maxLength).
HRESULT CreateBuffer(DWORD maxLength, INSSBuffer** buffer) noexcept;

HRESULT CreateWriter(IWMWriter** writer) noexcept;

}  // namespace wmstandin
