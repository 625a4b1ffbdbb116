#include "carvex/connection/card_connection.h"

#include <algorithm>

#include "carvex/connection/card_control.h"
#include "carvex/connection/card_operations.h"
#include "carvex/connection/identity_queries.h"

namespace carvex {

CardConnection::CardConnection(DeviceRoot root) : root_(std::move(root)) {}

CardConnection::~CardConnection() {
    Close();
}

bool CardConnection::Open(std::optional<int> port) {
    Close();
    open_error_ = 0;
    system_error_ = 0;
    const auto entries = ListDiagPorts(root_);
    const auto entry = port ? std::find_if(entries.begin(), entries.end(),
                                           [&](const DiagPortEntry& e) { return e.com == *port; })
                            : entries.begin();
    if (entry == entries.end()) {
        port_.reset();
        return false;
    }
    port_ = *entry;
    modem_mark_ = ModemMarkFor(entries, static_cast<size_t>(entry - entries.begin()));
    connection_.emplace(root_);
    if (connection_->OpenInDiagMode(port_->com)) {
        return true;
    }
    open_error_ = connection_->Link().LastLinkError();
    system_error_ = connection_->Link().LastSystemError();
    Close();
    return false;
}

void CardConnection::Close() {
    if (connection_) {
        closed_retries_ += connection_->NvRetries();
    }
    connection_.reset();
}

uint64_t CardConnection::NvRetries() const {
    return closed_retries_ + (connection_ ? connection_->NvRetries() : 0);
}

bool CardConnection::IsOpen() const {
    return connection_ && connection_->IsOpen();
}

template <class Exchange>
bool CardConnection::Run(int32_t* status, Exchange&& exchange) {
    if (!IsOpen()) {
        SetStatus(status, kStatusNotSent);
        return false;
    }
    ConnectionGuard guard(*connection_);
    return exchange(*connection_);
}

bool CardConnection::ReadNv(uint16_t item, std::span<uint8_t> buffer, int32_t* status) {
    return Run(status, [&](MainControl& c) { return ReadItem(c, item, buffer, status); });
}

bool CardConnection::WriteNv(uint16_t item, std::span<const uint8_t> data) {
    return Run(nullptr, [&](MainControl& c) { return WriteItem(c, item, data); });
}

bool CardConnection::Imei(std::span<uint8_t> bytes, int32_t* status) {
    return ReadNv(CARVEX_IMEI_ITEM, bytes, status);
}

bool CardConnection::FirmwareVersion(std::string* text, int32_t* status) {
    std::string pcb;
    return Run(status, [&](MainControl& c) { return QueryVersions(c, text, &pcb, status); });
}

bool CardConnection::PcbVersion(std::string* text, int32_t* status) {
    std::string firmware;
    return Run(status, [&](MainControl& c) { return QueryVersions(c, &firmware, text, status); });
}

bool CardConnection::DashboardVersion(std::string* text, int32_t* status) {
    return Run(status, [&](MainControl& c) { return QueryDashboardVersion(c, text, status); });
}

bool CardConnection::BoardType(std::string* text) {
    if (port_ && ModelFromModemPort(root_, modem_mark_, AtPort::PortVariable::kKeep, text)) {
        return true;
    }
    return Run(nullptr, [&](MainControl& c) { return BoardTypeOverDiag(c, text); });
}

bool CardConnection::NewVersion(int32_t* status) {
    return Run(status, [&](MainControl& c) { return QueryNewVersionMark(c, status); });
}

bool CardConnection::Backup(int32_t* status) {
    return Run(status, [&](MainControl& c) { return BackupNv(c, status); });
}

bool CardConnection::SetPortSetting(int32_t value, int32_t bits, int32_t* status) {
    return Run(status,
               [&](MainControl& c) { return carvex::SetPortSetting(c, value, bits, status); });
}

bool CardConnection::GetPortSetting(int32_t* value, int32_t* bits, int32_t* status) {
    return Run(status,
               [&](MainControl& c) { return carvex::GetPortSetting(c, value, bits, status); });
}

bool CardConnection::Restart() {
    return Run(nullptr, [](MainControl& c) { return RestartCard(c); });
}

}  // namespace carvex
