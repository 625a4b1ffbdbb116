#include "app/library_card.h"

#include <array>
#include <cstring>

#include "app/carvex_api.h"
#include "app/library_worker.h"
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
    return worker_.Run([this] {
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
    return worker_.Run([this] {
        if (!carvex::PortGone(carvex::DeviceRoot::FromEnvironment(), *port_)) {
            return 0;
        }
        trouble_ = carvex::ComName(*port_) + " is gone";
        return 1;
    }) != 0;
}

void LibraryCard::Close() {
    worker_.Run([] { return CloseCommPort(); });
}

bool LibraryCard::NewVersionMark(int32_t& status) {
    return worker_.Run([&] { return IsNewVersion(&status); }) != 0;
}

std::optional<std::string> LibraryCard::BoardType() {
    TextBuffer buffer{};
    if (worker_.Run([&] { return GetBoardType(buffer.data()); }) == 0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

bool LibraryCard::ReadImei(std::span<uint8_t> bytes, int32_t& status) {
    return worker_.Run([&] {
        return GetIMEI(bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    }) != 0;
}

std::optional<std::string> LibraryCard::FirmwareVersion(int32_t& status) {
    TextBuffer buffer{};
    if (worker_.Run(
            [&] { return GetFirmwareVersion(buffer.data(), CARVEX_NV_DATA_SIZE, &status); }) == 0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

std::optional<std::string> LibraryCard::PcbVersion(int32_t& status) {
    TextBuffer buffer{};
    if (worker_.Run([&] { return GetPCBVersion(buffer.data(), CARVEX_NV_DATA_SIZE, &status); }) ==
        0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

std::optional<std::string> LibraryCard::DashboardVersion(int32_t& status) {
    TextBuffer buffer{};
    if (worker_.Run([&] {
            return GetDashboardVersion(buffer.data(), CARVEX_NV_DATA_SIZE, &status);
        }) == 0) {
        return std::nullopt;
    }
    return TextIn(buffer);
}

bool LibraryCard::ReadNv(int32_t item, NvData& data, int32_t& status) {
    return worker_.Run(
               [&] { return ReadNvItem(item, data.data(), CARVEX_NV_DATA_SIZE, &status); }) != 0;
}

bool LibraryCard::WriteNv(int32_t item, const NvData& data) {
    return worker_.Run([&] { return CarvexItem(item, data.data(), CARVEX_NV_DATA_SIZE); }) != 0;
}

bool LibraryCard::ReadPortSetting(DeviceState& setting, int32_t& status) {
    return worker_.Run([&] { return GetPnPState(&setting.state, &setting.mask, &status); }) != 0;
}

bool LibraryCard::WritePortSetting(const DeviceState& setting, int32_t& status) {
    return worker_.Run([&] { return SetPnPState(setting.state, setting.mask, &status); }) != 0;
}

bool LibraryCard::Backup(int32_t& status) {
    return worker_.Run([&] { return BackupNVItems(&status); }) != 0;
}

bool LibraryCard::Restart() {
    return worker_.Run([] { return ResetDsahboard(); }) != 0;
}

}  // namespace cardwright
