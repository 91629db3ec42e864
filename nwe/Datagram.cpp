#include "nwe/Datagram.h"

#include "nwe/Engine.h"
#include "nwe/MessageTypes.h"

namespace {

struct SRegistries {
    NWEMessageTypes* system;
    NWEMessageTypes* application;
};

int KindOf(uint16_t id, void* context) {
    SRegistries* r = static_cast<SRegistries*>(context);
    if (id < NWE_SYSTEM_TYPES) return r->system->Kind(id);
    return r->application ? r->application->Kind(id) : -1;
}

// Payload sizes of the system messages: a keep-alive carries nothing, the
// others one 32-bit value (or two 16-bit ones).
uint32_t SystemPayloadSize(uint16_t id) {
    return id == NS_NOTIFYTYPE_KEEP_ALIVE ? 0 : 4;
}

EDatagramError FromHeader(EHeaderError e) {
    switch (e) {
        case EHeaderError::None:
            return EDatagramError::None;
        case EHeaderError::TooShort:
            return EDatagramError::TooShort;
        case EHeaderError::NoCrc:
            return EDatagramError::NoCrc;
        case EHeaderError::BadCrc:
            return EDatagramError::BadCrc;
        case EHeaderError::TooManyMessages:
            return EDatagramError::TooManyMessages;
    }
    return EDatagramError::TooShort;
}

EDatagramError FromParse(EParseError e) {
    switch (e) {
        case EParseError::None:
            return EDatagramError::None;
        case EParseError::Truncated:
            return EDatagramError::Truncated;
        case EParseError::UnknownId:
            return EDatagramError::UnknownId;
        case EParseError::BadFrame:
            return EDatagramError::BadFrame;
        case EParseError::BadSize:
            return EDatagramError::BadSize;
        case EParseError::LeftOver:
            return EDatagramError::LeftOver;
        case EParseError::TooManyMessages:
            return EDatagramError::TooManyMessages;
    }
    return EDatagramError::Truncated;
}

const char* ErrorText(EDatagramError e) {
    switch (e) {
        case EDatagramError::TooShort:
            return "shorter than its header";
        case EDatagramError::NoCrc:
            return "no CRC";
        case EDatagramError::BadCrc:
            return "CRC check failed";
        case EDatagramError::TooManyMessages:
            return "too many messages";
        case EDatagramError::Truncated:
            return "message runs past the datagram";
        case EDatagramError::UnknownId:
            return "unknown message id";
        case EDatagramError::BadFrame:
            return "frame number out of range";
        case EDatagramError::BadSize:
            return "part does not fit its message";
        case EDatagramError::LeftOver:
            return "bytes left over";
        case EDatagramError::SystemSize:
            return "system message of the wrong size";
        case EDatagramError::None:
            break;
    }
    return "";
}

}  // namespace

EDatagramError NWE_ReadDatagram(const uint8_t* data, size_t size, uint32_t seed, bool crcRequired,
                                NWEMessageTypes* system, NWEMessageTypes* application, SDatagram* out) {
    out->parts.clear();
    EDatagramError e = FromHeader(NWE_ReadPacketHeader(data, size, seed, crcRequired, &out->header));
    if (e != EDatagramError::None) return e;
    const SPacketHeader& h = out->header;
    SRegistries r{system, application};
    e = FromParse(NWE_ParseMessages(data + h.size, size - h.size, h.count, KindOf, &r, &out->parts));
    if (e != EDatagramError::None) return e;
    for (const SWirePart& p : out->parts) {
        if (!p.shortHeader || p.id >= NWE_SYSTEM_TYPES) continue;
        if (p.length != SystemPayloadSize(p.id)) return EDatagramError::SystemSize;
        if (p.id == NS_NOTIFYTYPE_FRAME_INFO) {
            uint16_t frame = NWE_Get16(p.data);
            if (frame == 0 || frame > kLastFrameNumber) return EDatagramError::BadFrame;
        }
    }
    return EDatagramError::None;
}

void NWE_ReportRefused(NWEEngine* engine, EDatagramError error, const SDatagram& d, const SNetAddress& from) {
    engine->CountRejected();
    switch (error) {
        case EDatagramError::BadCrc:
            if (d.header.form == EPacketForm::SequencedCrc)
                engine->Report("Packet CRC check failed, ignoring data, %d: CRC:%x",
                               static_cast<int>(d.header.sequence), d.header.crc);
            else
                engine->Report("Unsafe packet CRC check failed, ignoring data: CRC:%x", d.header.crc);
            return;
        case EDatagramError::UnknownId:
            if (!d.parts.empty()) {
                engine->Report("A message has just been lost in the void %d",
                               static_cast<int>(d.parts.back().id));
                return;
            }
            break;
        case EDatagramError::TooShort:
        case EDatagramError::NoCrc:
            return;  // noise: not worth a line each
        default:
            break;
    }
    engine->Report("Packet from %s ignored: %s", Net_FormatAddress(from).c_str(), ErrorText(error));
}
