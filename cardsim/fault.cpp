#include "cardsim/fault.h"

#include <array>
#include <charconv>
#include <utility>

namespace cardsim {

namespace {

constexpr std::array<std::pair<Command, std::string_view>, 16> kCommandNames{{
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
    {Command::kOther, "other"},
}};

constexpr std::array<std::pair<Fault::Kind, std::string_view>, 11> kKindNames{{
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
        default:
            fault.text = std::string(argument);
            break;
    }
    return fault;
}

}  // namespace cardsim
