// The multiplexer: one ASF header built once from the profile and attributes, then samples cut
// into payloads of fixed-size data packets. Packets always use the multiple-payload layout with
// standard error-correction bytes, a WORD padding length and no packet length field (every
// packet has the header's one size), so a reader can find packet boundaries by counting.
#include "standin/wmvcore/AsfMuxer.h"

#include <objbase.h>

#include <algorithm>

#include "standin/wmvcore/AsfBytes.h"

namespace wmstandin {

namespace {

// Fixed bytes in front of the payloads: error correction (3), length type and property flags
// (2), padding length (2), send time (4), duration (2), payload flags (1).
constexpr DWORD kPacketHeadSize = 14;
// Per payload: stream number, media object number, offset (4), replicated data length, the
// replicated media object size and presentation time (8), payload length (2).
constexpr DWORD kPayloadHeadSize = 17;
constexpr DWORD kMaxPayloadsPerPacket = 63;  // six bits of the payload flags

// Length type flags: multiple payloads, padding length as WORD, no sequence, no packet length.
constexpr BYTE kLengthTypeFlags = 0x01 | (2 << 3);
// Property flags: replicated data length BYTE, offset DWORD, object number BYTE, stream BYTE.
constexpr BYTE kPropertyFlags = 0x01 | (3 << 2) | (1 << 4) | (1 << 6);

class PacketList final : public PacketOutput {
public:
    explicit PacketList(std::vector<AsfPacket>* packets) : packets_(packets) {}
    void Put(const BYTE* packet, DWORD size) override { packets_->emplace_back(packet, packet + size); }

private:
    std::vector<AsfPacket>* packets_;
};

bool IsContentDescriptionName(const std::wstring& name) {
    return name == L"Title" || name == L"Author" || name == L"Copyright" ||
           name == L"Description" || name == L"Rating";
}

// WMT_ATTR_DATATYPE to the extended content description's value types.
WORD ExtendedValueType(WMT_ATTR_DATATYPE type) {
    switch (type) {
        case WMT_TYPE_STRING: return 0;
        case WMT_TYPE_BINARY: return 1;
        case WMT_TYPE_BOOL: return 2;
        case WMT_TYPE_DWORD: return 3;
        case WMT_TYPE_QWORD: return 4;
        case WMT_TYPE_WORD: return 5;
        default: return 1;  // a GUID travels as its 16 bytes
    }
}

// The UTF-16 bytes of a string attribute with exactly one terminator.
std::vector<BYTE> TerminatedString(const std::vector<BYTE>& value) {
    std::vector<BYTE> out(value.begin(), value.end() - (value.size() % 2));
    while (out.size() >= 2 && out[out.size() - 1] == 0 && out[out.size() - 2] == 0) out.resize(out.size() - 2);
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::vector<BYTE> TerminatedString(const std::wstring& s) {
    std::vector<BYTE> out;
    asf::ByteWriter w(&out);
    w.Utf16(s);
    w.U16(0);
    return out;
}

}  // namespace

struct AsfMuxer::State {
    std::vector<AsfStream> streams;
    std::vector<AsfAttribute> attributes;
    DWORD packetSize = 0;
    DWORD preroll = 0;  // ms, added to every presentation time
    GUID fileId{};
    std::vector<BYTE> header;

    // The packet in progress: its payload bytes after the packet head.
    std::vector<BYTE> payloads;
    std::vector<BYTE> packet;  // a finished packet's bytes, reused
    DWORD payloadCount = 0;
    DWORD firstTime = 0;
    DWORD lastTime = 0;
    DWORD sendTime = 0;  // the last packet's: send times never go back
    BYTE objectNumber[128] = {};

