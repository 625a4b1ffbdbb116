#include "cardsim/card_profile.h"

#include <charconv>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "carvex/platform/text_trim.h"

namespace cardsim {

namespace {

std::string_view TrimProfileText(std::string_view text) {
    return carvex::TrimmedOf(text, " \t\r\n");
}

long ToNumber(std::string_view text, const std::string& where) {
    text = TrimProfileText(text);
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        throw std::runtime_error(where + ": not a number");
    }
    return value;
}

std::vector<uint8_t> ParseHexBytes(std::string_view text) {
    std::vector<uint8_t> bytes;
    std::istringstream in{std::string(text)};
    std::string token;
    while (in >> token) {
        unsigned value = 0;
        const auto [end, error] =
            std::from_chars(token.data(), token.data() + token.size(), value, 16);
        if (error != std::errc() || end != token.data() + token.size() || value > 0xFF) {
            throw std::runtime_error("bad hex byte '" + token + "'");
        }
        bytes.push_back(static_cast<uint8_t>(value));
    }
    return bytes;
}

std::set<uint16_t> ParseItemList(std::string_view text, const std::string& where) {
    std::set<uint16_t> items;
    while (!TrimProfileText(text).empty()) {
        const size_t comma = text.find(',');
        items.insert(static_cast<uint16_t>(ToNumber(text.substr(0, comma), where)));
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    return items;
}

void SetCardKey(CardProfile& p, std::string_view key, std::string_view value,
                const std::string& where) {
    const std::string v(value);
    if (key == "pcui_name")
        p.pcui_name = v;
    else if (key == "modem_name")
        p.modem_name = v;
    else if (key == "other_port")
        p.other_ports.push_back(v);
    else if (key == "pcui_port")
        p.pcui_port = static_cast<int>(ToNumber(value, where));
    else if (key == "modem_port")
        p.modem_port = static_cast<int>(ToNumber(value, where));
    else if (key == "usb_device")
        p.usb_device = v;
    else if (key == "firmware")
        p.firmware = v;
    else if (key == "pcb")
        p.pcb = v;
    else if (key == "dashboard")
        p.dashboard = v;
    else if (key == "dashboard_result")
        p.dashboard_result = static_cast<uint8_t>(ToNumber(value, where));
    else if (key == "board_type")
        p.board_type = v;
    else if (key == "new_version_mark")
        p.new_version_mark = static_cast<uint8_t>(ToNumber(value, where));
    else if (key == "model")
        p.model = v;
    else if (key == "at_echo")
        p.at_echo = ToNumber(value, where) != 0;
    else if (key == "qcdmg_reply") {
        if (value != "OK" && value != "none") {
            throw std::runtime_error(where + ": qcdmg_reply is OK or none");
        }
        p.qcdmg_ok = value == "OK";
    } else if (key == "port_state")
        p.port_state = static_cast<uint8_t>(ToNumber(value, where));
    else if (key == "port_mask")
        p.port_mask = static_cast<uint8_t>(ToNumber(value, where));
    else if (key == "mode")
        p.mode = static_cast<uint16_t>(ToNumber(value, where));
    else if (key == "reset_gone_ms")
        p.reset_gone_ms = static_cast<int>(ToNumber(value, where));
    else if (key == "request_id_probe") {
        if (value == "unknown")
            p.probe = CardProfile::Probe::kUnknown;
        else if (value == "table_b")
            p.probe = CardProfile::Probe::kTableB;
        else if (value == "card_header")
            p.probe = CardProfile::Probe::kCardHeader;
        else
            throw std::runtime_error(where +
                                     ": request_id_probe is unknown, table_b or card_header");
    } else if (key == "version_header") {
        const auto bytes = ParseHexBytes(value);
        if (bytes.size() != 4) {
            throw std::runtime_error(where + ": version_header takes four bytes");
        }
        p.version_header = carvex::DiagRequestHeader::Subsystem(
            bytes[0], bytes[1], static_cast<uint16_t>(bytes[2] | (bytes[3] << 8)));
    } else {
        throw std::runtime_error(where + ": unknown key '" + std::string(key) + "'");
    }
}

template <typename T>
T Bounded(std::string_view value, const std::string& where) {
    const long number = ToNumber(value, where);
    if (number < 0 || static_cast<unsigned long>(number) > std::numeric_limits<T>::max()) {
        throw std::runtime_error(where + ": out of range");
    }
    return static_cast<T>(number);
}

void SetToolKey(ToolReplies& t, std::string_view key, std::string_view value,
                const std::string& where) {
    const std::string v(value);
    if (key == "esn")
        t.esn = Bounded<uint32_t>(value, where);
    else if (key == "rf_mode")
        t.rf_mode = Bounded<uint16_t>(value, where);
    else if (key == "diag_version")
        t.diag_version = Bounded<uint16_t>(value, where);
    else if (key == "compile_date")
        t.compile_date = v;
    else if (key == "compile_time")
        t.compile_time = v;
    else if (key == "release_date")
        t.release_date = v;
    else if (key == "release_time")
        t.release_time = v;
    else if (key == "version_dir")
        t.version_dir = v;
    else if (key == "station_class_mark")
        t.station_class_mark = Bounded<uint8_t>(value, where);
    else if (key == "cai_revision")
        t.cai_revision = Bounded<uint8_t>(value, where);
    else if (key == "mobile_model")
        t.mobile_model = Bounded<uint8_t>(value, where);
    else if (key == "firmware_revision")
        t.firmware_revision = Bounded<uint16_t>(value, where);
    else if (key == "slot_cycle_index")
        t.slot_cycle_index = Bounded<uint8_t>(value, where);
    else if (key == "msm_major")
        t.msm_major = Bounded<uint8_t>(value, where);
    else if (key == "msm_minor")
        t.msm_minor = Bounded<uint8_t>(value, where);
    else if (key == "msm_hw_version")
        t.msm_hw_version = Bounded<uint32_t>(value, where);
    else if (key == "mobile_model_id")
        t.mobile_model_id = Bounded<uint32_t>(value, where);
    else if (key == "build_id")
        t.build_id = v;
    else if (key == "build_model")
        t.build_model = v;
    else
        throw std::runtime_error(where + ": unknown key '" + std::string(key) + "'");
}

}  // namespace

NvValue ParseNvValue(std::string_view text) {
    text = TrimProfileText(text);
    NvValue value{};
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
        if (text.size() > value.size()) {
            throw std::runtime_error("NV text longer than 128 bytes");
        }
        std::copy(text.begin(), text.end(), value.begin());
        return value;
    }
    const auto bytes = ParseHexBytes(text);
    if (bytes.size() > value.size()) {
        throw std::runtime_error("NV value longer than 128 bytes");
    }
    std::copy(bytes.begin(), bytes.end(), value.begin());
    return value;
}

