// Which PCM the audio writer input is fed. Every audio input of the runtime takes 8- or 16-bit
// PCM of one or two channels; high-resolution PCM (more than two channels or 16 bits) only
// where the input lists it among its formats (IWMWriter::GetInputFormat), which the
// Professional and Lossless codecs do for their own high-resolution formats. The player's
// format is fed as it is when listed, otherwise converted: to 16 bits with its channels, or to
// 16-bit stereo.
#include <nserror.h>

#include <cstring>

#include "encoder/WmLiveEncoder.h"

#include <mmreg.h>  // after <windows.h>, which the encoder's headers bring

namespace ombrel {
namespace {

// Room for a media type and an extensible wave record; longer format blocks are no PCM this
// plug-in produces. On the stack: a format change on the audio thread allocates nothing here.
constexpr DWORD kTypeRoom = 256;

// The layout of one listed format, or {0, 0} when it is no integer PCM.
PcmLayout ListedLayout(IWMInputMediaProps* props) noexcept {
    alignas(8) BYTE block[kTypeRoom];
    DWORD size = 0;
    if (FAILED(props->GetMediaType(nullptr, &size)) || size < sizeof(WM_MEDIA_TYPE) || size > kTypeRoom) return {};
    auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block);
    if (FAILED(props->GetMediaType(type, &size))) return {};
    if (!IsEqualGUID(type->majortype, WMMEDIATYPE_Audio) || !IsEqualGUID(type->formattype, WMFORMAT_WaveFormatEx))
        return {};
    if (!type->pbFormat || type->cbFormat < 16 || type->cbFormat > size) return {};
    WAVEFORMATEX wave{};
    std::memcpy(&wave, type->pbFormat, type->cbFormat < sizeof(wave) ? type->cbFormat : sizeof(wave));
    if (wave.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        if (type->cbFormat < sizeof(WAVEFORMATEXTENSIBLE)) return {};
        WAVEFORMATEXTENSIBLE extensible;
        std::memcpy(&extensible, type->pbFormat, sizeof(extensible));
        if (!IsEqualGUID(extensible.SubFormat, WMMEDIASUBTYPE_PCM)) return {};
    } else if (wave.wFormatTag != WAVE_FORMAT_PCM) {
        return {};
    }
    return {wave.nChannels, wave.wBitsPerSample};
}

// The input's listed formats, as layouts; false when the runtime does not list them.
struct ListedFormats {
    PcmLayout layouts[64];
    DWORD count = 0;
    bool Lists(PcmLayout layout) const noexcept {
        for (DWORD i = 0; i < count; ++i)
            if (layouts[i] == layout) return true;
        return false;
    }
};

bool ReadListedFormats(IWMWriter* writer, DWORD input, ListedFormats* listed) noexcept {
    DWORD count = 0;
    if (FAILED(writer->GetInputFormatCount(input, &count))) return false;
    for (DWORD i = 0; i < count && listed->count < 64; ++i) {
        win::ComPtr<IWMInputMediaProps> props;
        if (FAILED(writer->GetInputFormat(input, i, props.put())) || !props) continue;
        const PcmLayout layout = ListedLayout(props.get());
        if (layout.channels > 0) listed->layouts[listed->count++] = layout;
    }
    return true;
}

}  // namespace

HRESULT WmLiveEncoder::ChoosePcmInput(DWORD writerInput, InputStream* entry) noexcept {
    const PcmLayout player{inputFormat.channels, inputFormat.bitsPerSample};
    pcmRefused = FALSE;
    // Standard PCM needs no look at the list: every audio input takes it.
    if (IsStandardPcm(player)) {
        pcmConversion.Plan(player, player);
        return S_OK;
    }
    HRESULT hr = NS_E_INVALID_INPUT_FORMAT;
    PcmLayout chosen{};
    if (IsBroadcastablePcm(player)) {
        const PcmLayout candidates[] = {
            player,
            {player.channels, 16},
            {player.channels > 2 ? 2 : player.channels, 16},
        };
        ListedFormats listed;
        const bool knowsList = ReadListedFormats(writer.get(), writerInput, &listed);
        for (const PcmLayout& candidate : candidates) {
            // A runtime that lists nothing still takes standard PCM.
            if (knowsList ? listed.Lists(candidate) : IsStandardPcm(candidate)) {
                chosen = candidate;
                hr = S_OK;
                break;
            }
        }
    }
    if (SUCCEEDED(hr)) hr = BuildPcmInput(inputFormat.sampleRate, chosen, entry);
    if (SUCCEEDED(hr) && !pcmConversion.Plan(player, chosen)) hr = NS_E_INVALID_INPUT_FORMAT;
    if (FAILED(hr)) {
        pcmRefused = TRUE;
        SetError("No writer input format takes the player's %d-bit %d-channel PCM, as it is or converted "
                 "(hr=0x%08x).\n",
                 static_cast<int>(player.bits), static_cast<int>(player.channels), static_cast<unsigned>(hr));
    }
    return hr;
}

}  // namespace ombrel
