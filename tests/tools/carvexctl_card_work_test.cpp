// carvexctl read and write against a simulated card, as a technician runs them.
#include <gtest/gtest.h>

#include <sstream>

#include "cardwork/model/config_item.h"
#include "cardwork/model/setting_crc.h"
#include "cardwork/model/stored_values.h"
#include "tests/support/card_fixture.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"
#include "tests/support/test_data.h"

namespace {

using cardsim::Command;
using testsupport::RunProgram;

using testsupport::kDescription;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CarvexctlCardWorkTest : public ::testing::Test {
  protected:
    testsupport::ProgramResult Run(const std::vector<std::string>& args) {
        return RunProgram(CARVEXCTL, args, {"CARVEX_ROOT=" + card_.card->Root().Path().string()});
    }

    // A setting file sealed as an export seals it.
    std::string SettingFile(const std::string& name, const std::string& values,
                            const std::string& card_type = "LW-X4201") {
        const auto path = dir_.Path() / name;
        testsupport::Put(
            path, "[DATACARD_TYPE]\r\nVALUE=" + card_type + "\r\n[DEFAULT]\r\n" + values +
                      "[CRC]\r\nVALUE=" + std::to_string(cardwright::SettingCrc(values)) + "\r\n");
        return path.string();
    }

    testsupport::TempDir dir_;
    testsupport::CardUnderTest card_{testsupport::TestProfile()};
};

TEST_F(CarvexctlCardWorkTest, ReadShowsTheCardAndStoresItAsASolution) {
    const auto values = dir_.Path() / "config_value.ini";
    std::filesystem::copy_file(testsupport::kTestData / "config_value.ini", values);
    const auto r = Run({"read", "--description", kDescription, "--values-out", values.string(),
                        "--section", "Card"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "IMEI:                356789012345678\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "CardType             LW-X4201\n")) << r.out;
    EXPECT_TRUE(Has(r.err, "  Init port succeed...\n")) << "the log goes to standard error";
    EXPECT_TRUE(Has(r.err, "  Read from datacard succeed...\n")) << r.err;
    for (const char* row : {"Low byte:   ", "Band:   ", "America", "(#60010#60011#60012)",
                            "port setting", "item 60060 is not active on the card (NV status 5)"}) {
        EXPECT_TRUE(Has(r.out, row)) << row << "\n" << r.out;
    }

    // The window loads the solution to what the card holds; the other solutions stay.
    const cardwright::IniFile file(values);
    EXPECT_EQ(file.ReadString("MAIN", "current", ""), "DEFAULT");
    EXPECT_EQ(file.ReadString("Bench", "B_LOW", ""), "9");
    EXPECT_EQ(file.ReadString("Card", "LED_STATUS1", ""),
              "2,5|1,5|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|");
    const cardwright::IniFile description(kDescription);
    const auto items = cardwright::ReadConfigItems(description).value();
    const auto loaded = cardwright::DecodeItemValues(
        items, [](const cardwright::TConfigItem&) { return true; }, file, "Card");
    ASSERT_TRUE(loaded.Ok()) << loaded.error;
    std::map<std::string, std::string> shown;
    for (const auto& value : loaded.values) {
        shown[value.item] = value.text;
    }
    EXPECT_EQ(shown["B_LOW"], "7");
    EXPECT_EQ(shown["BAND"], "America");
    EXPECT_EQ(shown["DEVICE_STATE_INFO"], "Debug");
    EXPECT_EQ(shown["PORT_Y"], "On");
    EXPECT_EQ(shown.count("INACTIVE"), 0u) << "an item the card lacks is not stored";
}

// Columns as a terminal draws them: every character of three UTF-8 bytes in these texts is a CJK
// character, two columns wide.
size_t Columns(const std::string& text) {
    size_t columns = 0;
    for (size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        columns += length == 3 ? 2 : 1;
        at += length;
    }
    return columns;
}

// The items listed are those the window shows for this card (not VISIBLE 0, not hidden for its
// card type), their columns aligned whatever the width of their characters.
TEST_F(CarvexctlCardWorkTest, ReadListsWhatTheWindowShowsInAlignedColumns) {
    std::string text = testsupport::Contents(testsupport::kTestData / "Config_Info.ini");
    text.replace(text.find("DISPLAY=Acquisition order"), 25, "DISPLAY=\xE6\x90\x9C\xE7\xBD\x91");
    text.replace(text.find("RANGE=Automatic,GSM first,WCDMA first"), 37,
                 "RANGE=\xE8\x87\xAA\xE5\x8A\xA8,GSM\xE4\xBC\x98\xE5\x85\x88,"
                 "WCDMA\xE4\xBC\x98\xE5\x85\x88");
    text.replace(text.find("[MODE]\n"), 7, "[MODE]\nSCARDTYPE_ITEM=0\n");
    text += "\n[SCARDTYPE]\nSCARDTYPE_LIST=LW-X4201\n";
    const auto description = dir_.Path() / "Config_Info.ini";
    testsupport::Put(description, text);

    const auto r = Run({"read", "--description", description.string()});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string wcdma_first = "WCDMA\xE4\xBC\x98\xE5\x85\x88";
    EXPECT_TRUE(Has(r.out, wcdma_first)) << r.out;
    EXPECT_FALSE(Has(r.out, "Hidden bit")) << "VISIBLE 0";
    EXPECT_FALSE(Has(r.out, "Mode")) << "hidden for this card type";
    EXPECT_TRUE(Has(r.out, "(2 items read but not shown: the window hides them for this card)"))
        << r.out;

    // Where the NV item column starts, on the heading and on the rows of either script.
    std::vector<size_t> starts;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        for (const char* column : {"NV item", "60000", "60041"}) {
            if (const size_t at = line.find(std::string("  ") + column); at != std::string::npos) {
                starts.push_back(Columns(line.substr(0, at)));
            }
        }
    }
    ASSERT_GE(starts.size(), 4u) << r.out;
    EXPECT_EQ(std::count(starts.begin(), starts.end(), starts.front()),
              static_cast<std::ptrdiff_t>(starts.size()))
        << r.out;
}

// A file that would not load, or whose values would not pass the check before writing, is
// refused before the card is opened.
TEST_F(CarvexctlCardWorkTest, WriteRefusesABadFileBeforeTouchingTheCard) {
    const std::string values = "B_LOW=9\r\nMODE=2\r\n";
    const std::string broken_seal = SettingFile("broken.ini", values);
    std::string text = testsupport::Contents(broken_seal);
    testsupport::Put(broken_seal, text.replace(text.find("B_LOW=9"), 7, "B_LOW=8"));
    const struct {
        std::string file;
        const char* why;
    } cases[] = {
        {broken_seal, "its CRC does not match its values"},
        {SettingFile("no-number.ini", "B_LOW=9\r\nBAND=1|x|7\r\n"),
         "Value of BAND \"1|x|7\" is not a decimal integer..."},
        {SettingFile("too-big.ini", "B_LOW=300\r\n"), "Low byte:  is not valid..."},
        {SettingFile("led.ini", "LED_STATUS1=2,500|\r\n"), "time 500 cannot be kept by the card"},
        {(dir_.Path() / "missing.ini").string(), "it has no [DEFAULT] section"},
    };
    card_.card->ClearRequests();
    for (const auto& c : cases) {
        const auto r = Run({"write", c.file, "--description", kDescription});
        EXPECT_EQ(r.exit_code, 2) << c.file << "\n" << r.err;
        EXPECT_TRUE(Has(r.err, c.why)) << c.file << "\n" << r.err;
    }
    EXPECT_TRUE(card_.card->Requests().empty()) << "no card was touched";
}

TEST_F(CarvexctlCardWorkTest, WriteWithoutRestartLogsToAFile) {
    const auto log = dir_.Path() / "write.log";
    const auto r = Run({"write", SettingFile("set.ini", "B_LOW=9\r\nMODE=2\r\n"), "--description",
                        kDescription, "--no-restart", "--log", log.string()});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_TRUE(Has(r.out, "backed up, not restarted")) << r.out;
    EXPECT_EQ(card_.card->Nv(60000)->at(0), 9);
    EXPECT_EQ(card_.card->Nv(60040)->at(0), 2);
    EXPECT_EQ(testsupport::RequestsOf(*card_.card, Command::kBackup).size(), 1u);
    EXPECT_EQ(testsupport::RequestsOf(*card_.card, Command::kReset).size(), 0u);
    const std::string written = testsupport::Contents(log);
    for (const char* line :
         {"  Read from datacard succeed...\n", "  import file finished...\n",
          "  Data valid check OK...\n", "  Close port...\n", "  Write to datacard succeed...\n"}) {
        EXPECT_TRUE(Has(written, line)) << line;
    }
    EXPECT_FALSE(Has(written, "Restarting datacard..."));
}

TEST_F(CarvexctlCardWorkTest, WriteRefusesAnotherCardType) {
    const auto r = Run({"write", SettingFile("other.ini", "B_LOW=9\r\n", "LW-X4207"),
                        "--description", kDescription});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(Has(r.err, "is for the card type \"LW-X4207\", the card is a \"LW-X4201\""))
        << r.err;
    EXPECT_TRUE(testsupport::NvItemsOf(*card_.card).empty());
}

// A card unplugged at the first NV read: read and write say it went away, naming its port,
// and blame neither the description nor the card type.
TEST_F(CarvexctlCardWorkTest, ACardUnpluggedDuringTheReadIsToldAsGone) {
    const std::string settings = SettingFile("s.ini", "B_LOW=9\r\nMODE=2\r\n");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"read", "--description", kDescription},
             {"write", settings, "--description", kDescription},
         }) {
        testsupport::CardUnderTest card(testsupport::TestProfile());
        card.card->SetFault(Command::kNvRead, cardsim::Fault::Make(cardsim::Fault::Kind::kVanish));
        const auto r =
            RunProgram(CARVEXCTL, args, {"CARVEX_ROOT=" + card.card->Root().Path().string()});
        EXPECT_EQ(r.exit_code, 1) << args[0];
        EXPECT_TRUE(Has(r.err, "COM" + std::to_string(card.card->PcUiPort()) +
                                   " is gone: the card was unplugged or is restarting"))
            << r.err;
        EXPECT_TRUE(Has(r.err, "The datacard is gone")) << r.err;
        EXPECT_FALSE(Has(r.err, "description cannot be used")) << r.err;
        EXPECT_FALSE(Has(r.err, "card type")) << r.err;
    }
}

