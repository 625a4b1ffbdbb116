#include "cardsim/diag_responder.h"

#include <algorithm>

#include "cardsim/diag_codes.h"
#include "cardsim/tool_replies.h"

namespace cardsim {

namespace {

constexpr uint8_t kNvRead = 0x26;
constexpr uint8_t kNvWrite = 0x27;
constexpr uint8_t kSubsystemDispatch = 0x4B;
constexpr uint8_t kCardSubsystem = 0xC9;
constexpr uint8_t kPortSubsystem = 0x0F;
constexpr uint8_t kModeControl = 0x29;
constexpr uint8_t kBoardType = 0xFC;
constexpr uint8_t kCardCommand = 0xFA;
constexpr uint8_t kBackupSubcommand = 0x13;
constexpr size_t kNvPacketSize = 133;
constexpr size_t kSubsystemHeaderSize = 4;
constexpr size_t kPortSetSize = 6;  // header, state, mask

constexpr uint16_t kNvDone = 0;
constexpr uint16_t kNvInactive = 5;
constexpr uint16_t kNvReadOnly = 7;

uint16_t Code(std::span<const uint8_t> r) {
    return r.size() >= 4 ? static_cast<uint16_t>(r[2] | (r[3] << 8)) : 0;
}

uint16_t Item(std::span<const uint8_t> r) {
    return static_cast<uint16_t>(r[1] | (r[2] << 8));
}

bool IsSubsystem(std::span<const uint8_t> r, uint8_t subsys, uint16_t code) {
    return r.size() >= 4 && r[0] == kSubsystemDispatch && r[1] == subsys && Code(r) == code;
}

bool IsProbe(std::span<const uint8_t> r) {
    if (r.size() < 9 || r[0] != kNvRead) {
        return false;
    }
    const uint32_t signature =
        r[3] | (uint32_t{r[4]} << 8) | (uint32_t{r[5]} << 16) | (uint32_t{r[6]} << 24);
    return signature == kProbeSignature;
}

Packet NvReply(std::span<const uint8_t> request, const NvValue* value, uint16_t status) {
    Packet reply(kNvPacketSize, 0);
    std::copy_n(request.begin(), std::min<size_t>(3, request.size()), reply.begin());
    if (value != nullptr) {
        std::copy(value->begin(), value->end(), reply.begin() + 3);
    }
    reply[131] = static_cast<uint8_t>(status & 0xFF);
    reply[132] = static_cast<uint8_t>(status >> 8);
    return reply;
}

}  // namespace

CardState::CardState(const CardProfile& card_profile)
    : profile(card_profile),
      nv(card_profile.nv),
      port_state(card_profile.port_state),
      port_mask(card_profile.port_mask),
      mode(card_profile.mode) {}

Packet ErrorReply(std::span<const uint8_t> request, uint8_t code) {
    const auto echoed = request.first(std::min(request.size(), kErrorEchoLimit));
    Packet reply(echoed.size() + 1);
    reply[0] = code;
    std::copy(echoed.begin(), echoed.end(), reply.begin() + 1);
    return reply;
}

bool IsReadBack(std::span<const uint8_t> request, const CardState& state) {
    return request.size() >= 3 && ClassifyDiag(request, state.profile) == Command::kNvRead &&
           state.asked_to_write.contains(Item(request));
}

Command ClassifyDiag(std::span<const uint8_t> r, const CardProfile& profile) {
    if (r.empty()) {
        return Command::kOther;
    }
    if (IsProbe(r)) {
        return Command::kProbe;
    }
    const auto& vh = profile.version_header;
    switch (r[0]) {
        case diag::kVersionInfo:
            return Command::kVersionInfo;
        case diag::kEsn:
            return Command::kEsn;
        case diag::kDiagVersion:
            return Command::kDiagVersion;
        case diag::kBuildId:
            return Command::kBuildId;
        case kNvRead:
            return Command::kNvRead;
        case kNvWrite:
            return Command::kNvWrite;
        case kBoardType:
            return Command::kBoardType;
        case diag::kStatus:
            return Command::kStatus;
        case kModeControl:
            if (r.size() >= 2 && r[1] == 1)
                return Command::kOffline;
            if (r.size() >= 2 && r[1] == 2)
                return Command::kReset;
            return Command::kOther;
        case kCardCommand:
            return r.size() >= 2 && r[1] == kBackupSubcommand ? Command::kBackup : Command::kOther;
        default:
            break;
    }
    if (IsSubsystem(r, kCardSubsystem, 0xFF03) || IsSubsystem(r, vh.subsys, vh.code)) {
        return r[0] == vh.cmd || r[0] == kSubsystemDispatch ? Command::kVersions : Command::kOther;
    }
    if (IsSubsystem(r, kCardSubsystem, 0xFF24))
        return Command::kDashboard;
    if (IsSubsystem(r, kCardSubsystem, 0xFF62))
        return Command::kNewVersion;
    if (IsSubsystem(r, kPortSubsystem, 0xFF19))
        return Command::kPortSet;
    if (IsSubsystem(r, kPortSubsystem, 0xFF1A))
        return Command::kPortGet;
    return Command::kOther;
}

DiagAnswer AnswerDiag(std::span<const uint8_t> r, CardState& state, const Overrides& overrides) {
    DiagAnswer answer;
    answer.command = ClassifyDiag(r, state.profile);
    const CardProfile& profile = state.profile;
    switch (answer.command) {
        case Command::kProbe: {
            if (profile.probe == CardProfile::Probe::kUnknown) {
                answer.reply = NvReply(r, nullptr, kNvInactive);  // item 0 does not exist
                break;
            }
            answer.reply = NvReply(r, nullptr, kNvDone);
            std::copy_n(r.begin() + 3, 6, answer.reply.begin() + 3);  // signature and id
            Packet& p = answer.reply;
            // Reply offsets behind the command byte: flag at 8, header at 9 to 12.
            p[9] = profile.probe == CardProfile::Probe::kCardHeader ? 1 : 0;
            if (p[9] == 1) {
                p[10] = profile.version_header.cmd;
                p[11] = profile.version_header.subsys;
                p[12] = static_cast<uint8_t>(profile.version_header.code & 0xFF);
                p[13] = static_cast<uint8_t>(profile.version_header.code >> 8);
            }
            break;
        }
        case Command::kNvRead:
        case Command::kNvWrite: {
            if (r.size() < kNvPacketSize) {
                answer.reply = ErrorReply(r, kDiagBadLength);
                break;
            }
            const uint16_t item = Item(r);
            if (answer.command == Command::kNvWrite) {
                state.asked_to_write.insert(item);
            }
            if (overrides.nv_status) {
                answer.reply = NvReply(r, nullptr, *overrides.nv_status);
                break;
            }
            const bool inactive = profile.inactive.contains(item);
            if (answer.command == Command::kNvRead) {
                const auto found = state.nv.find(item);
                if (inactive || found == state.nv.end()) {
                    answer.reply = NvReply(r, nullptr, kNvInactive);
                    break;
                }
                NvValue value = found->second;
                if (overrides.other_byte && IsReadBack(r, state)) {
                    value[*overrides.other_byte % value.size()] ^= 0xFF;
                }
                answer.reply = NvReply(r, &value, kNvDone);
            } else if (inactive) {
                answer.reply = NvReply(r, nullptr, kNvInactive);
            } else if (profile.read_only.contains(item)) {
                answer.reply = NvReply(r, nullptr, kNvReadOnly);
            } else {
                NvValue value{};
                std::copy_n(r.begin() + 3, value.size(), value.begin());
                state.nv[item] = value;
                answer.reply = NvReply(r, &value, kNvDone);
            }
            break;
        }
        case Command::kVersions: {
            answer.reply.assign(r.begin(), r.begin() + 4);
            answer.reply.resize(4 + 62, 0);
            diag::PutText(answer.reply, 4, 31, profile.firmware);
            diag::PutText(answer.reply, 4 + 31, 31, profile.pcb);
            break;
        }
        case Command::kDashboard: {
            answer.reply = {kSubsystemDispatch, kCardSubsystem, 0x24, 0xFF,
                            overrides.result.value_or(profile.dashboard_result)};
            answer.reply.resize(5 + 255, 0);
            diag::PutText(answer.reply, 5, 255, profile.dashboard);
            break;
        }
        case Command::kNewVersion:
            answer.reply = {
                kSubsystemDispatch, kCardSubsystem, 0x62, 0xFF, profile.new_version_mark, 0, 0};
            break;
        case Command::kBoardType:
            if (profile.board_type.empty()) {
                answer.reply = ErrorReply(r);  // an older card without the command
                break;
            }
            answer.reply.assign(1 + 31, 0);
            answer.reply[0] = kBoardType;
            diag::PutText(answer.reply, 1, 31, profile.board_type);
            break;
        case Command::kBackup:
            answer.reply = {kCardCommand, overrides.result.value_or(0), 0, 0};
            if (answer.reply[1] != 1) {
                answer.action = DiagAnswer::Action::kSaveNv;
            }
            break;
        case Command::kPortSet: {
            if (r.size() < kPortSetSize) {
                answer.reply = ErrorReply(r, kDiagBadLength);
                break;
            }
            const uint8_t result = overrides.result.value_or(0);
            if (result != 1) {
                state.port_state = r[4];
                state.port_mask = r[5];
            }
            answer.reply = {kSubsystemDispatch, kPortSubsystem, 0x19, 0xFF, result, 0, 0, 0};
            break;
        }
        case Command::kPortGet: {
            const auto mask =
                static_cast<uint8_t>(state.port_mask ^ (overrides.other_byte ? 0xFF : 0));
            answer.reply = {kSubsystemDispatch,           kPortSubsystem,   0x1A, 0xFF,
                            overrides.result.value_or(0), state.port_state, mask, 0};
            break;
        }
        case Command::kStatus:
            answer.reply = StatusReply(profile, state.mode);
            break;
        case Command::kVersionInfo:
            answer.reply = VersionInfoReply(profile);
            break;
        case Command::kEsn:
            answer.reply = EsnReply(profile);
            break;
        case Command::kDiagVersion:
            answer.reply = DiagVersionReply(profile);
            break;
        case Command::kBuildId:
            answer.reply = BuildIdReply(profile);
            break;
        case Command::kOffline:
            state.mode = 2;
            answer.reply.assign(r.begin(), r.end());
            break;
        case Command::kReset:
            answer.reply.assign(r.begin(), r.end());
            answer.action = DiagAnswer::Action::kReset;
            break;
        default:
            // A subsystem request cut short of its own header is one of the wrong length.
            answer.reply = ErrorReply(
                r, !r.empty() && r[0] == kSubsystemDispatch && r.size() < kSubsystemHeaderSize
                       ? kDiagBadLength
                       : kDiagBadCommand);
            break;
    }
    return answer;
}

}  // namespace cardsim
