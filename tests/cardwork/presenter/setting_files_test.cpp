// Import and Export from the window: the question before a reread, files made for another card
// type, what the status bar and the title say, and the configuration files taken up again.
#include <gtest/gtest.h>

#include "cardwork/model/setting_crc.h"
#include "tests/cardwork/presenter/presenter_fixture.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/files.h"

namespace {

using cardwright::IniFile;
using cardwright::WindowPresenter;
using testsupport::Asked;
using testsupport::PresenterSetup;
using testsupport::PresenterUnderTest;
using Lines = std::vector<std::string>;

bool Export(PresenterUnderTest& t) {
    return t.Run([](WindowPresenter& p) { return p.Export(); });
}

bool Import(PresenterUnderTest& t) {
    return t.Run([](WindowPresenter& p) { return p.Import(); });
}

size_t YesNoQuestions(const PresenterUnderTest& t) {
    const auto asked = t.window().Seen().asked;
    return static_cast<size_t>(std::count_if(
        asked.begin(), asked.end(), [](const Asked& a) { return a.kind == Asked::Kind::kYesNo; }));
}

// A sealed setting file of `values` lines for the card type `type`.
void PutSettingFile(const std::filesystem::path& file, const std::string& type,
                    const std::string& values) {
    testsupport::Put(file, "[DATACARD_TYPE]\r\nVALUE=" + type + "\r\n[DEFAULT]\r\n" + values +
                               "[CRC]\r\nVALUE=" + std::to_string(cardwright::SettingCrc(values)) +
                               "\r\n");
}

// Export with a card reads it again: over a change not yet written it asks first. No: nothing
// is read and nothing written. Yes: the export goes on. Nothing changed since: no question.
TEST(SettingFiles, ExportAsksBeforeReadingOverAChange) {
    PresenterUnderTest t;
    const auto file = t.Dir() / "cards.ini";
    t.window().save_file = file.string();
    t.Edit("MODE", "Fast");
    t.window().answer_yes = false;
    t.card().ClearCalls();
    ASSERT_TRUE(Export(t));
    ASSERT_EQ(YesNoQuestions(t), 1u);
    EXPECT_EQ(t.window().Seen().asked.back().text,
              "Export reads the card again; the changes not yet written to the card will be "
              "lost. Export anyway?");
    EXPECT_EQ(t.card().Count("ReadNv 60000"), 0u);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(t.window().Seen().status.text, "Export cancelled");

    t.window().answer_yes = true;
    ASSERT_TRUE(Export(t));
    EXPECT_EQ(YesNoQuestions(t), 2u);
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(t.Shown("MODE").text, "DEFAULT");  // as the card holds it
    const auto status = t.window().Seen().status;
    EXPECT_EQ(status.text, "Export: written to " + file.string());
    EXPECT_EQ(status.text.substr(status.path_start, status.path_length), file.string());
    const IniFile exported(file);
    EXPECT_TRUE(cardwright::VerifySettingCrc(exported, false));
    EXPECT_EQ(exported.ReadString("DATACARD_TYPE", "VALUE", ""), "LW-X4201");

    ASSERT_TRUE(Export(t));
    EXPECT_EQ(YesNoQuestions(t), 2u);
}

// An LED step edited on the page is a change as well; without a card nothing is read again and
// nothing is asked.
TEST(SettingFiles, AnEditedLedStepIsAChangeToo) {
    PresenterUnderTest t;
    t.window().answer_yes = false;
    t.window().answer_led = [](const cardwright::LedStep&) {
        cardwright::Answer answer = testsupport::Accepted();
        answer.step = {4, 7};
        return answer;
    };
    t.presenter().SelectLedStatus(3);
    t.WaitIdle();
    ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.ModifyLedStep(1); }));
    ASSERT_TRUE(Export(t));
    EXPECT_EQ(YesNoQuestions(t), 1u);

    t.card().Plug(std::nullopt);
    t.window().save_file = (t.Dir() / "edited.ini").string();
    ASSERT_TRUE(Export(t));
    EXPECT_EQ(YesNoQuestions(t), 1u);
    EXPECT_EQ(IniFile(t.Dir() / "edited.ini").ReadString("DEFAULT", "LED_STATUS3", "").substr(0, 4),
              "4,7|");
}

