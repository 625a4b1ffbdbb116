#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cardsim {

// The requests the card tells apart, each of which can be given a fault.
enum class Command {
    kDiagSwitch,  // "AT$QCDMG" on the PC UI interface
    kNvRead,
    kNvWrite,
    kProbe,  // the request-id probe (an NV read carrying the probe signature)
    kVersions,
    kDashboard,
    kBoardType,
    kNewVersion,
    kBackup,
    kPortSet,
    kPortGet,
    kStatus,
    kOffline,
    kReset,
    kModel,  // "AT+CGMM" on the modem interface
    kOther,
};

std::string_view CommandName(Command command);
std::optional<Command> CommandFromName(std::string_view name);

struct Fault {
    enum class Kind {
        kNone,
        kNoReply,
        kLateReply,  // value: delay in ms
        kBadFcs,
        kNvStatus,     // value: the NV status to answer
        kErrorReply,   // DIAG: an error packet instead of the answer; AT: text as the answer
        kUnsolicited,  // an unrequested packet before the answer
        kSplit,        // the answer one byte per write
        kBatch,        // an unrequested packet and the answer in one write
        kVanish,       // the device goes away instead of answering
        kResult,       // value: the result byte of the answer (dashboard, backup, port setting)
        kLength,       // value: the answer cut or zero-padded to this many bytes
    };

    Kind kind = Kind::kNone;
    int value = 0;
    std::string text;
    int times = -1;  // how many requests it hits; -1: all

    static Fault Make(Kind kind, int value = 0, int times = -1) {
        Fault fault;
        fault.kind = kind;
        fault.value = value;
        fault.times = times;
        return fault;
    }
    static Fault Text(Kind kind, std::string text, int times = -1) {
        Fault fault = Make(kind, 0, times);
        fault.text = std::move(text);
        return fault;
    }
};

// "no_reply", "late_reply 3000", "nv_status 1 x3", "error_reply +CME ERROR: SIM busy", ...
std::optional<Fault> ParseFault(std::string_view text);

}  // namespace cardsim
