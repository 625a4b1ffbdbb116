#include "cardsim/control_command.h"

#include <charconv>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "carvex/platform/device_root.h"

namespace cardsim {

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    for (;;) {
        const size_t start = line.find_first_not_of(kBlanks);
        if (start == std::string_view::npos) {
            return words;
        }
        line.remove_prefix(start);
        const size_t end = std::min(line.find_first_of(kBlanks), line.size());
        words.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
}

[[noreturn]] void Refuse(std::string_view command, const std::string& why) {
    throw std::invalid_argument(std::string(command) + ": " + why);
}

PlugRequest ReadPlug(const std::vector<std::string_view>& words) {
    constexpr std::string_view kUsage = "plug [IMEI] [--profile FILE]";
    constexpr std::string_view kProfile = "--profile";
    PlugRequest request;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (word == kProfile || word.starts_with("--profile=")) {
            const bool joined = word != kProfile;
            if (!joined && i + 1 == words.size()) {
                Refuse("plug", "--profile needs a FILE: " + std::string(kUsage));
            }
            const std::string_view file = joined ? word.substr(kProfile.size() + 1) : words[++i];
            if (file.empty() || request.profile) {
                Refuse("plug", "one --profile FILE: " + std::string(kUsage));
            }
            request.profile = std::string(file);
        } else if (word.starts_with("-")) {
            Refuse("plug", "no option \"" + std::string(word) + "\": " + std::string(kUsage));
        } else if (request.imei) {
            Refuse("plug", "one IMEI at most, not \"" + *request.imei + "\" and \"" +
                               std::string(word) + "\": " + std::string(kUsage));
        } else {
            request.imei = std::string(word);
        }
    }
    return request;
}

int ReadCardNumber(const std::vector<std::string_view>& words) {
    const std::string command(words[0]);
    if (words.size() != 2) {
        Refuse(command, "name one card: " + command + " N");
    }
    int number = 0;
    const std::string_view text = words[1];
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || number < 1) {
        Refuse(command, "\"" + std::string(text) + "\" is no card number: " + command + " N");
    }
    return number;
}

std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string CardText(const CardStatus& card) {
    return "card " + std::to_string(card.number) + " " + std::string(PresenceName(card.presence)) +
           ": PC UI " + carvex::ComName(card.pcui_port) + ", modem " +
           carvex::ComName(card.modem_port) + ", " +
           (card.imei ? "IMEI " + *card.imei : std::string("no IMEI"));
}

std::string CardJson(const CardStatus& card) {
    return "{\"card\":" + std::to_string(card.number) +
           ",\"state\":" + JsonString(PresenceName(card.presence)) +
           ",\"pcui\":" + JsonString(carvex::ComName(card.pcui_port)) +
           ",\"modem\":" + JsonString(carvex::ComName(card.modem_port)) +
           ",\"imei\":" + (card.imei ? JsonString(*card.imei) : std::string("null")) + "}";
}

std::string Answer(std::string_view command, const std::vector<CardStatus>& cards, bool json) {
    std::string answer;
    for (const CardStatus& card : cards) {
        if (json) {
            answer += (answer.empty() ? "" : ",") + CardJson(card);
        } else {
            answer += (answer.empty() ? "" : "; ") + CardText(card);
        }
    }
    if (json) {
        return "{\"ok\":true,\"command\":" + JsonString(command) + ",\"cards\":[" + answer + "]}";
    }
    return "ok: " + (answer.empty() ? std::string("no cards") : answer);
}

}  // namespace

ControlCommand ReadControlCommand(std::string_view line) {
    const std::vector<std::string_view> words = Words(line);
    if (words.empty()) {
        throw std::invalid_argument("no command; commands: " + std::string(kControlCommands));
    }
    ControlCommand command;
    const std::string_view name = words[0];
    if (name == "plug") {
        command.kind = ControlCommand::Kind::kPlug;
        command.plug = ReadPlug(words);
    } else if (name == "unplug" || name == "replug") {
        command.kind =
            name == "unplug" ? ControlCommand::Kind::kUnplug : ControlCommand::Kind::kReplug;
        command.card = ReadCardNumber(words);
    } else if (name == "list") {
        if (words.size() > 1) {
            Refuse(name, "takes nothing, not \"" + std::string(words[1]) + "\"");
        }
        command.kind = ControlCommand::Kind::kList;
    } else {
        throw std::invalid_argument("no command \"" + std::string(name) +
                                    "\"; commands: " + std::string(kControlCommands));
    }
    return command;
}

std::string AnswerControlLine(CardBench& bench, std::string_view line, bool json) {
    const auto words = Words(line);
    if (words.empty()) {
        return {};
    }
    try {
        const ControlCommand command = ReadControlCommand(line);
        switch (command.kind) {
            case ControlCommand::Kind::kPlug: {
                const int number = bench.Plug(command.plug);
                return Answer(words[0], {bench.StatusOf(number)}, json);
            }
            case ControlCommand::Kind::kUnplug:
                return Answer(words[0], {bench.Unplug(command.card)}, json);
            case ControlCommand::Kind::kReplug:
                return Answer(words[0], {bench.Replug(command.card)}, json);
            case ControlCommand::Kind::kList:
                return Answer(words[0], bench.Status(), json);
        }
    } catch (const std::exception& e) {
        // Every error names its command, those of the card's making too.
        const std::string prefix = std::string(words[0]) + ": ";
        std::string error = e.what();
        if (!error.starts_with(prefix) && !error.starts_with("no command")) {
            error.insert(0, prefix);
        }
        if (json) {
            return "{\"ok\":false,\"command\":" + JsonString(words[0]) +
                   ",\"error\":" + JsonString(error) + "}";
        }
        return "error: " + error;
    }
    return {};
}

}  // namespace cardsim