// Import without a card (and none read: a stored solution is current) goes by the file's card
// type: a type of SCARDTYPE_LIST hides its items. A card plugged in since is not the card read.
TEST(SettingFiles, ImportOfAFileForAnotherCardTypeWithoutACard) {
    PresenterUnderTest t(
        PresenterSetup{std::nullopt, [](const std::filesystem::path& folder) {
                           testsupport::DescriptionHidingMode(folder, "MODEL-B");
                           std::string values = testsupport::Contents(folder / "config_value.ini");
                           values.replace(values.find("current=DEFAULT"), 15, "current=Bench");
                           testsupport::Put(folder / "config_value.ini", values);
                       }});
    const auto file = t.Dir() / "model-b.ini";
    PutSettingFile(file, "MODEL-B", "B_LOW=7\r\nMODE=2\r\n");
    t.window().open_file = file.string();
    ASSERT_TRUE(Import(t));
    EXPECT_TRUE(t.Logged("import file finished..."));
    EXPECT_EQ(t.Shown("B_LOW").text, "7");
    EXPECT_EQ(t.window().Seen().hidden.count(t.Item("MODE")), 1u);
    EXPECT_EQ(t.window().Seen().source, "Setting file model-b.ini (not yet written to the card)");
    EXPECT_EQ(t.window().Seen().status.text,
              "Import: done, " + file.string() + " loaded (not yet written to the card)");

    t.card().Plug(testsupport::TestProfile());
    const size_t asked = t.window().Seen().asked.size();
    ASSERT_TRUE(Import(t));
    EXPECT_EQ(t.window().Messages().back(), "Datacard is different,please read again.");
    EXPECT_EQ(t.window().Seen().asked.size(), asked + 1) << "no file is asked for";
    EXPECT_EQ(t.window().Seen().status.text,
              "Import failed: the card is not the one read; read it again");
}

// With the card read, a file made for another card type loads all the same: the card is
// checked, not the file.
TEST(SettingFiles, ImportOfAFileForAnotherCardTypeWithTheCardRead) {
    PresenterUnderTest t(
        PresenterSetup{testsupport::TestProfile(), [](const std::filesystem::path& folder) {
                           testsupport::DescriptionHidingMode(folder, "MODEL-B");
                       }});
    const auto file = t.Dir() / "model-b.ini";
    PutSettingFile(file, "MODEL-B", "B_LOW=9\r\nMODE=2\r\n");
    t.window().open_file = file.string();
    ASSERT_TRUE(Import(t));
    EXPECT_EQ(t.Shown("B_LOW").text, "9");
    EXPECT_EQ(t.Shown("MODE").text, "Slow");
    EXPECT_EQ(t.window().Seen().hidden.count(t.Item("MODE")), 0u);
}

TEST(SettingFiles, AFileThatDoesNotLoadLeavesEveryItemAtItsDefault) {
    const struct {
        const char* name;
        std::string text;  // none: the file does not exist
        const char* logged;
        bool finished;
    } cases[] = {
        {"missing.ini", "", "file not correct, import failed...", false},
        {"no-values.ini", "[DATACARD_TYPE]\r\nVALUE=X\r\n", "file not correct, import failed...",
         false},
        {"broken-seal.ini", "[DEFAULT]\r\nB_LOW=9\r\n[CRC]\r\nVALUE=1\r\n",
         "CRC Verify failed, Import failed...", true},
        // Sealed, but a value is no number: the file is not correct, nothing of it is shown.
        {"no-number.ini", "", "file not correct, import failed...", false},
        // Far larger than any setting file: not read.
        {"huge.ini", "", "file not correct, import failed...", false},
    };
    for (const auto& c : cases) {
        PresenterUnderTest t;
        const std::string values = testsupport::Contents(t.Dir() / "config_value.ini");
        if (!c.text.empty()) {
            testsupport::Put(t.Dir() / c.name, c.text);
        }
        if (std::string_view(c.name) == "no-number.ini") {
            PutSettingFile(t.Dir() / c.name, "LW-X4201", "B_LOW=9\r\nDEVICE_STATE_INFO=5x\r\n");
        }
        if (std::string_view(c.name) == "huge.ini") {
            testsupport::Put(t.Dir() / c.name, "[DEFAULT]\r\nB_LOW=9\r\n");
            std::filesystem::resize_file(t.Dir() / c.name, IniFile::kMaxFileBytes + 1);  // sparse
        }
        t.window().open_file = (t.Dir() / c.name).string();
        ASSERT_TRUE(Import(t));
        EXPECT_TRUE(t.Logged(c.logged)) << c.name;
        const auto log = t.Log();
        EXPECT_EQ(log.back() == "import file finished...", c.finished) << c.name;
        EXPECT_EQ(t.Shown("B_LOW").text, "1") << c.name;
        EXPECT_TRUE(t.window().Seen().source.empty()) << c.name;
        EXPECT_EQ(testsupport::Contents(t.Dir() / "config_value.ini"), values) << c.name;
    }
}