    DWORD PayloadRoom() const { return packetSize - kPacketHeadSize - static_cast<DWORD>(payloads.size()); }
    void BuildHeader();
    void FinishPacket(PacketOutput& out);
};

void AsfMuxer::State::BuildHeader() {
    header.clear();
    asf::ByteWriter w(&header);
    const size_t top = w.BeginObject(asf::kHeaderObject);
    const size_t countAt = w.Size();
    w.U32(0);
    w.U8(1);
    w.U8(2);
    uint32_t objects = 0;

    DWORD totalBitrate = 0;
    for (const AsfStream& s : streams) totalBitrate += s.bitrate;

    // File properties: live, so sizes, counts and durations are unknown (0) and the
    // broadcast flag (bit 0) is set; minimum and maximum packet sizes are the one size.
    {
        const size_t o = w.BeginObject(asf::kFilePropertiesObject);
        w.Guid(fileId);
        w.U64(0);                    // file size
        w.U64(0);                    // creation date
        w.U64(0);                    // data packets count
        w.U64(0);                    // play duration
        w.U64(0);                    // send duration
        w.U64(preroll);              // preroll, ms
        w.U32(0x01);                 // broadcast
        w.U32(packetSize);
        w.U32(packetSize);
        w.U32(totalBitrate);
        w.EndObject(o);
        ++objects;
    }

    for (const AsfStream& s : streams) {
        const bool audio = s.mediaType == WMMEDIATYPE_Audio;
        const size_t o = w.BeginObject(asf::kStreamPropertiesObject);
        w.Guid(audio ? asf::kAudioMedia : asf::kCommandMedia);
        w.Guid(asf::kNoErrorCorrection);
        w.U64(0);  // time offset
        w.U32(audio ? static_cast<uint32_t>(s.format.size()) : 0);
        w.U32(0);  // error correction data length
        w.U16(s.number & 0x7F);
        w.U32(0);
        if (audio) w.Bytes(s.format.data(), s.format.size());
        w.EndObject(o);
        ++objects;
    }

    // Header extension: the language list and, per stream, the extended stream properties
    // that carry the stream's name and its index into that list.
    {
        std::vector<std::wstring> languages;
        for (const AsfStream& s : streams) {
            if (!s.language.empty() &&
                std::find(languages.begin(), languages.end(), s.language) == languages.end())
                languages.push_back(s.language);
        }
        const size_t o = w.BeginObject(asf::kHeaderExtensionObject);
        w.Guid(asf::kReserved1);
        w.U16(6);
        const size_t dataSizeAt = w.Size();
        w.U32(0);
        const size_t dataStart = w.Size();
        if (!languages.empty()) {
            const size_t l = w.BeginObject(asf::kLanguageListObject);
            w.U16(static_cast<uint16_t>(languages.size()));
            for (const std::wstring& lang : languages) {
                w.U8(static_cast<uint8_t>(lang.size() * 2 + 2));
                w.Utf16(lang);
                w.U16(0);
            }
            w.EndObject(l);
        }
        for (const AsfStream& s : streams) {
            const auto found = std::find(languages.begin(), languages.end(), s.language);
            const size_t e = w.BeginObject(asf::kExtendedStreamPropertiesObject);
            w.U64(0);                                   // start time
            w.U64(0);                                   // end time
            w.U32(s.bitrate);                           // data bit rate
            w.U32(s.bufferWindow);                      // buffer size, ms
            w.U32(s.bufferWindow);                      // initial buffer fullness
            w.U32(s.bitrate);                           // alternate data bit rate
            w.U32(s.bufferWindow);
            w.U32(s.bufferWindow);
            w.U32(0);                                   // maximum object size: unknown
            w.U32(0);                                   // flags
            w.U16(s.number & 0x7F);
            w.U16(found == languages.end() ? 0 : static_cast<uint16_t>(found - languages.begin()));
            w.U64(0);                                   // average time per frame
            w.U16(s.name.empty() ? 0 : 1);              // stream name count
            w.U16(0);                                   // payload extension systems
            if (!s.name.empty()) {
                w.U16(0);
                w.U16(static_cast<uint16_t>(s.name.size() * 2 + 2));
                w.Utf16(s.name);
                w.U16(0);
            }
            w.EndObject(e);
        }
        w.PatchU32(dataSizeAt, static_cast<uint32_t>(w.Size() - dataStart));
        w.EndObject(o);
        ++objects;
    }

    // Content description: the five fixed strings, each with its terminator, or empty.
    {
        static const wchar_t* const kNames[] = {L"Title", L"Author", L"Copyright", L"Description", L"Rating"};
        std::vector<BYTE> values[5];
        for (int i = 0; i < 5; ++i) {
            for (const AsfAttribute& a : attributes) {
                if (a.name == kNames[i] && a.type == WMT_TYPE_STRING) values[i] = TerminatedString(a.value);
            }
            if (values[i].size() > 0xFFFF) values[i].clear();
        }
        const size_t o = w.BeginObject(asf::kContentDescriptionObject);
        for (const auto& v : values) w.U16(static_cast<uint16_t>(v.size()));
        for (const auto& v : values) w.Bytes(v.data(), v.size());
        w.EndObject(o);
        ++objects;
    }

    // Extended content description: every other attribute, in the order set.
    {
        const size_t o = w.BeginObject(asf::kExtendedContentDescriptionObject);
        const size_t countAt2 = w.Size();
        w.U16(0);
        uint16_t count = 0;
        for (const AsfAttribute& a : attributes) {
            if (IsContentDescriptionName(a.name) && a.type == WMT_TYPE_STRING) continue;
            const std::vector<BYTE> value = a.type == WMT_TYPE_STRING ? TerminatedString(a.value) : a.value;
            const std::vector<BYTE> name = TerminatedString(a.name);
            if (value.size() > 0xFFFF || name.size() > 0xFFFF || count == 0xFFFF) continue;
            w.U16(static_cast<uint16_t>(name.size()));
            w.Bytes(name.data(), name.size());
            w.U16(ExtendedValueType(a.type));
            w.U16(static_cast<uint16_t>(value.size()));
            w.Bytes(value.data(), value.size());
            ++count;
        }
        w.PatchU16(countAt2, count);
        w.EndObject(o);
        ++objects;
    }

    {
        const size_t o = w.BeginObject(asf::kStreamBitratePropertiesObject);
        w.U16(static_cast<uint16_t>(streams.size()));
        for (const AsfStream& s : streams) {
            w.U16(s.number & 0x7F);
            w.U32(s.bitrate);
        }
        w.EndObject(o);
        ++objects;
    }

    w.PatchU32(countAt, objects);
    w.EndObject(top);

    // The data object's head. Live, its packet count is unknown (0) and its size is that of
    // the head alone: the packets follow without end. A size of 0 is allowed for a broadcast,
    // but players' own demultiplexers (VLC's) refuse any object smaller than its 24-byte head,
    // while a size of the head alone is what they read as a broadcast's.
    w.Guid(asf::kDataObject);
    w.U64(asf::kDataObjectHeadSize);
    w.Guid(fileId);
    w.U64(0);
    w.U8(1);
    w.U8(1);
}

void AsfMuxer::State::FinishPacket(PacketOutput& out) {
    if (payloadCount == 0) return;
    packet.clear();
    asf::ByteWriter w(&packet);
    const DWORD padding = PayloadRoom();
    w.U8(0x82);  // error correction present, two bytes of it
    w.U8(0);
    w.U8(0);
    w.U8(kLengthTypeFlags);
    w.U8(kPropertyFlags);
    w.U16(static_cast<uint16_t>(padding));
    // The send time is the first payload's presentation time less the preroll; a stream that
    // starts behind another (an encoder's delay) must not move it back, as readers and servers
    // take the packets' send times to rise.
    sendTime = std::max(sendTime, firstTime >= preroll ? firstTime - preroll : 0);
    w.U32(sendTime);
    w.U16(static_cast<uint16_t>(std::min<DWORD>(lastTime - firstTime, 0xFFFF)));
    w.U8(static_cast<uint8_t>(0x80 | payloadCount));  // payload lengths as WORD
    w.Bytes(payloads.data(), payloads.size());
    packet.resize(packetSize, 0);
    out.Put(packet.data(), packetSize);
    payloads.clear();
    payloadCount = 0;
}

AsfMuxer::AsfMuxer(std::vector<AsfStream> streams, std::vector<AsfAttribute> attributes, DWORD packetSize)
    : state_(std::make_unique<State>()) {
    state_->streams = std::move(streams);
    state_->attributes = std::move(attributes);
    // A packet must hold its head, one payload head and at least one byte; the padding
    // length is a WORD.
    state_->packetSize = std::clamp<DWORD>(packetSize, kPacketHeadSize + kPayloadHeadSize + 1, 0xFFFF);
    for (const AsfStream& s : state_->streams) state_->preroll = std::max(state_->preroll, s.bufferWindow);
    if (FAILED(::CoCreateGuid(&state_->fileId))) state_->fileId = GUID{};
    state_->BuildHeader();
    state_->payloads.reserve(state_->packetSize);
    state_->packet.reserve(state_->packetSize);
}

AsfMuxer::~AsfMuxer() = default;

std::vector<BYTE> AsfMuxer::Header() const { return state_->header; }

DWORD AsfMuxer::PacketSize() const { return state_->packetSize; }

void AsfMuxer::AddSample(WORD stream, LONGLONG time100ns, const BYTE* data, DWORD size, bool keyFrame,
                         PacketOutput& out) {
    State& s = *state_;
    if (!data || size == 0) return;  // an empty sample has no payload to carry
    const LONGLONG ms = time100ns / 10000 + s.preroll;
    const DWORD time = ms < 0 ? 0 : static_cast<DWORD>(ms);
    const BYTE number = s.objectNumber[stream & 0x7F]++;
    DWORD offset = 0;
    do {
        if (s.PayloadRoom() < kPayloadHeadSize + 1 || s.payloadCount == kMaxPayloadsPerPacket)
            s.FinishPacket(out);
        const DWORD piece = std::min(size - offset, s.PayloadRoom() - kPayloadHeadSize);
        if (s.payloadCount == 0) s.firstTime = time;
        s.lastTime = std::max(s.lastTime, time);
        asf::ByteWriter w(&s.payloads);
        w.U8(static_cast<uint8_t>((stream & 0x7F) | (keyFrame ? 0x80 : 0)));
        w.U8(number);
        w.U32(offset);
        w.U8(8);
        w.U32(size);
        w.U32(time);
        w.U16(static_cast<uint16_t>(piece));
        if (piece) w.Bytes(data + offset, piece);
        ++s.payloadCount;
        offset += piece;
    } while (offset < size);
    if (s.PayloadRoom() < kPayloadHeadSize + 1) s.FinishPacket(out);
}

void AsfMuxer::Flush(PacketOutput& out) { state_->FinishPacket(out); }

void AsfMuxer::AddSample(WORD stream, LONGLONG time100ns, const BYTE* data, DWORD size, bool keyFrame,
                         std::vector<AsfPacket>* packets) {
    PacketList out(packets);
    AddSample(stream, time100ns, data, size, keyFrame, out);
}

void AsfMuxer::Flush(std::vector<AsfPacket>* packets) {
    PacketList out(packets);
    Flush(out);
}

}  // namespace wmstandin
