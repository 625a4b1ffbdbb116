#include "cardsim/fault.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

#include "carvex/platform/text_trim.h"

namespace cardsim {

namespace {

constexpr std::array<std::pair<Command, std::string_view>, 20> kCommandNames{{
    {Command::kDiagSwitch, "diag_switch"},
    {Command::kNvRead, "nv_read"},
    {Command::kNvWrite, "nv_write"},
    {Command::kProbe, "probe"},
    {Command::kVersions, "versions"},
    {Command::kDashboard, "dashboard"},
    {Command::kBoardType, "board_type"},
    {Command::kNewVersion, "new_version"},
    {Command::kBackup, "backup"},
    {Command::kPortSet, "port_set"},
    {Command::kPortGet, "port_get"},
    {Command::kStatus, "status"},
    {Command::kOffline, "offline"},
    {Command::kReset, "reset"},
    {Command::kModel, "model"},
    {Command::kVersionInfo, "version_info"},
    {Command::kEsn, "esn"},
    {Command::kDiagVersion, "diag_version"},
    {Command::kBuildId, "build_id"},
    {Command::kOther, "other"},
}};

// What a kind's argument is; a kind that takes a number needs one.
enum class Takes { kNothing, kNumber, kByteOrNothing, kTextOrNothing };

struct KindName {
    Fault::Kind kind;
    std::string_view name;
    Takes takes;
    std::string_view argument;  // the argument's name in help texts
};

constexpr std::array<KindName, 13> kKindNames{{
    {Fault::Kind::kNoReply, "no_reply", Takes::kNothing, ""},
    {Fault::Kind::kLateReply, "late_reply", Takes::kNumber, "MS"},
    {Fault::Kind::kBadFcs, "bad_fcs", Takes::kNothing, ""},
    {Fault::Kind::kNvStatus, "nv_status", Takes::kNumber, "STATUS"},
    {Fault::Kind::kErrorReply, "error_reply", Takes::kTextOrNothing, "TEXT"},
    {Fault::Kind::kUnsolicited, "unsolicited", Takes::kNothing, ""},
    {Fault::Kind::kSplit, "split", Takes::kNothing, ""},
    {Fault::Kind::kBatch, "batch", Takes::kNothing, ""},
    {Fault::Kind::kVanish, "vanish", Takes::kNothing, ""},
    {Fault::Kind::kResult, "result", Takes::kNumber, "BYTE"},
    {Fault::Kind::kLength, "length", Takes::kNumber, "BYTES"},
    {Fault::Kind::kNeverBack, "never_back", Takes::kNothing, ""},
    {Fault::Kind::kOtherBytes, "other_bytes", Takes::kByteOrNothing, "BYTE"},
}};

std::string_view TrimFaultText(std::string_view text) {
    return carvex::TrimmedOf(text, " \t\r");
}

std::optional<int> ToInt(std::string_view s) {
    int value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string_view CommandName(Command command) {
    for (const auto& [c, name] : kCommandNames) {
        if (c == command) {
            return name;
        }
    }
    return "other";
}

std::optional<Command> CommandFromName(std::string_view name) {
    for (const auto& [c, n] : kCommandNames) {
        if (n == name) {
            return c;
        }
    }
    return std::nullopt;
}

std::string CommandNameList() {
    std::string list;
    for (const auto& [command, name] : kCommandNames) {
        list += (list.empty() ? "" : ", ") + std::string(name);
    }
    return list;
}

std::string FaultKindList() {
    std::string list;
    for (const KindName& kind : kKindNames) {
        list += (list.empty() ? "" : ", ") + std::string(kind.name);
        if (kind.takes == Takes::kNumber) {
            list += " " + std::string(kind.argument);
        } else if (kind.takes != Takes::kNothing) {
            list += " [" + std::string(kind.argument) + "]";
        }
    }
    return list;
}

Fault ReadFault(std::string_view text) {
    text = TrimFaultText(text);
    Fault fault;
    // A trailing "xN" limits the fault to N requests.
    const size_t last_space = text.rfind(' ');
    if (last_space != std::string_view::npos && text.size() > last_space + 2 &&
        text[last_space + 1] == 'x') {
        if (const auto times = ToInt(text.substr(last_space + 2))) {
            if (*times < 1) {
                throw FaultTextError("\"x" + std::to_string(*times) +
                                     "\" hits no request: xN takes N from 1 on");
            }
            fault.times = *times;
            text = TrimFaultText(text.substr(0, last_space));
        }
    }
    const size_t space = text.find(' ');
    const std::string_view name = text.substr(0, space);
    const std::string_view argument = space == std::string_view::npos
                                          ? std::string_view{}
                                          : TrimFaultText(text.substr(space + 1));
    const auto kind = std::find_if(kKindNames.begin(), kKindNames.end(),
                                   [&](const KindName& k) { return k.name == name; });
    if (kind == kKindNames.end()) {
        throw FaultTextError((name.empty() ? std::string("no fault kind given")
                                           : "no fault kind \"" + std::string(name) + "\"") +
                             "; kinds: " + FaultKindList() +
                             ", each with \" xN\" for the first N requests only");
    }
    fault.kind = kind->kind;
    const std::string kind_name(kind->name);
    switch (kind->takes) {
        case Takes::kNumber: {
            const auto value = ToInt(argument);
            if (!value) {
                throw FaultTextError(
                    kind_name + " needs a number (" + kind_name + " " +
                    std::string(kind->argument) + ")" +
                    (argument.empty() ? std::string() : ", not \"" + std::string(argument) + "\""));
            }
            fault.value = *value;
            break;
        }
        case Takes::kByteOrNothing: {
            const auto value = argument.empty() ? std::optional(0) : ToInt(argument);
            if (!value || *value < 0) {
                throw FaultTextError(kind_name + " takes a byte's place in the item (0 on) or " +
                                     "nothing, not \"" + std::string(argument) + "\"");
            }
            fault.value = *value;
            break;
        }
        case Takes::kTextOrNothing:
            fault.text = std::string(argument);
            break;
        case Takes::kNothing:
            if (!argument.empty()) {
                throw FaultTextError(kind_name + " takes no argument, not \"" +
                                     std::string(argument) +
                                     "\" (\" xN\" limits a fault to the first N requests)");
            }
            break;
    }
    return fault;
}

std::optional<Fault> ParseFault(std::string_view text) {
    try {
        return ReadFault(text);
    } catch (const FaultTextError&) {
        return std::nullopt;
    }
}

CardFault ReadCardFault(std::string_view text, int cards) {
    const std::string numbers =
        cards == 1 ? "the only card is 1" : "cards are 1 to " + std::to_string(cards);
    const size_t first = text.find(':');
    if (first == std::string_view::npos) {
        throw FaultTextError(
            "expected CARD:COMMAND:KIND[:ARG], CARD:never_back or CARD:other_bytes[:BYTE]");
    }
    const std::string_view card_text = text.substr(0, first);
    const auto card = ToInt(card_text);
    if (!card || *card < 1) {
        throw FaultTextError("\"" + std::string(card_text) + "\" is no card number: " + numbers);
    }
    if (*card > cards) {
        throw FaultTextError("there is no card " + std::to_string(*card) + ": " + numbers);
    }
    CardFault result;
    result.card = *card;
    std::string_view rest = text.substr(first + 1);
    const size_t second = rest.find(':');
    const std::string_view command_name = rest.substr(0, second);
    if (const auto command = CommandFromName(command_name)) {
        result.command = *command;
        rest = second == std::string_view::npos ? std::string_view{} : rest.substr(second + 1);
    } else if (command_name == "never_back") {
        result.command = Command::kReset;
    } else if (command_name == "other_bytes") {
        result.command = Command::kNvRead;
    } else {
        throw FaultTextError("no command \"" + std::string(command_name) + "\"; commands: " +
                             CommandNameList() + " (never_back and other_bytes also stand alone)");
    }
    std::string fault_text(rest);
    if (const size_t colon = fault_text.find(':'); colon != std::string::npos) {
        fault_text[colon] = ' ';
    }
    result.fault = ReadFault(fault_text);
    return result;
}

}  // namespace cardsim
