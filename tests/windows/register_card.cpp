// register_card: makes a card's devices known to a Wine prefix as the card's driver makes them
// known to Windows: Ports and Modem class devices with the driver's friendly names (setup API)
// and the modem's class key with FriendlyName and AttachedTo.
//
//   register_card port NAME [port NAME ...] [modem NAME COMn]
#include <windows.h>
// after windows.h
#include <setupapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "carvex/platform/device_root.h"
#include "carvex/platform/win32_text.h"

namespace {

constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kModemClass = {
    0x4D36E96D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

bool Fail(const char* step) {
    std::fprintf(stderr, "register_card: %s failed (error %lu)\n", step, ::GetLastError());
    return false;
}

// One present device of the class, named as the driver names it.
bool RegisterDevice(const GUID& device_class, const wchar_t* device_name,
                    const std::string& friendly_name) {
    HDEVINFO list = ::SetupDiCreateDeviceInfoList(&device_class, nullptr);
    if (list == INVALID_HANDLE_VALUE) {
        return Fail("SetupDiCreateDeviceInfoList");
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const std::wstring name = carvex::Widen(friendly_name);
    bool ok = ::SetupDiCreateDeviceInfoW(list, device_name, &device_class, nullptr, nullptr,
                                         DICD_GENERATE_ID, &device) ||
              Fail("SetupDiCreateDeviceInfo");
    ok = ok && (::SetupDiSetDeviceRegistryPropertyW(
                    list, &device, SPDRP_FRIENDLYNAME, reinterpret_cast<const BYTE*>(name.c_str()),
                    static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t))) ||
                Fail("SetupDiSetDeviceRegistryProperty"));
    ok = ok && (::SetupDiRegisterDeviceInfo(list, &device, 0, nullptr, nullptr, nullptr) ||
                Fail("SetupDiRegisterDeviceInfo"));
    ::SetupDiDestroyDeviceInfoList(list);
    return ok;
}

bool SetString(HKEY key, const wchar_t* name, const std::string& value) {
    const std::wstring text = carvex::Widen(value);
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

// The modem's class key: the first free "0000", "0001", ... under the modem class.
bool RegisterModemKey(const std::string& friendly_name, const std::string& attached_to) {
    for (int index = 0; index < 10000; ++index) {
        char subkey[8];
        std::snprintf(subkey, sizeof subkey, "%04d", index);
        const std::wstring path =
            carvex::Widen(std::string(carvex::kModemClassKey) + "\\" + subkey);
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition) != ERROR_SUCCESS) {
            return Fail("RegCreateKeyEx");
        }
        if (disposition != REG_CREATED_NEW_KEY) {
            ::RegCloseKey(key);
            continue;
        }
        const bool ok = SetString(key, L"FriendlyName", friendly_name) &&
                        SetString(key, L"AttachedTo", attached_to);
        ::RegCloseKey(key);
        return ok || Fail("RegSetValueEx");
    }
    return Fail("finding a free modem class key");
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        bool ok = false;
        if (args[i] == "port" && i + 1 < args.size()) {
            ok = RegisterDevice(kPortsClass, L"CARDSIM_PORT", args[i + 1]);
            i += 1;
        } else if (args[i] == "modem" && i + 2 < args.size()) {
            ok = RegisterDevice(kModemClass, L"CARDSIM_MODEM", args[i + 1]) &&
                 RegisterModemKey(args[i + 1], args[i + 2]);
            i += 2;
        } else {
            std::fprintf(stderr,
                         "usage: register_card port NAME [port NAME ...] [modem NAME COMn]\n");
            return 2;
        }
        if (!ok) {
            return 1;
        }
    }
    return 0;
}
