// Lists the packets of a finished recording with the media reader
// (libstampwalk-isom): the tracks first, then one line per packet in time
// order across the tracks.
//
//   list_packets RECORDING [--key HEX] [--integrity TEXT]
//
// --key gives the 16-byte AES-128 content key (32 hexadecimal digits) that is
// set on every protected track, so that their payloads come out decrypted.
// --integrity sets the text of the per-frame integrity check; the reader then
// tests every packet and says how through ReadPacket's status.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "isom/AVReader.h"

namespace {

struct Arguments {
    const char* path = nullptr;
    bool hasKey = false;
    uint8_t key[16] = {};
    const char* integrityText = nullptr;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseKey(const char* hex, uint8_t (&key)[16]) {
    if (std::strlen(hex) != 2 * sizeof key) return false;
    for (size_t i = 0; i < sizeof key; ++i) {
        const int high = HexDigit(hex[2 * i]), low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        key[i] = uint8_t(high << 4 | low);
    }
    return true;
}

bool ParseArguments(int argc, char** argv, Arguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--key" && i + 1 < argc) {
            if (!ParseKey(argv[++i], arguments.key)) return false;
            arguments.hasKey = true;
        } else if (word == "--integrity" && i + 1 < argc) {
            arguments.integrityText = argv[++i];
        } else if (!arguments.path && word.compare(0, 2, "--") != 0) {
            arguments.path = argv[i];
        } else {
            return false;
        }
    }
    return arguments.path != nullptr;
}

const char* CodecName(uint32_t codecType) {
    static const struct {
        uint32_t type;
        const char* name;
    } kNames[] = {{kCodecJpeg, "JPEG"}, {kCodecH263, "H263"},  {kCodecMp4v, "MP4V"}, {kCodecH264, "H264"},
                  {kCodecHevc, "HEVC"}, {kCodecG7221, "G722"}, {kCodecG729, "G729"}, {kCodecAac, "AAC4"},
                  {kCodecSamr, "GAMR"}, {kCodecUlaw, "ULAW"},  {kCodecAlaw, "ALAW"}, {kCodecG726, "G726"},
                  {kCodecIva1, "IVA1"}, {kCodecMetx, "METX"},  {kCodecMetj, "METJ"}};
    for (const auto& entry : kNames)
        if (entry.type == codecType) return entry.name;
    return "????";
}

char FrameLetter(int32_t frameType) { return frameType >= 0 && frameType <= 2 ? "IPB"[frameType] : '?'; }

// The statuses with which ReadPacket hands out a packet: plain success, the
// two outcomes of the integrity check, and the flags of an incomplete packet.
// Every other status (end of stream, -1 for a read error) comes without one.
bool DeliversPacket(int32_t status) {
    switch (status) {
        case kReaderOk:
        case kNoCheckValue:
        case kCheckMismatch:
        case kPacketMissing:
        case kPacketNoUserData:
        case kPacketNoFrameData: return true;
        default: return false;
    }
}

const char* StatusText(int32_t status) {
    switch (status) {
        case kReaderOk: return "";
        case kNoCheckValue: return " [no integrity value]";
        case kCheckMismatch: return " [integrity mismatch]";
        default: return " [incomplete packet]";
    }
}

void PrintTracks(AVReader& reader, const Arguments& arguments) {
    const uint32_t count = reader.GetTrackCount();
    std::printf("%u track(s), media type %u\n", count, reader.GetMediaType());
    for (uint32_t i = 0; i < count; ++i) {
        std::printf("track %u: %s, %u samples, %u s", i + 1, CodecName(reader.GetTrackCodecType(i)),
                    reader.GetTrackSampleCount(i), reader.GetTrackDuration(i));
        if (reader.IsTrackProtected(i)) {
            const uint8_t* keyId = nullptr;
            uint32_t size = 0;
            if (reader.GetTrackKeyId(i, &keyId, &size) == kReaderOk && keyId) {
                std::printf(", protected, key id ");
                for (uint32_t b = 0; b < size; ++b) std::printf("%02x", keyId[b]);
            }
            if (arguments.hasKey && reader.SetTrackKey(i, arguments.key, sizeof arguments.key) == kReaderOk)
                std::printf(", key set");
        }
        std::printf("\n");
    }
}

void PrintPacket(uint32_t index, const TMediaPacket& packet, int32_t status) {
    std::printf("%5u %s %c %u.%03u header %u payload %u:", index, CodecName(packet.codecType),
                FrameLetter(packet.frameType), packet.seconds, packet.milliseconds, packet.headerSize,
                packet.payloadSize);
    if (packet.frameData) {
        // frameData holds the frame-information header, then the sample payload.
        const uint8_t* payload = packet.frameData + packet.headerSize;
        for (uint32_t b = 0; b < packet.payloadSize && b < 8; ++b) std::printf(" %02x", payload[b]);
    }
    std::printf("%s\n", StatusText(status));
}

}  // namespace

const char kUsage[] =
    "usage: list_packets RECORDING [--key HEX] [--integrity TEXT]\n"
    "  Lists the tracks and packets of a finished recording.\n";

int main(int argc, char** argv) {
    Arguments arguments;
    const bool help = argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
    if (help || !ParseArguments(argc, argv, arguments)) {
        std::fputs(kUsage, help ? stdout : stderr);
        return help ? 0 : 2;
    }

    AVReader* opened = nullptr;
    const int32_t openStatus = AVReaderOpen(&opened, arguments.path, kOpenPairCompanionTracks);
    if (openStatus != kReaderOk) {
        std::fprintf(stderr, "list_packets: cannot open %s: status %x\n", arguments.path, unsigned(openStatus));
        return 1;
    }
    // The reader is destroyed with Release, never with delete.
    const std::unique_ptr<AVReader, void (*)(AVReader*)> reader(opened, [](AVReader* r) { r->Release(); });

    PrintTracks(*reader, arguments);
    if (arguments.integrityText) reader->SetIntegrityKey(arguments.integrityText);

    // A packet stays valid until the next ReadPacket on the same reader; keep
    // it longer only with a reference taken through packet->releaseOps.
    uint32_t count = 0;
    for (;;) {
        TMediaPacket* packet = nullptr;
        const int32_t status = reader->ReadPacket(&packet);
        if (status == kEndOfStream) break;
        if (!DeliversPacket(status) || !packet) {
            std::fprintf(stderr, "list_packets: reading stopped after %u packets: status %x\n", count,
                         unsigned(status));
            return 1;
        }
        PrintPacket(++count, *packet, status);
    }
    std::printf("%u packets\n", count);
    return 0;
}
