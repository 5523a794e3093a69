// Codec, format and language lists for the settings page, and the default settings.
#include "encoder/Catalogue.h"

#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <vector>

#include "encoder/Profile.h"
#include "win/ComPtr.h"

namespace ombrel {
namespace {

constexpr DWORD kNameSize = 128;
constexpr size_t kLanguageTextSize = 256;
constexpr DWORD kMultiLanguageContext = 0x17;
constexpr size_t kLanguageReserve = 512;  // more than the languages a system lists

const WCHAR* const kDefaultAudioCodecs[] = {
    L"Windows Media Audio 9",
    L"Windows Media Audio 9.1",
    L"Windows Media Audio 9.2",
    L"Windows Media Audio 9 Professional",
    L"Windows Media Audio 9.1 Professional",
    L"Windows Media Audio 10 Professional",
    L"Windows Media Audio 9.2 Lossless",
};
constexpr WCHAR kDefaultVideoCodec[] = L"Windows Media Video 9";

bool IsOfferedAudioCodec(const WCHAR* name) noexcept {
    return std::wcsncmp(name, L"Windows Media Audio 9", 21) == 0 ||
           std::wcsncmp(name, L"Windows Media Audio 10", 22) == 0;
}

// The codec's name when it is shorter than 127 characters: S_FALSE for a longer one.
HRESULT ReadCodecName(IWMCodecInfo3* info, REFGUID majorType, DWORD index, WCHAR (&name)[kNameSize]) noexcept {
    DWORD length = 0;
    HRESULT hr = info->GetCodecName(majorType, index, nullptr, &length);
    if (FAILED(hr)) return hr;
    if (length >= kNameSize - 1) return S_FALSE;
    DWORD size = kNameSize;
    hr = info->GetCodecName(majorType, index, name, &size);
    name[kNameSize - 1] = L'\0';
    return FAILED(hr) ? hr : S_OK;
}

bool Reserve(std::vector<LCID>* lcids, size_t size) noexcept {
    try {
        lcids->reserve(size);
        return true;
    } catch (...) {
        return false;
    }
}

LRESULT AddItem(HWND list, const WCHAR* text, DWORD data) noexcept {
    LRESULT item = ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (item >= 0) ::SendMessageW(list, CB_SETITEMDATA, item, static_cast<LPARAM>(data));
    return item;
}

void ListEnumeration(HWND list, IWMCodecInfo3* info, DWORD codecIndex, BOOL vbr, DWORD passes) noexcept {
    BOOL vbrValue = vbr;
    DWORD passesValue = passes;
    // A codec without the VBR setting still lists its CBR formats, as the profile build takes them.
    HRESULT hr = info->SetCodecEnumerationSetting(WMMEDIATYPE_Audio, codecIndex, L"_VBRENABLED", WMT_TYPE_BOOL,
                                                  reinterpret_cast<const BYTE*>(&vbrValue), sizeof(vbrValue));
    if (FAILED(hr) && !(vbr == FALSE && hr == kUnsupportedProperty)) return;
    if (FAILED(info->SetCodecEnumerationSetting(WMMEDIATYPE_Audio, codecIndex, L"_PASSESUSED", WMT_TYPE_DWORD,
                                                reinterpret_cast<const BYTE*>(&passesValue), sizeof(passesValue))))
        return;
    DWORD count = 0;
    if (FAILED(info->GetCodecFormatCount(WMMEDIATYPE_Audio, codecIndex, &count))) return;
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = 0;
        if (FAILED(info->GetCodecFormatDesc(WMMEDIATYPE_Audio, codecIndex, i, nullptr, nullptr, &length))) return;
        WCHAR local[kNameSize];
        std::unique_ptr<WCHAR[]> heap;
        WCHAR* text = local;
        DWORD capacity = kNameSize;
        if (length >= kNameSize - 1) {
            if (length > 0x7FFFFFF0 / sizeof(WCHAR)) return;
            capacity = length + 1;
            heap.reset(new (std::nothrow) WCHAR[capacity]);
            if (!heap) return;
            text = heap.get();
        }
        DWORD size = capacity;
        if (FAILED(info->GetCodecFormatDesc(WMMEDIATYPE_Audio, codecIndex, i, nullptr, text, &size))) return;
        text[size < capacity ? size : capacity - 1] = L'\0';
        AddItem(list, text, PackFormatItemData(vbr, passes, i));
    }
}

}  // namespace

DWORD PackFormatItemData(BOOL vbr, DWORD passes, DWORD formatIndex) noexcept {
    return (vbr ? 0x80000000u : 0u) | ((passes * 65536u) & 0x7FFF0000u) | (formatIndex & 0xFFFFu);
}

