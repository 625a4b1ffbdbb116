#include "cardsim/fault.h"

#include <array>
#include <charconv>
#include <utility>

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

constexpr std::array<std::pair<Fault::Kind, std::string_view>, 13> kKindNames{{
    {Fault::Kind::kNoReply, "no_reply"},
    {Fault::Kind::kLateReply, "late_reply"},
    {Fault::Kind::kBadFcs, "bad_fcs"},
    {Fault::Kind::kNvStatus, "nv_status"},
    {Fault::Kind::kErrorReply, "error_reply"},
    {Fault::Kind::kUnsolicited, "unsolicited"},
    {Fault::Kind::kSplit, "split"},
    {Fault::Kind::kBatch, "batch"},
    {Fault::Kind::kVanish, "vanish"},
    {Fault::Kind::kResult, "result"},
    {Fault::Kind::kLength, "length"},
    {Fault::Kind::kNeverBack, "never_back"},
    {Fault::Kind::kOtherBytes, "other_bytes"},
}};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
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

std::optional<Fault> ParseFault(std::string_view text) {
    text = Trim(text);
    Fault fault;
    // A trailing "xN" limits the fault to N requests.
    const size_t last_space = text.rfind(' ');
    if (last_space != std::string_view::npos && text.size() > last_space + 2 &&
        text[last_space + 1] == 'x') {
        if (const auto times = ToInt(text.substr(last_space + 2))) {
            fault.times = *times;
            text = Trim(text.substr(0, last_space));
        }
    }
    const size_t space = text.find(' ');
    const std::string_view kind = text.substr(0, space);
    const std::string_view argument =
        space == std::string_view::npos ? std::string_view{} : Trim(text.substr(space + 1));
    for (const auto& [k, name] : kKindNames) {
        if (name == kind) {
            fault.kind = k;
        }
    }
    switch (fault.kind) {
        case Fault::Kind::kNone:
            return std::nullopt;
        case Fault::Kind::kLateReply:
        case Fault::Kind::kNvStatus:
        case Fault::Kind::kResult:
        case Fault::Kind::kLength: {
            const auto value = ToInt(argument);
            if (!value) {
                return std::nullopt;
            }
            fault.value = *value;
            break;
        }
        case Fault::Kind::kOtherBytes: {
            const auto value = argument.empty() ? std::optional(0) : ToInt(argument);
            if (!value || *value < 0) {
                return std::nullopt;
            }
            fault.value = *value;
            break;
        }
        default:
            fault.text = std::string(argument);
            break;
    }
    return fault;
}

std::optional<CardFault> ParseCardFault(std::string_view text) {
    const size_t first = text.find(':');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const auto card = ToInt(text.substr(0, first));
    if (!card || *card < 1) {
        return std::nullopt;
    }
    CardFault result;
    result.card = *card;
    std::string_view rest = text.substr(first + 1);
    const size_t second = rest.find(':');
    const auto command = CommandFromName(rest.substr(0, second));
    if (command) {
        result.command = *command;
        rest = second == std::string_view::npos ? std::string_view{} : rest.substr(second + 1);
    } else if (rest.starts_with("never_back")) {
        result.command = Command::kReset;
    } else if (rest.starts_with("other_bytes")) {
        result.command = Command::kNvRead;
    } else {
        return std::nullopt;
    }
    std::string fault_text(rest);
    if (const size_t colon = fault_text.find(':'); colon != std::string::npos) {
        fault_text[colon] = ' ';
    }
    const auto fault = ParseFault(fault_text);
    if (!fault) {
        return std::nullopt;
    }
    result.fault = *fault;
    return result;
}

}  // namespace cardsim
