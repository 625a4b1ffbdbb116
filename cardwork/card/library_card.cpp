#include "cardwork/card/library_card.h"

#include <array>
#include <cstring>

#include "carvex/carvex.h"
#include "carvex/link/port_discovery.h"
#include "carvex/platform/port_diagnosis.h"

namespace cardwright {

namespace {

// What the library writes text into: zero-filled, its size the library's.
using TextBuffer = std::array<char, CARVEX_NV_DATA_SIZE>;

std::string TextIn(const TextBuffer& buffer) {
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

}  // namespace

// The device root is looked up afresh each time, as InitCommPort does; so is the card's port,
// the first PC UI interface there, which is the one InitCommPort opens.
bool LibraryCard::Open() {
    const bool opened = InitCommPort() != 0;
    const auto root = carvex::DeviceRoot::FromEnvironment();
    if (opened) {
        port_ = carvex::FindDiagPort(root);
        trouble_.clear();
    } else {
        port_.reset();
        trouble_ = carvex::ExplainUnopenableCard(root).brief;
    }
    return opened;
}

bool LibraryCard::Gone() {
    if (!port_ || !carvex::PortGone(carvex::DeviceRoot::FromEnvironment(), *port_)) {
        return false;
    }
    trouble_ = carvex::ComName(*port_) + " is gone";
    return true;
}

std::string LibraryCard::PortName() {
    return port_ ? carvex::ComName(*port_) : std::string();
}

void LibraryCard::Close() {
    CloseCommPort();
}

bool LibraryCard::NewVersionMark(int32_t& status) {
    return IsNewVersion(&status) != 0;
}

std::optional<std::string> LibraryCard::BoardType() {
    TextBuffer buffer{};
    if (GetBoardType(buffer.data()) == 0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

bool LibraryCard::ReadImei(std::span<uint8_t> bytes, int32_t& status) {
    return GetIMEI(bytes.data(), static_cast<int32_t>(bytes.size()), &status) != 0;
}

std::optional<std::string> LibraryCard::FirmwareVersion(int32_t& status) {
    TextBuffer buffer{};
    if (GetFirmwareVersion(buffer.data(), CARVEX_NV_DATA_SIZE, &status) == 0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

std::optional<std::string> LibraryCard::PcbVersion(int32_t& status) {
    TextBuffer buffer{};
    if (GetPCBVersion(buffer.data(), CARVEX_NV_DATA_SIZE, &status) == 0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

std::optional<std::string> LibraryCard::DashboardVersion(int32_t& status) {
    TextBuffer buffer{};
    if (GetDashboardVersion(buffer.data(), CARVEX_NV_DATA_SIZE, &status) == 0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

bool LibraryCard::ReadNv(int32_t item, NvData& data, int32_t& status) {
    return ReadNvItem(item, data.data(), CARVEX_NV_DATA_SIZE, &status) != 0;
}

bool LibraryCard::WriteNv(int32_t item, const NvData& data) {
    return CarvexItem(item, data.data(), CARVEX_NV_DATA_SIZE) != 0;
}

bool LibraryCard::ReadPortSetting(DeviceState& setting, int32_t& status) {
    return GetPnPState(&setting.state, &setting.mask, &status) != 0;
}

bool LibraryCard::WritePortSetting(const DeviceState& setting, int32_t& status) {
    return SetPnPState(setting.state, setting.mask, &status) != 0;
}

bool LibraryCard::Backup(int32_t& status) {
    return BackupNVItems(&status) != 0;
}

bool LibraryCard::Restart() {
    return ResetDsahboard() != 0;
}

}  // namespace cardwright
