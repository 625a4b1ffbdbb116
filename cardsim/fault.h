#pragma once

#include <optional>
#include <stdexcept>
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
    kVersionInfo,
    kEsn,
    kDiagVersion,
    kBuildId,  // the extended build id
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
        kNeverBack,    // the card answers, then goes away for good (after a reset: never returns)
        kOtherBytes,   // value: the byte of an NV read's item inverted (port setting: the mask)
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

// A fault text that cannot be read. what() names the bad part (the card number, the command, the
// kind or its argument) and lists what is accepted in its place.
class FaultTextError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// Every command a fault can be given for, "diag_switch, nv_read, ...", and every kind with what
// its argument is, "no_reply, late_reply MS, ...": for help texts and errors.
std::string CommandNameList();
std::string FaultKindList();

// "no_reply", "late_reply 3000", "nv_status 1 x3", "error_reply +CME ERROR: SIM busy", ...: a kind,
// its argument, and " xN" for a fault that hits the first N requests only. Throws FaultTextError.
Fault ReadFault(std::string_view text);
// The same, nullopt for a text that cannot be read.
std::optional<Fault> ParseFault(std::string_view text);

// A fault for one card of several.
struct CardFault {
    int card = 1;
    Command command = Command::kOther;
    Fault fault;
};

// "CARD:COMMAND:KIND[:ARG]" ("3:nv_write:nv_status:2", "2:model:error_reply:+CME ERROR: 10",
// "4:nv_read:no_reply:x1") for a bench of `cards` cards: ARG is the fault's argument with an
// optional " xN". "CARD:never_back" stands for the reset's and "CARD:other_bytes[:ARG]" for the
// NV read's. Throws FaultTextError.
CardFault ReadCardFault(std::string_view text, int cards);

}  // namespace cardsim
