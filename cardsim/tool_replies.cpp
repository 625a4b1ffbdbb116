#include "cardsim/tool_replies.h"

#include <algorithm>
#include <string>

#include "cardsim/card_identity.h"
#include "cardsim/diag_codes.h"
#include "carvex/link/little_endian.h"

namespace cardsim {

namespace {

using carvex::PutLe16;
using carvex::PutLe32;

// Version packet offsets.
constexpr size_t kVersionInfoSize = 55;
constexpr size_t kCompileDateAt = 1;
constexpr size_t kCompileTimeAt = 12;
constexpr size_t kReleaseDateAt = 20;
constexpr size_t kReleaseTimeAt = 31;
constexpr size_t kVersionDirAt = 39;
constexpr size_t kDateField = 11;
constexpr size_t kTimeField = 8;
constexpr size_t kVersionDirField = 8;
constexpr size_t kStationClassMarkAt = 47;
constexpr size_t kCaiRevisionAt = 48;
constexpr size_t kMobileModelAt = 49;
constexpr size_t kFirmwareRevisionAt = 50;
constexpr size_t kSlotCycleIndexAt = 52;
constexpr size_t kMsmMajorAt = 53;
constexpr size_t kMsmMinorAt = 54;

// Status packet offsets.
constexpr size_t kStatusSize = 48;
constexpr size_t kStatusEsnAt = 4;
constexpr size_t kRfModeAt = 8;
constexpr size_t kModeWordAt = 32;  // the mode the station entered

// Extended build id offsets: version 2 carries a 32-bit MSM hardware version.
constexpr uint8_t kBuildIdVersion = 2;
constexpr size_t kBuildIdVersionAt = 1;
constexpr size_t kMsmHwVersionAt = 4;
constexpr size_t kMobileModelIdAt = 8;
constexpr size_t kBuildIdTextsAt = 12;

const std::string& Or(const std::string& text, const std::string& fallback) {
    return text.empty() ? fallback : text;
}

}  // namespace

std::vector<uint8_t> VersionInfoReply(const CardProfile& profile) {
    const ToolReplies& t = profile.tool_replies;
    std::vector<uint8_t> reply(kVersionInfoSize, 0);
    reply[0] = diag::kVersionInfo;
    diag::PutText(reply, kCompileDateAt, kDateField, t.compile_date);
    diag::PutText(reply, kCompileTimeAt, kTimeField, t.compile_time);
    diag::PutText(reply, kReleaseDateAt, kDateField, t.release_date);
    diag::PutText(reply, kReleaseTimeAt, kTimeField, t.release_time);
    diag::PutText(reply, kVersionDirAt, kVersionDirField, Or(t.version_dir, profile.model));
    reply[kStationClassMarkAt] = t.station_class_mark;
    reply[kCaiRevisionAt] = t.cai_revision;
    reply[kMobileModelAt] = t.mobile_model;
    PutLe16(reply, kFirmwareRevisionAt, t.firmware_revision);
    reply[kSlotCycleIndexAt] = t.slot_cycle_index;
    reply[kMsmMajorAt] = t.msm_major;
    reply[kMsmMinorAt] = t.msm_minor;
    return reply;
}

std::vector<uint8_t> EsnReply(const CardProfile& profile) {
    std::vector<uint8_t> reply(5, 0);
    reply[0] = diag::kEsn;
    PutLe32(reply, 1, ProfileEsn(profile));
    return reply;
}

std::vector<uint8_t> StatusReply(const CardProfile& profile, uint16_t mode) {
    std::vector<uint8_t> reply(kStatusSize, 0);
    reply[0] = diag::kStatus;
    PutLe32(reply, kStatusEsnAt, ProfileEsn(profile));
    PutLe16(reply, kRfModeAt, profile.tool_replies.rf_mode);
    PutLe16(reply, kModeWordAt, mode);
    return reply;
}

std::vector<uint8_t> DiagVersionReply(const CardProfile& profile) {
    std::vector<uint8_t> reply(3, 0);
    reply[0] = diag::kDiagVersion;
    PutLe16(reply, 1, profile.tool_replies.diag_version);
    return reply;
}

std::vector<uint8_t> BuildIdReply(const CardProfile& profile) {
    const ToolReplies& t = profile.tool_replies;
    std::vector<uint8_t> reply(kBuildIdTextsAt, 0);
    reply[0] = diag::kBuildId;
    reply[kBuildIdVersionAt] = kBuildIdVersion;
    PutLe32(reply, kMsmHwVersionAt, t.msm_hw_version);
    PutLe32(reply, kMobileModelIdAt, t.mobile_model_id);
    for (const std::string& text :
         {Or(t.build_id, profile.firmware), Or(t.build_model, profile.model)}) {
        reply.insert(reply.end(), text.begin(), text.end());
        reply.push_back(0);
    }
    return reply;
}

}  // namespace cardsim