std::string FormatNvValue(const NvValue& value) {
    size_t used = value.size();
    while (used > 0 && value[used - 1] == 0) {
        --used;
    }
    std::string text;
    static const char* kHex = "0123456789ABCDEF";
    for (size_t i = 0; i < used; ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += kHex[value[i] >> 4];
        text += kHex[value[i] & 0xF];
    }
    return text;
}

CardProfile ParseProfile(std::string_view text) {
    CardProfile profile;
    std::string section;
    int line_number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++line_number;
        const std::string_view line = TrimProfileText(raw);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        const std::string where = "profile line " + std::to_string(line_number);
        if (line.front() == '[' && line.back() == ']') {
            section = std::string(TrimProfileText(line.substr(1, line.size() - 2)));
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            throw std::runtime_error(where + ": expected key = value");
        }
        const std::string_view key = TrimProfileText(line.substr(0, equals));
        const std::string_view value = TrimProfileText(line.substr(equals + 1));
        try {
            if (section == "card") {
                SetCardKey(profile, key, value, where);
            } else if (section == "diag") {
                SetToolKey(profile.tool_replies, key, value, where);
            } else if (section == "nv") {
                profile.nv[static_cast<uint16_t>(ToNumber(key, where))] = ParseNvValue(value);
            } else if (section == "inactive" && key == "items") {
                profile.inactive = ParseItemList(value, where);
            } else if (section == "read_only" && key == "items") {
                profile.read_only = ParseItemList(value, where);
            } else if (section == "faults") {
                const auto command = CommandFromName(key);
                if (!command) {
                    throw std::runtime_error(where + ": no command \"" + std::string(key) +
                                             "\"; commands: " + CommandNameList());
                }
                try {
                    profile.faults.emplace_back(*command, ReadFault(value));
                } catch (const FaultTextError& e) {
                    throw std::runtime_error(where + ": " + e.what());
                }
            } else {
                throw std::runtime_error(where + ": unexpected in section [" +
                                         std::string(section).append("]"));
            }
        } catch (const std::runtime_error& e) {
            const std::string message = e.what();
            throw std::runtime_error(message.starts_with("profile")
                                         ? message
                                         : std::string(where).append(": ").append(message));
        }
    }
    return profile;
}

CardProfile LoadProfile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read the card profile " + path.string());
    }
    std::stringstream text;
    text << in.rdbuf();
    return ParseProfile(text.str());
}

}  // namespace cardsim
