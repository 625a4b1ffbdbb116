// The read of a card without a window: its order, what it shows, and how it goes on when the card
// fails a request.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "cardwork/card/card_reader.h"
#include "tests/cardwork/card/card_work_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using cardsim::Command;
using cardsim::Fault;
using cardwright::CardReader;
using cardwright::CommonInfoRow;
using testsupport::CardWorkUnderTest;
using testsupport::TestProfile;
using Lines = std::vector<std::string>;

// The lines of a read of the test card with every item there, between the first and the last.
const Lines kItemsRead{
    "Read common config item info from datacard...",
    "Low byte:  read succeed.",
    "Flag byte:  read succeed.",
    "High word:  read succeed.",
    "Band:  read succeed.",
    "Band extra:  read succeed.",
    "Note:  read succeed.",
    "Untyped:  read succeed.",
    "Limit:  read succeed.",
    "Timer:  read succeed.",
    "Mode:  read succeed.",
    "Acquisition order:  read succeed.",
    "Preferred network selection order:  read succeed.",
    "Bit A:  read succeed.",
    "Bit B:  read succeed.",
    "Hidden bit:  read succeed.",
    "Inactive:  Read failed, reason\uFF1A5",
    "LED level:  read succeed.",
};

Lines ReadLog(const Lines& before_items) {
    Lines lines{"Init port succeed...", "Read LED info from datacard..."};
    lines.insert(lines.end(), before_items.begin(), before_items.end());
    lines.insert(lines.end(), kItemsRead.begin(), kItemsRead.end());
    lines.insert(lines.end(), {"Port closed", "Read from datacard succeed..."});
    return lines;
}

std::vector<Command> Commands(const cardsim::SimulatedCard& card) {
    std::vector<Command> commands;
    for (const auto& request : card.Requests()) {
        if (request.command != Command::kProbe) {  // how a version request finds its id
            commands.push_back(request.command);
        }
    }
    return commands;
}

TEST(ReadSequence, ReadsTheCardInTheWindowsOrder) {
    CardWorkUnderTest t;
    CardReader reader(t.Seams());
    EXPECT_TRUE(reader.ReadFromCardAndReport(t.state, t.Description()).Ok());
    EXPECT_EQ(t.log.lines, ReadLog({}));

    // The library's calls: the switch to DIAG, the generation, the type, the LED items, the
    // identity and versions, the type again, then every item and the device state in list order.
    std::vector<Command> expected{Command::kDiagSwitch, Command::kNewVersion, Command::kModel,
                                  Command::kNvRead,     Command::kNvRead,     Command::kNvRead,
                                  Command::kVersions,   Command::kVersions,   Command::kDashboard,
                                  Command::kModel};
    expected.insert(expected.end(), 18, Command::kNvRead);
    expected.push_back(Command::kPortGet);
    expected.push_back(Command::kNvRead);
    EXPECT_EQ(Commands(t.Card()), expected);
    EXPECT_EQ(t.NvReads(),
              (std::vector<uint16_t>{50012, 50013, 550,   60000, 60000, 60000, 60010, 60011,
                                     60012, 60011, 60020, 60021, 60030, 60031, 60040, 60041,
                                     60042, 60050, 60050, 60050, 60060, 60070}));

    // What came back, item by item: the port setting counts for each device-state item.
    Lines names;
    for (const auto& item : reader.Readings()) {
        names.push_back(item.name);
        EXPECT_EQ(item.read, item.name != "INACTIVE") << item.name;
        EXPECT_EQ(item.status, item.name == "INACTIVE" ? 5 : 0) << item.name;
        EXPECT_EQ(item.shown, t.Shown(item.name)) << item.name;
    }
    EXPECT_EQ(
        names,
        (Lines{"B_LOW",   "B_FLAG",   "B_HIGH",     "BAND",     "BAND_EXTRA",        "NOTE",
               "UNTYPED", "LIMIT",    "TIMER",      "MODE",     "ACQ_ORDER",         "LONG_CAPTION",
               "BIT_A",   "BIT_B",    "BIT_HIDDEN", "INACTIVE", "DEVICE_STATE_INFO", "PORT_X",
               "PORT_Y",  "LED_LEVEL"}));

    EXPECT_EQ(t.state.info[CommonInfoRow::kImei], "356789012345678");
    EXPECT_EQ(t.state.info[CommonInfoRow::kFirmware], "31.742.06.19.208");
    EXPECT_EQ(t.state.info[CommonInfoRow::kHardware], "LWX4201-MBR3-QK7A Ver.C");
    EXPECT_EQ(t.state.info[CommonInfoRow::kDashboard], "LWDS31.742.06.19.208");
    EXPECT_EQ(t.state.info[CommonInfoRow::kCardType], "LW-X4201");
    EXPECT_EQ(t.state.card_type, "LW-X4201");
    EXPECT_FALSE(t.state.new_version);
    EXPECT_EQ(t.state.led.From(), cardwright::LedTable::Source::kCard);
    EXPECT_EQ(t.Shown("BAND"), "America");
    EXPECT_EQ(t.Shown("DEVICE_STATE_INFO"), "Debug");
    EXPECT_FALSE(t.Item("INACTIVE").OnCard);
    EXPECT_EQ(t.Shown("INACTIVE"), "On");  // its default
    EXPECT_FALSE(t.Ticked("INACTIVE"));
}