// Export with the card read: the card is read again, and what it holds is written, sealed, with
// the card's type; config_value.ini stays as it was.
TEST(SettingFiles, ExportWithACardReadsItAgainAndSealsTheFile) {
    PresenterUnderTest t;
    const std::string values = testsupport::Contents(t.Dir() / "config_value.ini");
    t.window().save_file = (t.Dir() / "cards").string();
    ASSERT_TRUE(Export(t));
    EXPECT_EQ(t.window().Seen().asked.back().text, "Ini Files|*.ini");
    for (const char* line :
         {"Init Card Type succeed...", "Port closed", "start to export file...",
          "start to save common config item info...", "start to save device state item info...",
          "start export Led info...", "export file finished..."}) {
        EXPECT_TRUE(t.Logged(line)) << line;
    }
    EXPECT_FALSE(t.Logged("start to export versin info..."));
    const IniFile file(t.Dir() / "cards.ini");
    EXPECT_TRUE(cardwright::VerifySettingCrc(file, false));
    EXPECT_EQ(file.ReadSections(), (Lines{"DATACARD_TYPE", "DEFAULT", "CRC"}));
    EXPECT_TRUE(file.ReadString("DEFAULT", "LED_STATUS1").has_value());
    EXPECT_EQ(testsupport::Contents(t.Dir() / "config_value.ini"), values);
}

// Without a card, and none read since the start, Export writes the values on screen (the LED
// lines in DEFAULT whatever the solution), and Import goes by the file's card type.
TEST(SettingFiles, WithoutACardTheValuesOnScreenAreExported) {
    PresenterUnderTest t(PresenterSetup{std::nullopt, [](const std::filesystem::path& folder) {
                                            testsupport::Put(
                                                folder / "config_value.ini",
                                                "[MAIN]\ncurrent=Stored\n[Stored]\n"
                                                "ConfigLed=1\nB_LOW=7\nLED_STATUS1=2,5|\n");
                                        }});
    EXPECT_EQ(t.Shown("B_LOW").text, "7");
    t.window().save_file = (t.Dir() / "screen.INI").string();
    ASSERT_TRUE(Export(t));
    EXPECT_TRUE(t.Logged("Data valid check OK..."));
    const IniFile file(t.Dir() / "screen.INI");
    EXPECT_EQ(file.ReadString("DATACARD_TYPE", "VALUE", ""), "--");
    EXPECT_EQ(file.ReadString("DEFAULT", "B_LOW", ""), "7");
    EXPECT_EQ(file.ReadString("DEFAULT", "LED_STATUS1", "").substr(0, 4), "2,5|");
    EXPECT_FALSE(file.SectionExists("Stored"));

    std::string text = testsupport::Contents(t.Dir() / "screen.INI");
    text.replace(text.find("VALUE=--"), 8, "VALUE=LW-X4201");  // no longer sealed: still loads
    testsupport::Put(t.Dir() / "typed.ini", text);
    t.window().open_file = (t.Dir() / "typed.ini").string();
    ASSERT_TRUE(Import(t));
    EXPECT_TRUE(t.Logged("import file finished..."));
    EXPECT_EQ(t.Shown("B_LOW").text, "7");
}

