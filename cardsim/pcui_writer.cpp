#include "cardsim/pcui_writer.h"

#include "carvex/link/frame_codec.h"

namespace cardsim {

namespace {

const Packet kUnsolicitedPacket = {0x60, 0x00, 0x2A, 0x01, 0x00};  // an event report

void AppendFramed(const Packet& packet, bool bad_fcs, std::vector<uint8_t>& out) {
    std::vector<uint8_t> frame(packet.size() * 2 + 8);
    const uint16_t fcs = carvex::Fcs16(packet) ^ (bad_fcs ? 0x5A5A : 0);
    frame.resize(carvex::EncodeFrame(packet, fcs, frame).value_or(0));
    out.insert(out.end(), frame.begin(), frame.end());
}

}  // namespace

void PcUiWriter::ContinueStream(PtyPair& pty) {
    if (pending_.empty()) {
        AppendFramed(kUnsolicitedPacket, false, pending_);
    }
    const size_t written = pty.WriteSome(pending_);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(written));
}

void PcUiWriter::Deliver(PtyPair& pty, const Packet& reply, Fault::Kind fault) {
    if (!pending_.empty()) {
        pty.Write(pending_);
        pending_.clear();
    }
    std::vector<uint8_t> bytes;
    if (fault == Fault::Kind::kUnsolicited) {
        std::vector<uint8_t> unsolicited;
        AppendFramed(kUnsolicitedPacket, false, unsolicited);
        pty.Write(unsolicited);
    }
    if (fault == Fault::Kind::kBatch) {
        AppendFramed(kUnsolicitedPacket, false, bytes);
    }
    AppendFramed(reply, fault == Fault::Kind::kBadFcs, bytes);
    if (fault == Fault::Kind::kSplit) {
        for (uint8_t b : bytes) {
            pty.Write(std::span(&b, 1));
        }
    } else {
        pty.Write(bytes);
    }
}

}  // namespace cardsim
