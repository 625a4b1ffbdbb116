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
    return run_([this] {
               const int32_t opened = InitCommPort();
               const auto root = carvex::DeviceRoot::FromEnvironment();
               if (opened != 0) {
                   port_ = carvex::FindDiagPort(root);
                   trouble_.clear();
               } else {
                   port_.reset();
                   trouble_ = carvex::ExplainUnopenableCard(root).brief;
               }
               return opened;
           }) != 0;
}

bool LibraryCard::Gone() {
    if (!port_) {
        return false;
    }
    return run_([this] {
               if (!carvex::PortGone(carvex::DeviceRoot::FromEnvironment(), *port_)) {
                   return 0;
               }
               trouble_ = carvex::ComName(*port_) + " is gone";
               return 1;
           }) != 0;
}

std::string LibraryCard::PortName() const {
    return port_ ? carvex::ComName(*port_) : std::string();
}

void LibraryCard::Close() {
    run_([] { return CloseCommPort(); });
}

bool LibraryCard::NewVersionMark(int32_t& status) {
    return run_([&] { return IsNewVersion(&status); }) != 0;
}

std::optional<std::string> LibraryCard::BoardType() {
    TextBuffer buffer{};
    if (run_([&] { return GetBoardType(buffer.data()); }) == 0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

bool LibraryCard::ReadImei(std::span<uint8_t> bytes, int32_t& status) {
    return run_([&] {
               return GetIMEI(bytes.data(), static_cast<int32_t>(bytes.size()), &status);
           }) != 0;
}

std::optional<std::string> LibraryCard::FirmwareVersion(int32_t& status) {
    TextBuffer buffer{};
    if (run_([&] { return GetFirmwareVersion(buffer.data(), CARVEX_NV_DATA_SIZE, &status); }) ==
        0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

std::optional<std::string> LibraryCard::PcbVersion(int32_t& status) {
    TextBuffer buffer{};
    if (run_([&] { return GetPCBVersion(buffer.data(), CARVEX_NV_DATA_SIZE, &status); }) == 0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

std::optional<std::string> LibraryCard::DashboardVersion(int32_t& status) {
    TextBuffer buffer{};
    if (run_([&] { return GetDashboardVersion(buffer.data(), CARVEX_NV_DATA_SIZE, &status); }) ==
        0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

bool LibraryCard::ReadNv(int32_t item, NvData& data, int32_t& status) {
    return run_([&] { return ReadNvItem(item, data.data(), CARVEX_NV_DATA_SIZE, &status); }) != 0;
}

bool LibraryCard::WriteNv(int32_t item, const NvData& data) {
    return run_([&] { return CarvexItem(item, data.data(), CARVEX_NV_DATA_SIZE); }) != 0;
}

bool LibraryCard::ReadPortSetting(DeviceState& setting, int32_t& status) {
    return run_([&] { return GetPnPState(&setting.state, &setting.mask, &status); }) != 0;
}

bool LibraryCard::WritePortSetting(const DeviceState& setting, int32_t& status) {
    return run_([&] { return SetPnPState(setting.state, setting.mask, &status); }) != 0;
}

bool LibraryCard::Backup(int32_t& status) {
    return run_([&] { return BackupNVItems(&status); }) != 0;
}

bool LibraryCard::Restart() {
    return run_([] { return ResetDsahboard(); }) != 0;
}

}  // namespace cardwright