// A file without LED lines says nothing about the LED: a Write after it leaves the card's
// patterns alone, and an export of a table that holds nothing carries no LED lines.
TEST(SettingFiles, AFileWithoutLedLinesLeavesTheCardsPatterns) {
    PresenterUnderTest t;
    const auto patterns = t.card().Nv(50012, 128);
    PutSettingFile(t.Dir() / "no-led.ini", "LW-X4201", "B_LOW=9\r\n");
    t.window().open_file = (t.Dir() / "no-led.ini").string();
    ASSERT_TRUE(Import(t));
    EXPECT_EQ(t.Shown("B_LOW").text, "9");
    ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.Write(); }));
    EXPECT_EQ(t.window().Messages().back(), "Write to datacard succeed...");
    EXPECT_EQ(t.card().Nv(50012, 128), patterns);
    EXPECT_EQ(t.card().Nv(60000, 1), std::vector<uint8_t>{9});

    t.card().Plug(std::nullopt);  // the values on screen, with a table that holds nothing real
    t.window().save_file = (t.Dir() / "again.ini").string();
    ASSERT_TRUE(Export(t));
    EXPECT_TRUE(t.Logged("LED settings not exported: none were read, loaded or edited..."));
    EXPECT_FALSE(IniFile(t.Dir() / "again.ini").ReadString("DEFAULT", "LED_STATUS1"));
}

// Export never loses a file: the program's own files, by any name, are refused; one that cannot
// be written whole (the disk is full, the file far too large to be a setting file) stays as it
// was, and the user is told.
TEST(SettingFiles, ExportNeverLosesAFile) {
    PresenterUnderTest t(PresenterSetup{std::nullopt, {}});
    const std::string values = testsupport::Contents(t.Dir() / "config_value.ini");
    for (const auto& own : {t.Dir() / "config_value.ini", t.Dir() / "." / "Config_Info"}) {
        const size_t messages = t.window().Messages().size();
        t.window().save_file = own.string();
        ASSERT_TRUE(Export(t));
        EXPECT_EQ(t.window().Messages().size(), messages + 1) << own;
        EXPECT_EQ(testsupport::Contents(t.Dir() / "config_value.ini"), values) << own;
    }

    const auto old = t.Dir() / "old.ini";
    testsupport::Put(old, "[DEFAULT]\r\nOLD=1\r\n");
    t.window().save_file = old.string();
    {
        const testsupport::FileSizeLimit full_disk(10);
        ASSERT_TRUE(Export(t));
    }
    EXPECT_EQ(t.window().Messages().back().rfind("Export failed: ", 0), 0u)
        << t.window().Messages().back();
    EXPECT_EQ(testsupport::Contents(old), "[DEFAULT]\r\nOLD=1\r\n");
    EXPECT_FALSE(t.Logged("export file finished..."));

    const auto huge = t.Dir() / "huge.ini";
    testsupport::Put(huge, "[DEFAULT]\r\nB_LOW=9\r\n");
    std::filesystem::resize_file(huge, IniFile::kMaxFileBytes + 1);  // sparse
    t.window().save_file = huge.string();
    ASSERT_TRUE(Export(t));
    EXPECT_EQ(t.window().Messages().back().rfind("Export failed: ", 0), 0u);
    EXPECT_EQ(std::filesystem::file_size(huge), IniFile::kMaxFileBytes + 1);
}

// Even a cancelled dialog takes the configuration files up again; the window closes when one
// has gone meanwhile.
TEST(SettingFiles, TheConfigurationFilesAreTakenUpAgain) {
    PresenterUnderTest t;
    std::filesystem::remove(t.Dir() / "config_value.ini");
    ASSERT_TRUE(Import(t));
    EXPECT_TRUE(t.Logged("import file finished..."));
    EXPECT_EQ(t.window().Messages(), Lines{"Config file not exists..."});
    EXPECT_EQ(t.window().Seen().closed, 1);
}

}  // namespace
