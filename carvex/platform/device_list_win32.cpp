#include <windows.h>
// after windows.h
#include <setupapi.h>

#include <array>

#include "carvex/platform/device_list.h"
#include "carvex/platform/setup_api_rules.h"
#include "carvex/platform/win32_text.h"

namespace carvex {

namespace {

constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kModemClass = {
    0x4D36E96D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Room for a friendly name of 1023 characters and its terminating zero.
constexpr size_t kNameBuffer = 1024;

std::shared_ptr<void> PresentDevices(DeviceClass device_class) {
    const GUID& guid = device_class == DeviceClass::kPorts ? kPortsClass : kModemClass;
    HDEVINFO list = ::SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT);
    if (list == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::shared_ptr<void>(list, [](void* l) { ::SetupDiDestroyDeviceInfoList(l); });
}

}  // namespace

DeviceList::DeviceList(const DeviceRoot& /*root*/, DeviceClass device_class)
    : list_(PresentDevices(device_class)), device_class_(device_class) {}

DeviceList::Entry DeviceList::Enumerate(int index) const {
    // Without a device list there is nothing to enumerate, and no index would ever end it.
    if (!list_ || index < 0) {
        return Entry::kNoMoreItems;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (::SetupDiEnumDeviceInfo(list_.get(), static_cast<DWORD>(index), &device)) {
        return Entry::kPresent;
    }
    // An index that fails otherwise is a device whose name cannot be read: FriendlyName fails
    // for it too, and the enumeration goes on behind it.
    return AfterFailedEnumeration(device_class_, ::GetLastError()) == FailedEnumeration::kEnds
               ? Entry::kNoMoreItems
               : Entry::kPresent;
}

std::optional<std::string> DeviceList::FriendlyName(int index) const {
    if (!list_ || index < 0) {
        return std::nullopt;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!::SetupDiEnumDeviceInfo(list_.get(), static_cast<DWORD>(index), &device)) {
        return std::nullopt;
    }
    std::array<wchar_t, kNameBuffer> name{};
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(
            list_.get(), &device, SPDRP_FRIENDLYNAME, &type, reinterpret_cast<BYTE*>(name.data()),
            static_cast<DWORD>((name.size() - 1) * sizeof(wchar_t)), nullptr)) {
        return std::nullopt;
    }
    return Narrow(std::wstring_view(name.data()));
}

}  // namespace carvex
