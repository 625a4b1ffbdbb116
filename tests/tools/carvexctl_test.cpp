#include <gtest/gtest.h>

#include <fstream>

#include "cardwork/model/setting_file.h"
#include "carvex/platform/whole_file.h"
#include "tests/support/card_fixture.h"
#include "tests/support/run_program.h"

namespace {

using testsupport::RunProgram;

// carvexctl as a technician runs it, against a simulated card.
class CarvexctlTest : public ::testing::Test {
  protected:
    testsupport::ProgramResult Run(const std::vector<std::string>& args) {
        return RunProgram(CARVEXCTL, args, {"CARVEX_ROOT=" + card_.card->Root().Path().string()});
    }

    // The example card, with item 6907 not active for the words about such an item.
    static cardsim::CardProfile Profile() {
        auto profile = testsupport::ExampleProfile();
        profile.inactive.insert(6907);
        return profile;
    }

    testsupport::CardUnderTest card_{Profile()};
};

TEST_F(CarvexctlTest, InfoShowsIdentityVersionsAndPortSetting) {
    const auto r = Run({"info"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    for (const char* line :
         {"IMEI:              356789012345672\n", "Firmware version:  31.742.06.19.208\n",
          "Hardware version:  LWX4201-MBR3-QK7A Ver.C\n",
          "Dashboard version: LWDS31.742.06.19.208\n", "Board type:        LW-X4201\n",
          "New version:       no\n", "Port setting:      state 1, port mask 0x1F\n"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
    }
    EXPECT_NE(r.err.find("switching it to DIAG"), std::string::npos) << "progress goes to stderr";
}

TEST_F(CarvexctlTest, NvWriteThenReadAsHexAndRaw) {
    auto r = Run({"nv", "write", "50030", "12 34 7e"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(card_.card->Nv(50030).value()[2], 0x7E);
    r = Run({"nv", "read", "50030"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 20), "0000  12 34 7e 00 00");
    r = Run({"nv", "read", "50030", "--raw"});
    ASSERT_EQ(r.out.size(), 128u);
    EXPECT_EQ(r.out.substr(0, 3), "\x12\x34\x7e");
}

TEST_F(CarvexctlTest, ErrorsAreSaidInWords) {
    auto r = Run({"nv", "read", "6907"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("item 6907 is not active on the card (NV status 5)"), std::string::npos)
        << r.err;
    r = Run({"nv", "write", "6907", "01"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("item 6907 was not written: item 6907 is not active"), std::string::npos)
        << r.err;
}

TEST_F(CarvexctlTest, BackupPortSettingAndReset) {
    auto r = Run({"pnp", "set", "3", "7"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(card_.card->PortSetting(), std::make_pair(uint8_t{3}, uint8_t{7}));
    r = Run({"pnp", "get"});
    EXPECT_EQ(r.out, "state 3, port mask 0x07\n");
    r = Run({"backup"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "NV items backed up\n");
    r = Run({"reset"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(card_.card->Resets(), 1);
}

TEST_F(CarvexctlTest, CrcOfAFileNeedsNoCard) {
    testsupport::TempDir dir;
    const auto file = dir.Path() / "digits.txt";
    std::ofstream(file) << "123456789";
    const auto r = RunProgram(CARVEXCTL, {"crc", file.string()});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "10673 (0x29B1)\n");
}

// A setting file as an export writes it, checked without a card: good, edited by hand, resealed
// after an edit that no import can decode.
TEST(CarvexctlVerify, TellsWhetherTheSealHoldsAndWhetherEveryValueDecodes) {
    testsupport::TempDir dir;
    const std::string file = (dir.Path() / "settings.ini").string();
    const std::string description = std::string(CARDWRIGHT_EXAMPLES_DIR) + "/Config_Info.ini";
    const auto seal = [&](bool new_version, const std::string& network_mode) {
        const auto written = cardwright::WriteSettingFile(
            file, {"CARD-A", new_version, {{"NETWORK_MODE", network_mode}, {"ACQ_ORDER", "1"}}});
        EXPECT_TRUE(written.Ok()) << written.error;
        return written.crc;
    };
    const auto verify = [&](bool with_description) {
        std::vector<std::string> args = {"verify", file};
        if (with_description) {
            args.insert(args.end(), {"--description", description});
        }
        return RunProgram(CARVEXCTL, args);
    };

    const uint16_t crc = seal(false, "13");
    auto r = verify(true);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    // Then what a write of it would send at the defaults: the items of the pages it names no
    // value for.
    EXPECT_TRUE(r.out.starts_with("Card type: CARD-A\nThe seal holds (CRC " + std::to_string(crc) +
                                  ", file without a version).\nEvery value decodes against " +
                                  description +
                                  " (2 item values).\n20 items are left to their defaults: "
                                  "Band profile, Roaming, "))
        << r.out;
    EXPECT_EQ(r.out.find("Network mode"), std::string::npos) << "named in the file";

    // Edited by hand: the seal breaks.
    std::string text = carvex::ReadWholeFile(file).content;
    text.replace(text.find("ACQ_ORDER=1"), 11, "ACQ_ORDER=2");
    std::ofstream(file, std::ios::binary) << text;
    r = verify(false);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("The seal does not hold: the file says CRC " + std::to_string(crc) +
                         ", its values give "),
              std::string::npos)
        << r.out;

    // Resealed around a value that is no number: the seal holds, the value does not decode.
    seal(true, "thirteen");
    r = verify(false);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find(", new-version file)."), std::string::npos) << r.out;
    r = verify(true);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("A value does not decode against " + description +
                         ": Value of NETWORK_MODE \"thirteen\" is not a decimal integer..."),
              std::string::npos)
        << r.out;

    r = RunProgram(CARVEXCTL, {"verify", (dir.Path() / "none.ini").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("none.ini does not exist"), std::string::npos) << r.err;
}

// A command line that is wrong in any way ends with 2 (and asks no card anything); asking for
// help or the version ends with 0.
TEST(CarvexctlNoCard, EveryBadArgumentEndsWithStatusTwo) {
    testsupport::TempDir empty_root;
    const std::string root = "CARVEX_ROOT=" + empty_root.Path().string();
    const struct {
        std::vector<std::string> args;
        const char* why;
    } cases[] = {
        {{}, "A subcommand is required"},
        {{"bogus"}, "A subcommand is required"},
        {{"info", "--bogus"}, "--bogus"},
        {{"nv", "read"}, "ITEM is required"},
        {{"nv", "read", "abc"}, "abc"},
        {{"nv", "read", "70000"}, "70000"},
        {{"nv", "write", "10", "0g"}, "not a hex digit: 'g'"},
        {{"nv", "write", "10", "123"}, "an odd number of digits"},
        {{"pnp", "set", "1", "300"}, "300"},
        {{"backup", "--port", "COM1x"}, "COM1x"},
        {{"verify"}, "SETTINGS is required"},
    };
    for (const auto& c : cases) {
        const auto r = RunProgram(CARVEXCTL, c.args, {root});
        const std::string line = c.args.empty() ? "(nothing)" : c.args.front();
        EXPECT_EQ(r.exit_code, 2) << line << "\n" << r.err;
        EXPECT_NE(r.err.find(c.why), std::string::npos) << line << "\n" << r.err;
    }
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"--version"}, {"nv", "read", "--help"}, {"apply", "--help"}}) {
        EXPECT_EQ(RunProgram(CARVEXCTL, args, {root}).exit_code, 0) << args.front();
    }
}

TEST(CarvexctlNoCard, SaysThatNoCardWasFound) {
    testsupport::TempDir empty_root;
    const auto r = RunProgram(CARVEXCTL, {"info"}, {"CARVEX_ROOT=" + empty_root.Path().string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("no card found: no PC UI interface among the serial ports"),
              std::string::npos)
        << r.err;
    const auto help = RunProgram(CARVEXCTL, {"nv", "write", "--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("HEX"), std::string::npos);
}

}  // namespace
