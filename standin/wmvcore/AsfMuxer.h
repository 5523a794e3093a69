// The writer's multiplexer: turns the profile's streams, the header attributes and the timed
// samples into an ASF header object and fixed-size ASF data packets, which the writer hands to
// its sinks (IWMWriterSink::OnHeader and OnDataUnit) unchanged.
#pragma once

#include "encoder/WmSdk.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wmstandin {

struct AsfStream {
    WORD number = 0;            // 1, 2, ... in profile order
    GUID mediaType{};           // WMMEDIATYPE_Audio or WMMEDIATYPE_Script
    std::vector<BYTE> format;   // audio: the WAVEFORMATEX of the output; script: empty
    DWORD bitrate = 0;          // bits per second
    DWORD bufferWindow = 0;     // ms
    std::wstring name;          // stream name
    std::wstring language;      // RFC 1766 tag, empty when none
};

struct AsfAttribute {
    std::wstring name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_STRING;
    std::vector<BYTE> value;    // strings: UTF-16 with the terminator, as SetAttribute got them
};

using AsfPacket = std::vector<BYTE>;

// Where the multiplexer puts each data packet as it completes; the bytes are only valid during
// the call.
class PacketOutput {
public:
    virtual void Put(const BYTE* packet, DWORD size) = 0;

protected:
    ~PacketOutput() = default;
};

class AsfMuxer {
public:
    static constexpr DWORD kDefaultPacketSize = 3200;

    AsfMuxer(std::vector<AsfStream> streams, std::vector<AsfAttribute> attributes,
             DWORD packetSize = kDefaultPacketSize);
    ~AsfMuxer();
    AsfMuxer(const AsfMuxer&) = delete;
    AsfMuxer& operator=(const AsfMuxer&) = delete;

    // The complete header object (broadcast flag set, minimum = maximum packet size) followed by
    // the 50-byte head of the data object, as a file or a $H chunk carries them.
    std::vector<BYTE> Header() const;
    DWORD PacketSize() const;

    // One sample of a stream at its presentation time (100-ns units from the writer's caller; an
    // encoder's priming block comes before 0 and lies within the preroll).
    // Puts out every data packet that became complete; once the packet in progress has reached
    // its largest, this allocates nothing.
    void AddSample(WORD stream, LONGLONG time100ns, const BYTE* data, DWORD size, bool keyFrame, PacketOutput& out);
    // Completes the packet in progress, padded, if it holds anything.
    void Flush(PacketOutput& out);
    // The same, appending the packets to a list.
    void AddSample(WORD stream, LONGLONG time100ns, const BYTE* data, DWORD size, bool keyFrame,
                   std::vector<AsfPacket>* packets);
    void Flush(std::vector<AsfPacket>* packets);

private:
    // Owned by the multiplexer's author; only the public part above is relied on by the writer.
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace wmstandin
