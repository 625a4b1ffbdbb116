// Import and Export without a window: the identity check, the fresh read, and which card type
// filters the items.
#include <gtest/gtest.h>

#include "cardwork/card/card_reader.h"
#include "cardwork/card/setting_file_export.h"
#include "cardwork/card/setting_file_import.h"
#include "cardwork/model/setting_crc.h"
#include "tests/cardwork/card/card_work_fixture.h"

namespace {

using cardsim::Command;
using cardwright::CardReader;
using cardwright::SettingFileExport;
using cardwright::SettingFileImport;
using cardwright::WorkOutcome;
using cardwright::WorkResult;
using cardwright::WorkStep;
using testsupport::CardWorkUnderTest;
using testsupport::TestProfile;
using Lines = std::vector<std::string>;

Lines After(const Lines& lines, size_t count) {
    return Lines(lines.begin() + static_cast<std::ptrdiff_t>(count), lines.end());
}

// A sealed setting file for the card type given.
std::filesystem::path SettingFileFor(const std::filesystem::path& folder,
                                     const std::string& card_type) {
    const std::string values = "B_LOW=9\r\nMODE=2\r\n";
    testsupport::Put(folder / "other.ini",
                     "[DATACARD_TYPE]\r\nVALUE=" + card_type + "\r\n[DEFAULT]\r\n" + values +
                         "[CRC]\r\nVALUE=" + std::to_string(cardwright::SettingCrc(values)) +
                         "\r\n");
    return folder / "other.ini";
}

TEST(ExportWork, AnotherCardIsNotExported) {
    testsupport::TempDir folder;
    CardWorkUnderTest t;
    CardReader(t.Seams()).ReadFromCard(t.state, t.Description());
    t.state.card_type = "LW-X4207";
    t.log.lines.clear();
    t.Card().ClearRequests();
    t.view.save_file = folder.Path() / "cards.ini";
    const cardwright::OwnIniFiles own{folder.Path() / "Config_Info.ini",
                                      folder.Path() / "config_value.ini"};
    const WorkResult end = SettingFileExport(t.Seams()).Export(t.state, t.Description(), own);
    EXPECT_EQ(end.outcome, WorkOutcome::kRefused);
    EXPECT_EQ(end.step, WorkStep::kCheckingCardType);
    EXPECT_FALSE(cardwright::ReopensIniFiles(end));
    EXPECT_EQ(t.log.lines, (Lines{"Init Card Type succeed...", "datacard is different..."}));
    EXPECT_EQ(t.view.messages, Lines{"Datacard is different,please read again."});
    EXPECT_EQ(t.view.files_asked, 0);
    EXPECT_EQ(t.Requests(Command::kNvRead), 0u) << "no fresh read";
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "cards.ini"));
}

TEST(ExportWork, AFreshReadThatFailsWritesNoFile) {
    testsupport::TempDir folder;
    std::string text = testsupport::Contents(testsupport::kTestData / "Config_Info.ini");
    text.replace(text.find("NV_ID=60040"), 11, "NV_ID=6004O");
    testsupport::Put(folder.Path() / "Config_Info.ini", text);
    CardWorkUnderTest t(TestProfile(), folder.Path() / "Config_Info.ini");
    t.state.card_type = "LW-X4201";
    t.view.save_file = folder.Path() / "cards.ini";
    const cardwright::OwnIniFiles own{folder.Path() / "Config_Info.ini",
                                      folder.Path() / "config_value.ini"};
    SettingFileExport exporter(t.Seams());
    const WorkResult end = exporter.Export(t.state, t.Description(), own);
    EXPECT_EQ(end.outcome, WorkOutcome::kFailed);
    ASSERT_TRUE(exporter.Reread());
    EXPECT_FALSE(exporter.Reread()->Ok()) << "the fresh read failed";
    const Lines& log = t.log.lines;
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(Lines(log.end() - 3, log.end()),
              (Lines{"Item MODE: NV_ID \"6004O\" is not a usable number...", "Port closed",
                     "Read from datacard failed"}));
    EXPECT_EQ(log.front(), "Init Card Type succeed...");
    EXPECT_GT(t.Requests(Command::kNvRead), 0u) << "the card was read again";
    EXPECT_EQ(t.view.files_asked, 0);
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "cards.ini"));
}

// With a card attached only the card type of the last read counts: a file of another type is
// imported all the same and filters nothing. Without a card the file's type filters the items.
TEST(ImportWork, WithACardTheFilesCardTypeIsNotUsed) {
    testsupport::TempDir folder;
    const auto description = testsupport::DescriptionHidingMode(folder.Path(), "LW-X4207");
    CardWorkUnderTest t(TestProfile(), description);
    CardReader(t.Seams()).ReadFromCard(t.state, t.Description());
    const size_t before = t.log.lines.size();
    t.Card().ClearRequests();
    t.view.open_file = SettingFileFor(folder.Path(), "LW-X4207");
    EXPECT_TRUE(SettingFileImport(t.Seams()).Import(t.state, t.Description()).Ok());
    EXPECT_EQ(After(t.log.lines, before),
              (Lines{"Init Card Type succeed...", "import file finished..."}));
    EXPECT_EQ(t.Shown("B_LOW"), "9");
    EXPECT_EQ(t.Shown("MODE"), "Slow");
    EXPECT_TRUE(t.state.values[t.Index("MODE")].box_visible);
    EXPECT_EQ(t.view.rebuilds, 0);
    EXPECT_EQ(t.state.card_type, "LW-X4201");
    EXPECT_TRUE(t.NvWrites().empty()) << "an import never writes to the card";

    CardWorkUnderTest without(TestProfile(), description);
    without.Pull();
    without.view.open_file = t.view.open_file;
    EXPECT_TRUE(
        SettingFileImport(without.Seams()).Import(without.state, without.Description()).Ok());
    EXPECT_EQ(without.view.rebuilds, 1);
    EXPECT_FALSE(without.state.values[without.Index("MODE")].box_visible);
    EXPECT_EQ(without.Shown("B_LOW"), "9");
}

TEST(ImportWork, ACancelledChoiceOrABrokenSealLoadsNothing) {
    testsupport::TempDir folder;
    CardWorkUnderTest t;
    CardReader(t.Seams()).ReadFromCard(t.state, t.Description());
    const size_t before = t.log.lines.size();
    auto report = SettingFileImport(t.Seams()).Import(t.state, t.Description());
    EXPECT_EQ(report.outcome, WorkOutcome::kCancelled) << "no file was chosen";
    EXPECT_EQ(After(t.log.lines, before),
              (Lines{"Init Card Type succeed...", "import file finished..."}));
    EXPECT_EQ(t.Shown("B_LOW"), "7") << "a cancelled import changes nothing";

    const auto file = SettingFileFor(folder.Path(), "LW-X4201");
    std::string text = testsupport::Contents(file);
    text.replace(text.find("B_LOW=9"), 7, "B_LOW=8");
    testsupport::Put(file, text);
    t.view.open_file = file;
    report = SettingFileImport(t.Seams()).Import(t.state, t.Description());
    EXPECT_EQ(report.reason, "the CRC of " + file.string() +
                                 " does not hold (changed, or made for the other card generation)");
    EXPECT_EQ(t.log.lines.back(), "import file finished...");
    EXPECT_EQ(t.Shown("B_LOW"), "1") << "every item back at its default";
    EXPECT_FALSE(t.state.led.Writable());
}

}  // namespace