int FillCodecList(HWND page, DWORD savedCodecIndex) noexcept {
    HWND list = ::GetDlgItem(page, kCodecListId);
    if (!list) return 0;
    win::ComPtr<IWMCodecInfo3> info;
    if (FAILED(OpenCodecInfo(nullptr, info.put()))) return 0;
    DWORD count = 0;
    if (FAILED(info->GetCodecInfoCount(WMMEDIATYPE_Audio, &count))) return 1;
    LRESULT selection = -1;
    for (DWORD i = 0; i < count; ++i) {
        WCHAR name[kNameSize];
        HRESULT hr = ReadCodecName(info.get(), WMMEDIATYPE_Audio, i, name);
        if (FAILED(hr)) return 1;
        if (hr == S_FALSE || !IsOfferedAudioCodec(name)) continue;
        LRESULT item = AddItem(list, name, i);
        if (i == savedCodecIndex && item >= 0) selection = item;
    }
    ::SendMessageW(list, CB_SETCURSEL, selection >= 0 ? selection : 0, 0);
    return 1;
}

int FillFormatList(HWND page, BOOL savedVbr, DWORD codecIndex, DWORD savedFormatIndex, DWORD savedPasses) noexcept {
    HWND list = ::GetDlgItem(page, kFormatListId);
    if (!list) return 0;
    win::ComPtr<IWMCodecInfo3> info;
    if (FAILED(OpenCodecInfo(nullptr, info.put()))) return 0;
    ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
    ListEnumeration(list, info.get(), codecIndex, FALSE, 1);
    ListEnumeration(list, info.get(), codecIndex, TRUE, 1);

    DWORD saved = PackFormatItemData(savedVbr, savedPasses, savedFormatIndex);
    LRESULT count = ::SendMessageW(list, CB_GETCOUNT, 0, 0);
    LRESULT selection = 0;
    for (LRESULT item = 0; item < count; ++item) {
        if (static_cast<DWORD>(::SendMessageW(list, CB_GETITEMDATA, item, 0)) == saved) {
            selection = item;
            break;
        }
    }
    ::SendMessageW(list, CB_SETCURSEL, selection, 0);
    return 1;
}

int FillLanguageList(HWND page, LCID savedLcid) noexcept {
    HWND list = ::GetDlgItem(page, kLanguageListId);
    if (!list) return 0;
    win::ComPtr<IMultiLanguage> language;
    if (FAILED(::CoCreateInstance(CLSID_CMultiLanguage, nullptr, kMultiLanguageContext, IID_IMultiLanguage,
                                  language.put_void())) ||
        !language)
        return 1;
    win::ComPtr<IEnumRfc1766> entries;
    if (FAILED(language->EnumRfc1766(entries.put())) || !entries) return 1;

    // The LCIDs already listed are read from the combo box once and then kept here: asking the box
    // for every item at every entry took tens of thousands of messages, each one passing the
    // player's message hooks, and froze the sheet's opening for seconds.
    std::vector<LCID> listed;
    LRESULT count = ::SendMessageW(list, CB_GETCOUNT, 0, 0);
    if (count < 0 || !Reserve(&listed, static_cast<size_t>(count) + kLanguageReserve)) return 1;
    for (LRESULT item = 0; item < count; ++item)
        listed.push_back(static_cast<LCID>(::SendMessageW(list, CB_GETITEMDATA, item, 0)));

    LRESULT remembered = -1;
    for (;;) {
        RFC1766INFO entry{};
        ULONG fetched = 0;
        HRESULT hr = entries->Next(1, &entry, &fetched);
        if (FAILED(hr) || (hr == S_FALSE && fetched == 0)) break;
        if (fetched == 0) continue;
        if (std::find(listed.begin(), listed.end(), entry.lcid) != listed.end()) continue;
        if (listed.size() == listed.capacity() && !Reserve(&listed, listed.size() * 2)) break;
        WCHAR text[kLanguageTextSize];
        entry.wszLocaleName[MAX_LOCALE_NAME - 1] = L'\0';
        entry.wszRfc1766[MAX_RFC1766_NAME - 1] = L'\0';
        int written = std::swprintf(text, kLanguageTextSize, L"%ls [%ls]", entry.wszLocaleName, entry.wszRfc1766);
        if (written < 0 || static_cast<size_t>(written) >= kLanguageTextSize) break;
        LRESULT item = AddItem(list, text, entry.lcid);
        if (item < 0) continue;
        listed.push_back(entry.lcid);
        if (entry.lcid == savedLcid) remembered = item;
    }
    if (remembered >= 0) ::SendMessageW(list, CB_SETCURSEL, remembered, 0);
    return 1;
}