// One sequence object per card, each with its own seams: two cards read at the same time, each
// into its own state and its own log.
TEST(ReadSequence, TwoCardsAreReadAtOnce) {
    CardWorkUnderTest first;
    auto profile = TestProfile();
    profile.nv[60000] = cardsim::NvValue{9};
    CardWorkUnderTest second(profile);
    cardwright::WorkResult first_report;
    std::thread other([&] {
        first_report =
            CardReader(first.Seams()).ReadFromCardAndReport(first.state, first.Description());
    });
    const auto second_report =
        CardReader(second.Seams()).ReadFromCardAndReport(second.state, second.Description());
    other.join();
    EXPECT_TRUE(first_report.Ok() && second_report.Ok());
    EXPECT_EQ(first.log.lines, ReadLog({}));
    EXPECT_EQ(second.log.lines, ReadLog({}));
    EXPECT_EQ(first.Shown("B_LOW"), "7");
    EXPECT_EQ(second.Shown("B_LOW"), "9");
    EXPECT_EQ(first.NvReads(), second.NvReads());
}

TEST(ReadSequence, AVersionRowWhoseQueryFailsKeepsWhatItShowed) {
    CardWorkUnderTest t;
    t.state.info[CommonInfoRow::kFirmware] = "earlier firmware";
    t.state.info[CommonInfoRow::kHardware] = "earlier hardware";
    t.Card().SetFault(Command::kVersions, Fault::Make(Fault::Kind::kErrorReply));
    EXPECT_TRUE(CardReader(t.Seams()).ReadFromCardAndReport(t.state, t.Description()).Ok());
    EXPECT_EQ(t.state.info[CommonInfoRow::kFirmware], "earlier firmware");
    EXPECT_EQ(t.state.info[CommonInfoRow::kHardware], "earlier hardware");
    EXPECT_EQ(t.state.info[CommonInfoRow::kDashboard], "LWDS31.742.06.19.208");
    EXPECT_EQ(t.log.lines, ReadLog({})) << "a failed version query logs nothing";
    EXPECT_EQ(t.Requests(Command::kVersions), 2u);  // firmware, then hardware
}

TEST(ReadSequence, WithoutABoardTypeNoFilterAppliesAndTheRecordedTypeStays) {
    testsupport::TempDir folder;
    const auto description = testsupport::DescriptionHidingMode(folder.Path(), "LW-X4201,LW-X4207");
    {
        CardWorkUnderTest t(TestProfile(), description);
        CardReader(t.Seams()).ReadFromCard(t.state, t.Description());
        EXPECT_FALSE(t.state.values[t.Index("MODE")].box_visible) << "the filter of this card";
    }
    CardWorkUnderTest t(TestProfile(), description);
    t.state.card_type = "LW-X4207";
    t.state.info[CommonInfoRow::kCardType] = "LW-X4207";
    // Neither the modem, nor the board-type query, nor the hardware version tells the type.
    t.Card().SetFault(Command::kModel, Fault::Make(Fault::Kind::kErrorReply));
    t.Card().SetFault(Command::kBoardType, Fault::Make(Fault::Kind::kErrorReply));
    t.Card().SetFault(Command::kVersions, Fault::Make(Fault::Kind::kErrorReply));
    EXPECT_TRUE(CardReader(t.Seams()).ReadFromCardAndReport(t.state, t.Description()).Ok());
    EXPECT_TRUE(t.state.values[t.Index("MODE")].box_visible);
    EXPECT_EQ(t.view.pages_hidden, 0);
    EXPECT_EQ(t.state.card_type, "LW-X4207");
    EXPECT_EQ(t.state.info[CommonInfoRow::kCardType], "LW-X4207");
    EXPECT_EQ(t.log.lines, ReadLog({}));
    EXPECT_EQ(t.Requests(Command::kModel), 2u);  // the type is asked before the LED and after
    EXPECT_EQ(t.Requests(Command::kBoardType), 2u);
}

TEST(ReadSequence, ACardThatCannotBeOpenedLeavesWhatIsShown) {
    CardWorkUnderTest t;
    t.Show("B_LOW", "9");
    t.Pull();
    const auto report = CardReader(t.Seams()).ReadFromCardAndReport(t.state, t.Description());
    EXPECT_EQ(report.outcome, cardwright::WorkOutcome::kFailed);
    EXPECT_EQ(report.step, cardwright::WorkStep::kOpeningCard) << "the card was not opened";
    EXPECT_EQ(t.log.lines, (Lines{"Init port failed", "Failed to read data from datacard..."}));
    EXPECT_TRUE(t.state.new_version) << "no card counts as the newer generation";
    EXPECT_EQ(t.view.pages_hidden, 1);
    EXPECT_EQ(t.Shown("B_LOW"), "9");
    EXPECT_EQ(t.state.info[CommonInfoRow::kImei], "--");
}

// The card goes away while it is read (its device-root entries go with it): the read ends at the
// first item it did not answer, as a failed read, instead of asking every item in turn.
TEST(ReadSequence, ACardThatVanishesEndsTheReadAsFailed) {
    CardWorkUnderTest t;
    t.Card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kVanish));
    const auto report = CardReader(t.Seams()).ReadFromCardAndReport(t.state, t.Description());
    EXPECT_EQ(report.outcome, cardwright::WorkOutcome::kFailed);
    EXPECT_NE(report.step, cardwright::WorkStep::kOpeningCard) << "the card was opened";
    const Lines& log = t.log.lines;
    EXPECT_LE(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) {
                                return line.find("Read failed") != std::string::npos;
                            }),
              1)
        << "no item after the first that went unanswered";
    EXPECT_NE(std::find(log.begin(), log.end(), std::string(cardwright::kCardGoneMessage)),
              log.end());
    EXPECT_EQ(log.back(), "Failed to read data from datacard...");
}

}  // namespace
