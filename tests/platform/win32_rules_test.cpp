// The Windows rules that are plain code over error numbers and names: which port error code a
// Windows error becomes, how a failed device enumeration goes on, and how a COM port is named.
#include <gtest/gtest.h>

#include "carvex/platform/device_root.h"
#include "carvex/platform/serial_device.h"
#include "carvex/platform/setup_api_rules.h"
#include "carvex/platform/win32_port_error.h"

namespace carvex {
namespace {

struct ErrorCase {
    PortOpenStep step;
    uint32_t win32_error;
    int32_t code;
    std::string_view reason;
};

TEST(Win32PortError, EachStepAndErrorGivesItsCodeAndReason) {
    const ErrorCase cases[] = {
        // A port another program holds: the open without sharing is refused.
        {PortOpenStep::kOpen, 5, kPortCannotOpen, "another program has it open"},
        {PortOpenStep::kOpen, 32, kPortCannotOpen, "another program has it open"},
        {PortOpenStep::kOpen, 2, kPortCannotOpen, "there is no such port"},
        {PortOpenStep::kOpen, 3, kPortCannotOpen, "there is no such port"},
        {PortOpenStep::kOpen, 123, kPortCannotOpen, "there is no such port"},
        {PortOpenStep::kOpen, 21, kPortCannotOpen, "the device is not connected"},
        {PortOpenStep::kOpen, 31, kPortCannotOpen, "the device is not connected"},
        {PortOpenStep::kOpen, 433, kPortCannotOpen, "the device is not connected"},
        {PortOpenStep::kOpen, 1167, kPortCannotOpen, "the device is not connected"},
        {PortOpenStep::kOpen, 87, kPortCannotOpen, "it cannot be opened"},
        {PortOpenStep::kReadSettings, 31, kPortSettingsUnreadable,
         "its line settings cannot be read"},
        {PortOpenStep::kReadSettings, 5, kPortSettingsUnreadable,
         "its line settings cannot be read"},
        {PortOpenStep::kApplySettings, 87, kPortSettingsRejected,
         "it does not take the line settings"},
    };
    for (const ErrorCase& c : cases) {
        const Win32PortFailure failure = PortFailureFor(c.step, c.win32_error);
        EXPECT_EQ(failure.code, c.code) << "error " << c.win32_error;
        EXPECT_EQ(failure.reason, c.reason) << "error " << c.win32_error;
    }
}

struct EnumerationCase {
    DeviceClass device_class;
    uint32_t last_error;
    FailedEnumeration expected;
};

TEST(SetupApiRules, AFailedEnumerationEndsOnlyOnItsErrors) {
    const EnumerationCase cases[] = {
        {DeviceClass::kPorts, 259, FailedEnumeration::kEnds},  // no more items
        {DeviceClass::kPorts, 0, FailedEnumeration::kEnds},
        {DeviceClass::kModem, 259, FailedEnumeration::kEnds},
        {DeviceClass::kModem, 0, FailedEnumeration::kEnds},
        // 103 ends the modem search only.
        {DeviceClass::kModem, 103, FailedEnumeration::kEnds},
        {DeviceClass::kPorts, 103, FailedEnumeration::kSkipsIndex},
        {DeviceClass::kPorts, 13, FailedEnumeration::kSkipsIndex},
        {DeviceClass::kPorts, 5, FailedEnumeration::kSkipsIndex},
        {DeviceClass::kModem, 5, FailedEnumeration::kSkipsIndex},
        {DeviceClass::kModem, 258, FailedEnumeration::kSkipsIndex},
    };
    for (const EnumerationCase& c : cases) {
        EXPECT_EQ(AfterFailedEnumeration(c.device_class, c.last_error), c.expected)
            << (c.device_class == DeviceClass::kPorts ? "Ports" : "Modem") << ", error "
            << c.last_error;
    }
}

TEST(ComPortName, OnlyComWithDigitsNamesAPort) {
    EXPECT_EQ(ComPortName("\\\\.\\COM12"), "COM12");
    EXPECT_EQ(ComPortName("COM7"), "COM7");
    EXPECT_EQ(ComPortName(ComDevicePath(256)), "COM256");
    for (const char* name : {"COM", "\\\\.\\COM", "COM1a", "\\\\.\\COM1\\..", "LPT1", "com3", "",
                             "\\\\.\\PIPE\\COM1", "COM-1"}) {
        EXPECT_EQ(ComPortName(name), std::nullopt) << name;
    }
}

}  // namespace
}  // namespace carvex
