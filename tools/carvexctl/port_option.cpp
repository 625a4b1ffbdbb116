#include "tools/carvexctl/port_option.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>

#include "cardwork/model/ini_file.h"
#include "tools/carvexctl/command_failure.h"

namespace carvexctl {

std::optional<int> ParseComPort(std::string_view text) {
    if (text.size() > 3 && cardwright::EqualIgnoringCase(text.substr(0, 3), "COM")) {
        text.remove_prefix(3);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || number <= 0) {
        return std::nullopt;
    }
    return number;
}

PortOption::PortOption(CLI::App& app) {
    app.add_option("--port", texts_,
                   "the card whose PC UI interface is this COM port, e.g. COM12 (default: the "
                   "first card; apply and cards take it several times)");
    app.fallthrough();
}

std::vector<int> PortOption::Ports() const {
    std::vector<int> ports;
    for (const std::string& text : texts_) {
        const auto port = ParseComPort(text);
        if (!port) {
            throw Refusal("--port takes a COM port such as COM12, not \"" + text + "\"");
        }
        if (std::find(ports.begin(), ports.end(), *port) != ports.end()) {
            throw Refusal("--port names COM" + std::to_string(*port) + " twice");
        }
        ports.push_back(*port);
    }
    return ports;
}

std::optional<int> PortOption::Single(std::string_view command) const {
    const auto ports = Ports();
    if (ports.size() > 1) {
        throw Refusal(std::string(command) + " works on one card: name one --port");
    }
    return ports.empty() ? std::nullopt : std::optional<int>(ports.front());
}

}  // namespace carvexctl
