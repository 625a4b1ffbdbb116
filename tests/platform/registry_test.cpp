#include <gtest/gtest.h>

#include "carvex/platform/device_publisher.h"
#include "carvex/platform/registry.h"
#include "tests/support/temp_dir.h"

namespace carvex {
namespace {

class RegistryTest : public ::testing::Test {
  protected:
    RegistryTest() : publisher_(DeviceRoot(dir_.Path())) {}

    std::string Subkey(const char* name) { return std::string(kModemClassKey) + "\\" + name; }

    testsupport::TempDir dir_;
    DevicePublisher publisher_;
};

TEST_F(RegistryTest, KeysOpenWithoutRegardToCaseAndEnumerateInByteOrder) {
    publisher_.SetRegistryValue(Subkey("0001"), "FriendlyName", "Second");
    publisher_.SetRegistryValue(Subkey("0000"), "FriendlyName", "First");
    publisher_.SetRegistryValue(Subkey("0000"), "AttachedTo", "COM13");

    const auto key = RegistryKey::OpenLocalMachine(
        publisher_.Root(),
        "SYSTEM\\currentcontrolset\\Control\\Class\\{4d36e96d-e325-11ce-bfc1-08002be10318}");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->SubkeyNames(), (std::vector<std::string>{"0000", "0001"}));

    const auto first = RegistryKey::OpenLocalMachine(publisher_.Root(), Subkey("0000"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->ValueNames(), (std::vector<std::string>{"AttachedTo", "FriendlyName"}));
    EXPECT_EQ(first->ReadString("FriendlyName"), "First");
    EXPECT_EQ(first->ReadString("AttachedTo"), "COM13");
    EXPECT_EQ(first->ReadString("Missing"), std::nullopt);
    EXPECT_TRUE(first->SubkeyNames().empty());
}

TEST_F(RegistryTest, MissingAndRefusedKeysDoNotOpen) {
    EXPECT_FALSE(RegistryKey::OpenLocalMachine(publisher_.Root(), kModemClassKey));
    publisher_.SetRegistryValue(Subkey("0000"), "FriendlyName", "x");
    publisher_.DenyRegistryKey(Subkey("0000"));
    EXPECT_FALSE(RegistryKey::OpenLocalMachine(publisher_.Root(), Subkey("0000")));
    const auto parent = RegistryKey::OpenLocalMachine(publisher_.Root(), kModemClassKey);
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent->SubkeyNames(), std::vector<std::string>{"0000"});
}

TEST_F(RegistryTest, MarkerFilesAreNotValues) {
    publisher_.SetRegistryValue(Subkey("0000"), "FriendlyName", "x");
    const auto key = RegistryKey::OpenLocalMachine(publisher_.Root(), Subkey("0000"));
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ValueNames(), std::vector<std::string>{"FriendlyName"});
}

}  // namespace
}  // namespace carvex