TEST(CarvexctlCardWork, BadArgumentsEndWithStatusTwo) {
    testsupport::TempDir empty_root;
    const std::string root = "CARVEX_ROOT=" + empty_root.Path().string();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"read"},
             {"write", "--description", kDescription},
             {"read", "--description", kDescription, "--port", "COMx"},
             {"read", "--description", kDescription, "--values-out", "x.ini"},
             {"read", "--description", kDescription, "--values-out", "x.ini", "--section",
              "default"},
             {"read", "--description", (empty_root.Path() / "none.ini").string()},
         }) {
        const auto r = RunProgram(CARVEXCTL, args, {root});
        EXPECT_EQ(r.exit_code, 2) << args.back() << "\n" << r.err;
    }
    const auto r = RunProgram(CARVEXCTL, {"read", "--description", kDescription}, {root});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(Has(r.err, "no card found: no PC UI interface among the serial ports")) << r.err;
    EXPECT_TRUE(Has(r.err, "  Init port failed\n")) << r.err;
}

// Export command lines that cannot make the file the user asked for end with 2, touching no card
// and leaving no file.
TEST_F(CarvexctlCardWorkTest, ExportRefusalsEndWithStatusTwo) {
    const auto folder = dir_.Path() / "config";
    std::filesystem::create_directory(folder);
    for (const char* file : {"Config_Info.ini", "config_value.ini"}) {
        std::filesystem::copy_file(testsupport::kTestData / file, folder / file);
    }
    const std::string values = (folder / "config_value.ini").string();
    const std::string out = (dir_.Path() / "out.ini").string();
    const std::vector<std::string> solution = {"--values", values,        "--section",
                                               "Bench",    "--card-type", "LW-X4201"};
    const auto with = [&](std::vector<std::string> args, const std::vector<std::string>& more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const struct {
        std::vector<std::string> args;
        const char* why;
    } cases[] = {
        {{"export", out}, "export needs what to export"},
        {{"export", out, "--values", values, "--section", "Bench"}, "--card-type"},
        {with({"export", out, "--from-card"}, solution), "excludes"},
        {{"export", out, "--from-card"}, "--from-card needs --description"},
        {with({"export", out, "--port", "COM12"}, solution), "a solution needs none"},
        {with({"export", out, "--new-version", "maybe"}, solution), "--new-version"},
        {{"export", out, "--values", values, "--section", "default", "--card-type", "LW-X4201"},
         "DEFAULT stands for the card"},
        {{"export", out, "--values", values, "--section", "Gone", "--card-type", "LW-X4201"},
         "holds no solution [Gone]"},
        {with({"export", values}, solution), "the program's own config_value.ini"},
        {with({"export", (folder / "Config_Info").string()}, solution),
         "the program's own Config_Info.ini"},
    };
    const std::string values_before = testsupport::Contents(values);
    for (const auto& c : cases) {
        const auto r = Run(c.args);
        EXPECT_EQ(r.exit_code, 2) << c.why << "\n" << r.err;
        EXPECT_TRUE(Has(r.err, c.why)) << c.why << "\n" << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(testsupport::Contents(values), values_before);
    EXPECT_TRUE(card_.card->Requests().empty());
}

}  // namespace
