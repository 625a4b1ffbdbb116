#include "tools/carvexctl/card_commands.h"

#include <CLI/CLI.hpp>
#include <array>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <vector>

#include "cardwork/batch/snapshot.h"
#include "cardwork/model/imei.h"
#include "carvex/carvex.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/command_card.h"
#include "tools/carvexctl/json_output.h"

namespace carvexctl {

namespace {

using cardwright::DescribeStatus;

constexpr int kNvSize = CARVEX_NV_DATA_SIZE;
// What a status or output keeps when the library leaves it alone: it writes a status only when a
// request could not be sent or went unanswered, and the port setting only when it is valid.
constexpr int32_t kUnwritten = -1;

// A text the card sent, fit for a terminal: up to its first zero byte.
std::string Text(const std::string& text) {
    return carvex::PrintableText(std::string_view(text.data(), strnlen(text.data(), text.size())));
}

std::string Hex(int value) {
    std::ostringstream out;
    out << "0x" << std::uppercase << std::hex << std::setw(2) << std::setfill('0') << value;
    return out.str();
}

// What `info` asks the card: each answer, or why there is none (empty: the card gave no reason).
struct Answer {
    std::optional<std::string> value;
    std::string why_not;
};

struct CardInfo {
    std::string port;
    Answer imei, firmware, hardware, dashboard, board_type;
    bool new_version = false;
    std::optional<std::pair<int32_t, int32_t>> port_setting;  // state, mask
    std::string port_setting_why_not;
};

CardInfo AskInfo(CommandCard& session) {
    carvex::CardConnection& card = session.Card();
    CardInfo info;
    if (const auto entry = card.Port()) {
        info.port = carvex::ComName(entry->com);
    }
    int32_t status = 0;
    const auto answer = [&status](bool answered, const std::string& text) {
        return answered ? Answer{Text(text), {}} : Answer{std::nullopt, DescribeStatus(status)};
    };
    std::array<uint8_t, CARVEX_IMEI_LENGTH> imei{};
    info.imei = card.Imei(imei, &status)
                    ? Answer{carvex::PrintableText(cardwright::DecodeImei(imei)), {}}
                    : Answer{std::nullopt, DescribeStatus(status, CARVEX_IMEI_ITEM)};
    std::string text;
    info.firmware = answer(card.FirmwareVersion(&text, &status), text);
    text.clear();
    info.hardware = answer(card.PcbVersion(&text, &status), text);
    text.clear();
    info.dashboard = card.DashboardVersion(&text, &status) ? Answer{Text(text), {}} : Answer{};
    text.clear();
    Progress("Asking the modem port for the model...");
    info.board_type = card.BoardType(&text) ? Answer{Text(text), {}} : Answer{};
    info.new_version = card.NewVersion(&status);
    int32_t state = 0;
    int32_t mask = 0;
    if (card.GetPortSetting(&state, &mask, &status)) {
        info.port_setting = {state, mask};
    } else {
        info.port_setting_why_not = DescribeStatus(status);
    }
    return info;
}

void PrintInfo(const CardInfo& info) {
    const auto row = [](const char* label, const std::string& value) {
        std::cout << std::left << std::setw(19) << label << value << "\n";
    };
    const auto shown = [](const Answer& answer) {
        return answer.value             ? *answer.value
               : answer.why_not.empty() ? std::string("--")
                                        : "-- (" + answer.why_not + ")";
    };
    row("IMEI:", shown(info.imei));
    row("Firmware version:", shown(info.firmware));
    row("Hardware version:", shown(info.hardware));
    row("Dashboard version:", shown(info.dashboard));
    row("Board type:", shown(info.board_type));
    row("New version:", info.new_version ? "yes" : "no");
    row("Port setting:", info.port_setting ? "state " + std::to_string(info.port_setting->first) +
                                                 ", port mask " + Hex(info.port_setting->second)
                                           : "-- (" + info.port_setting_why_not + ")");
}

// The answers by name, null where there is none, and the reasons the card gave for those.
Json InfoJson(const CardInfo& info) {
    Json document = Json::object();
    Json why_not = Json::object();
    document["port"] = TextOrNull(info.port);
    const auto put = [&](const char* name, const Answer& answer) {
        document[name] = answer.value ? Json(*answer.value) : Json(nullptr);
        if (!answer.why_not.empty()) {
            why_not[name] = answer.why_not;
        }
    };
    put("imei", info.imei);
    put("firmware_version", info.firmware);
    put("hardware_version", info.hardware);
    put("dashboard_version", info.dashboard);
    put("board_type", info.board_type);
    document["new_version"] = info.new_version;
    if (info.port_setting) {
        document["port_setting"] = {{"state", info.port_setting->first},
                                    {"port_mask", info.port_setting->second}};
    } else {
        document["port_setting"] = nullptr;
        why_not["port_setting"] = info.port_setting_why_not;
    }
    document["errors"] = why_not;
    return document;
}

void Info(std::optional<int> port, bool json) {
    CommandCard session(port);
    const CardInfo info = AskInfo(session);
    if (json) {
        PrintDocument(InfoJson(info));
    } else {
        PrintInfo(info);
    }
}

void NvRead(std::optional<int> port, int item, bool raw, bool json) {
    CommandCard session(port);
    std::array<uint8_t, kNvSize> data{};
    int32_t status = 0;
    if (!session.Card().ReadNv(static_cast<uint16_t>(item), data, &status)) {
        throw Failure(DescribeStatus(status, item));
    }
    if (json) {
        PrintDocument({{"item", item}, {"data", cardwright::NvHex(data)}});
        return;
    }
    if (raw) {
        std::cout.write(reinterpret_cast<const char*>(data.data()), kNvSize);
        return;
    }
    for (int row = 0; row < kNvSize; row += 16) {
        std::cout << std::hex << std::setw(4) << std::setfill('0') << row << " ";
        for (int i = row; i < row + 16; ++i) {
            std::cout << " " << std::setw(2) << static_cast<int>(data[i]);
        }
        std::cout << std::dec << "\n";
    }
}

std::vector<uint8_t> ParseHex(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == ',') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            throw Refusal(std::string("not a hex digit: '") + c + "'");
        }
        digits.push_back(c);
    }
    if (digits.size() % 2 != 0) {
        throw Refusal("the hex value has an odd number of digits");
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    if (bytes.size() > kNvSize) {
        throw Refusal("an NV item holds at most " + std::to_string(kNvSize) + " bytes, got " +
                      std::to_string(bytes.size()));
    }
    return bytes;
}