HRESULT FindCodecIndex(REFGUID majorType, const WCHAR* name, DWORD* index) noexcept {
    if (!name || !index) return E_INVALIDARG;
    *index = static_cast<DWORD>(-1);
    win::ComPtr<IWMCodecInfo3> info;
    HRESULT hr = OpenCodecInfo(nullptr, info.put());
    if (FAILED(hr)) return hr;
    DWORD count = 0;
    hr = info->GetCodecInfoCount(majorType, &count);
    if (FAILED(hr)) return hr;
    for (DWORD i = 0; i < count; ++i) {
        WCHAR found[kNameSize];
        hr = ReadCodecName(info.get(), majorType, i, found);
        if (FAILED(hr)) return hr;
        if (hr == S_OK && std::wcscmp(found, name) == 0) {
            *index = i;
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT GetCodecComplexity(REFGUID majorType, DWORD codecIndex, BOOL live, DWORD* complexity) noexcept {
    if (!complexity) return E_INVALIDARG;
    win::ComPtr<IWMCodecInfo3> info;
    HRESULT hr = OpenCodecInfo(nullptr, info.put());
    if (FAILED(hr)) return hr;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    DWORD value = 0;
    DWORD size = sizeof(value);
    hr = info->GetCodecProp(majorType, codecIndex, live ? L"_COMPLEXITYEXLIVE" : L"_COMPLEXITYEXOFFLINE", &type,
                            reinterpret_cast<BYTE*>(&value), &size);
    if (SUCCEEDED(hr)) *complexity = value;
    return hr;
}

HRESULT FindDefaultAudioCodec(DWORD* codecIndex, DWORD* formatIndex) noexcept {
    if (!codecIndex || !formatIndex) return E_INVALIDARG;
    HRESULT hr = E_FAIL;
    for (const WCHAR* name : kDefaultAudioCodecs) {
        DWORD index = 0;
        hr = FindCodecIndex(WMMEDIATYPE_Audio, name, &index);
        if (SUCCEEDED(hr)) {
            *codecIndex = index;
            *formatIndex = 0;
            return hr;
        }
    }
    return hr;
}

HRESULT FillDefaultEncoderSettings(const InputFormat* format, EncoderSettings* settings) noexcept {
    if (!settings) return E_INVALIDARG;
    *settings = EncoderSettings{};
    DWORD videoCodec = 0;
    HRESULT hr = FindCodecIndex(WMMEDIATYPE_Video, kDefaultVideoCodec, &videoCodec);
    if (FAILED(hr)) return hr;
    DWORD complexity = 0;
    if (FAILED(GetCodecComplexity(WMMEDIATYPE_Video, videoCodec, TRUE, &complexity))) complexity = 0;

    const LCID lcid = ::GetSystemDefaultLCID();
    VideoStreamSettings& video = settings->video;
    video.codecIndex = videoCodec;
    video.mode = 0;
    video.bitrate = 400000;
    video.bufferWindow = 5000;
    video.reserved2[0] = 0;
    video.reserved2[1] = 1;
    video.reserved2[2] = 1;
    video.quality = 60;
    video.maxKeyFrameSpacing = 8000;
    video.decoderProfile = 1;
    video.decoderLevel = 0;
    video.complexity = complexity;
    video.peakBitrate = 900000;
    video.peakBufferWindow = 5000;
    video.language = lcid;

    DWORD audioCodec = 0;
    DWORD audioFormat = 0;
    hr = FindDefaultAudioCodec(&audioCodec, &audioFormat);
    if (FAILED(hr)) return hr;
    AudioStreamSettings& audio = settings->audio;
    audio.bufferWindow = 5000;
    audio.codecIndex = audioCodec;
    audio.formatIndex = audioFormat;
    audio.vbrEnabled = FALSE;
    audio.passes = 1;
    audio.language = lcid;

    settings->script.bitrate = 10000;
    settings->script.bufferWindow = 5000;
    settings->script.language = lcid;

    VideoTimingSettings& timing = settings->timing;
    timing.reserved[0] = 0;
    timing.reserved[1] = 1;
    timing.reserved[2] = 1;
    timing.frameRateShift = 0;
    timing.useFrameDuration = FALSE;
    timing.frameDuration = 333667;
    timing.reserved2 = 0;

    if (format && format->videoEnabled) {
        video.width = format->videoWidth;
        video.height = format->videoHeight;
        if (timing.useFrameDuration && timing.frameDuration > 0)
            video.framesPerSecond = 10000000.0 / timing.frameDuration;
        else if (format->frameRateDenominator != 0)
            video.framesPerSecond =
                static_cast<double>(static_cast<LONGLONG>(format->frameRateNumerator) << (timing.frameRateShift & 31)) /
                format->frameRateDenominator;
    }
    return S_OK;
}

}  // namespace ombrel
