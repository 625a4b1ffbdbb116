#include "cardwork/card/connection_card.h"

#include "carvex/link/port_discovery.h"
#include "carvex/platform/printable_text.h"

namespace cardwright {

namespace {

// A text query's answer, or nullopt when it failed.
template <class Query>
std::optional<std::string> TextOf(Query&& query) {
    std::string text;
    if (!query(&text)) {
        return std::nullopt;
    }
    return text;
}

// The item number as the library takes it: its low 16 bits.
uint16_t ItemNumber(int32_t item) {
    return static_cast<uint16_t>(item & 0xFFFF);
}

}  // namespace

carvex::PortDiagnosis WhyNotOpened(const carvex::DeviceRoot& root, std::optional<int> port,
                                   const carvex::CardConnection& connection) {
    const auto entry = connection.Port();
    if (!entry && port) {
        const std::string com = carvex::ComName(*port);
        // On Windows the system keeps the devices: there is no root to name.
        const std::string where =
            root.Path().empty()
                ? std::string()
                : " (device root " + carvex::PrintableText(root.Path().string()) + ")";
        return {carvex::PortDiagnosis::Cause::kNoCard,
                "no card found with its PC UI interface on " + com + where, "no card on " + com};
    }
    if (!entry) {
        return carvex::ExplainUnopenableCard(root);
    }
    carvex::PortDiagnosis diagnosis = carvex::ExplainUnopenablePort(root, entry->com);
    diagnosis.sentence = "the card's PC UI interface cannot be used: " + diagnosis.sentence;
    return diagnosis;
}

std::string GoneWords(int port) {
    return carvex::ComName(port) + " is gone: the card was unplugged or is restarting";
}

ConnectionCard::ConnectionCard(carvex::DeviceRoot root, std::optional<int> port)
    : root_(root), connection_(std::move(root)), port_(port) {}

bool ConnectionCard::Open() {
    gone_.reset();
    open_failed_ = !connection_.Open(port_);
    return !open_failed_;
}

void ConnectionCard::Close() {
    connection_.Close();
}

bool ConnectionCard::NewVersionMark(int32_t& status) {
    return connection_.NewVersion(&status);
}

std::optional<std::string> ConnectionCard::BoardType() {
    return TextOf([&](std::string* text) { return connection_.BoardType(text); });
}

bool ConnectionCard::ReadImei(std::span<uint8_t> bytes, int32_t& status) {
    return connection_.Imei(bytes, &status);
}

std::optional<std::string> ConnectionCard::FirmwareVersion(int32_t& status) {
    return TextOf([&](std::string* text) { return connection_.FirmwareVersion(text, &status); });
}

std::optional<std::string> ConnectionCard::PcbVersion(int32_t& status) {
    return TextOf([&](std::string* text) { return connection_.PcbVersion(text, &status); });
}

std::optional<std::string> ConnectionCard::DashboardVersion(int32_t& status) {
    return TextOf([&](std::string* text) { return connection_.DashboardVersion(text, &status); });
}

bool ConnectionCard::ReadNv(int32_t item, NvData& data, int32_t& status) {
    return connection_.ReadNv(ItemNumber(item), data, &status);
}

bool ConnectionCard::WriteNv(int32_t item, const NvData& data) {
    return connection_.WriteNv(ItemNumber(item), data);
}

bool ConnectionCard::ReadPortSetting(DeviceState& setting, int32_t& status) {
    return connection_.GetPortSetting(&setting.state, &setting.mask, &status);
}

bool ConnectionCard::WritePortSetting(const DeviceState& setting, int32_t& status) {
    return connection_.SetPortSetting(setting.state, setting.mask, &status);
}

bool ConnectionCard::Backup(int32_t& status) {
    return connection_.Backup(&status);
}

bool ConnectionCard::Restart() {
    return connection_.Restart();
}

bool ConnectionCard::Gone() {
    const auto port = connection_.Port();
    const bool gone = port && carvex::PortGone(root_, port->com);
    if (gone) {
        gone_ = port->com;
    }
    return gone;
}

std::string ConnectionCard::Trouble() {
    if (gone_) {
        return GoneWords(*gone_);
    }
    return open_failed_ ? WhyNotOpened(root_, port_, connection_).brief : std::string();
}

}  // namespace cardwright