void NvWrite(std::optional<int> port, int item, const std::string& hex) {
    const auto bytes = ParseHex(hex);
    CommandCard session(port);
    const auto number = static_cast<uint16_t>(item);
    if (session.Card().WriteNv(number, bytes)) {
        std::cout << "item " << item << " written (" << bytes.size() << " bytes)\n";
        return;
    }
    // The write reports no reason; a read tells whether the item exists at all.
    std::array<uint8_t, kNvSize> probe{};
    int32_t status = 0;
    if (!session.Card().ReadNv(number, probe, &status)) {
        throw Failure("item " + std::to_string(item) +
                      " was not written: " + DescribeStatus(status, item));
    }
    throw Failure("item " + std::to_string(item) +
                  " was not written: the card refused it (read-only item?) or did not answer");
}

void Backup(std::optional<int> port) {
    CommandCard session(port);
    Progress("Backing up the NV items (the card may take up to 20 s)...");
    int32_t status = kUnwritten;
    if (!session.Card().Backup(&status)) {
        throw Failure(status == kUnwritten ? "the card reported that the backup failed"
                                           : "backup failed: " + DescribeStatus(status));
    }
    std::cout << "NV items backed up\n";
}

void PnpGet(std::optional<int> port) {
    CommandCard session(port);
    int32_t state = kUnwritten;
    int32_t mask = kUnwritten;
    int32_t status = 0;
    if (!session.Card().GetPortSetting(&state, &mask, &status)) {
        throw Failure(DescribeStatus(status));
    }
    if (state == kUnwritten) {
        throw Failure("the card reports no valid port setting");
    }
    std::cout << "state " << state << ", port mask " << Hex(mask) << "\n";
}

