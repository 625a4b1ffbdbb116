#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cardsim/fault.h"
#include "carvex/link/diag_request_header.h"

namespace cardsim {

using NvValue = std::array<uint8_t, 128>;

// The fields of what general DIAG tools ask every card of this family: the version packet, the
// ESN, the status packet, the DIAG version and the extended build id. The ESN and the empty
// texts derive from the card's identity (the IMEI, the model and the firmware).
struct ToolReplies {
    std::optional<uint32_t> esn;
    uint16_t rf_mode = 1;  // the status packet's RF mode word
    uint16_t diag_version = 8;
    std::string compile_date;  // "Mmm dd yyyy"
    std::string compile_time;  // "hh:mm:ss"
    std::string release_date;
    std::string release_time;
    std::string version_dir;  // eight characters; default: the model
    uint8_t station_class_mark = 0;
    uint8_t cai_revision = 0;
    uint8_t mobile_model = 0;
    uint16_t firmware_revision = 0;
    uint8_t slot_cycle_index = 0;
    uint8_t msm_major = 0;
    uint8_t msm_minor = 0;
    uint32_t msm_hw_version = 0;   // of the extended build id
    uint32_t mobile_model_id = 0;  // of the extended build id
    std::string build_id;          // default: the firmware text
    std::string build_model;       // default: the model
};

// Everything that makes one simulated card: how its driver names its ports, what it answers,
// and its NV items. Read from a profile file; never written back.
struct CardProfile {
    enum class Probe {
        kUnknown,     // answers the request-id probe like any NV read, without the signature
        kTableB,      // signature with flag 0: the PC is to use its second table
        kCardHeader,  // signature with flag 1 and the header to use
    };

    std::string pcui_name = "TAVRIO Linkwave - 3G PC UI Interface";
    std::string modem_name = "TAVRIO Linkwave - 3G Modem";
    std::vector<std::string> other_ports;  // further devices of the Ports class, before the PC UI
    int pcui_port = 12;
    int modem_port = 13;
    // Where the card is plugged in, as the kernel and ModemManager name its USB device
    // ("/sys/devices/.../usb1/1-4"), published beside its COM ports; empty: not published.
    std::string usb_device;

    std::string firmware;
    std::string pcb;
    std::string dashboard;
    uint8_t dashboard_result = 0;
    std::string board_type;
    uint8_t new_version_mark = 0x68;
    std::string model;
    bool at_echo = true;
    bool qcdmg_ok = true;  // "AT$QCDMG" is answered with "OK" (else with nothing) before DIAG

    Probe probe = Probe::kUnknown;
    carvex::DiagRequestHeader version_header =
        carvex::DiagRequestHeader::Subsystem(0x4B, 0xC9, 0xFF03);

    uint8_t port_state = 0;
    uint8_t port_mask = 0;
    uint16_t mode = 0;  // the status reply's mode word; 2 is offline
    int reset_gone_ms = 2000;
    ToolReplies tool_replies;

    std::map<uint16_t, NvValue> nv;
    std::set<uint16_t> inactive;
    std::set<uint16_t> read_only;
    std::vector<std::pair<Command, Fault>> faults;
};

// Throws std::runtime_error naming the line that cannot be read.
CardProfile ParseProfile(std::string_view text);
CardProfile LoadProfile(const std::filesystem::path& path);

// "08 3A 65" or a quoted text; the rest of the 128 bytes are zero.
NvValue ParseNvValue(std::string_view text);
std::string FormatNvValue(const NvValue& value);

}  // namespace cardsim