void PnpSet(std::optional<int> port, int state, int mask) {
    CommandCard session(port);
    int32_t status = kUnwritten;
    if (!session.Card().SetPortSetting(state, mask, &status)) {
        throw Failure(status == kUnwritten ? "the card refused the port setting"
                                           : DescribeStatus(status));
    }
    std::cout << "port setting: state " << (state & 0xFF) << ", port mask " << Hex(mask & 0xFF)
              << "\n";
}

void Reset(std::optional<int> port) {
    CommandCard session(port);
    Progress("Taking the card offline and restarting it...");
    if (!session.Card().Restart()) {
        throw Failure("the card did not acknowledge the restart");
    }
    std::cout << "the card is restarting\n";
}

}  // namespace

void CardCommands::Register(Dispatcher& dispatcher) {
    CLI::App& app = dispatcher.App();
    const PortOption& port = dispatcher.Port();
    const auto done = [](auto work) {
        return [work] {
            work();
            return ExitStatus::kOk;
        };
    };

    auto* info = app.add_subcommand("info", "show the card's identity, versions and port setting");
    AddJsonFlag(info, json_);
    dispatcher.Add(info, done([this, &port] { Info(port.Single("info"), json_); }));

    auto* nv = app.add_subcommand("nv", "read or write one NV item");
    nv->require_subcommand(1);
    auto* nv_read = nv->add_subcommand("read", "show the 128 data bytes of an item");
    nv_read->add_option("ITEM", item_, "NV item number")->required()->check(CLI::Range(0, 65535));
    auto* raw =
        nv_read->add_flag("--raw", raw_, "write the 128 bytes themselves to standard output");
    AddJsonFlag(nv_read, json_)->excludes(raw);
    dispatcher.Add(nv_read,
                   done([this, &port] { NvRead(port.Single("nv read"), item_, raw_, json_); }));
    auto* nv_write = nv->add_subcommand("write", "write an item (the rest of its 128 bytes zero)");
    nv_write->add_option("ITEM", item_, "NV item number")->required()->check(CLI::Range(0, 65535));
    nv_write->add_option("HEX", hex_, "the value in hex, e.g. \"01 02 0A\"")->required();
    dispatcher.Add(nv_write,
                   done([this, &port] { NvWrite(port.Single("nv write"), item_, hex_); }));

    dispatcher.Add(app.add_subcommand("backup", "make the card back up its NV items"),
                   done([&port] { Backup(port.Single("backup")); }));

    auto* pnp = app.add_subcommand("pnp", "read or set the card's port setting");
    pnp->require_subcommand(1);
    dispatcher.Add(pnp->add_subcommand("get", "show the state value and the port bit mask"),
                   done([&port] { PnpGet(port.Single("pnp get")); }));
    auto* pnp_set = pnp->add_subcommand("set", "set the state value and the port bit mask");
    pnp_set->add_option("STATE", state_, "state value (0-255)")
        ->required()
        ->check(CLI::Range(0, 255));
    pnp_set->add_option("BITS", mask_, "port bit mask (0-255)")
        ->required()
        ->check(CLI::Range(0, 255));
    dispatcher.Add(pnp_set, done([this, &port] { PnpSet(port.Single("pnp set"), state_, mask_); }));

    dispatcher.Add(app.add_subcommand("reset", "take the card offline and restart it"),
                   done([&port] { Reset(port.Single("reset")); }));
}

}  // namespace carvexctl
