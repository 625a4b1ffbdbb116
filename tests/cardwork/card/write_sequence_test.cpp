// The Write of a card without a window: its order, the outcome of each item, and where it stops
// when the card refuses a step.
#include <gtest/gtest.h>

#include "cardwork/card/card_reader.h"
#include "cardwork/card/card_writer.h"
#include "cardwork/card/setting_file_import.h"
#include "cardwork/model/setting_crc.h"
#include "tests/cardwork/card/card_work_fixture.h"

namespace {

using cardsim::Command;
using cardsim::Fault;
using cardwright::CardReader;
using cardwright::CardWriter;
using cardwright::ItemOutcome;
using cardwright::WorkOutcome;
using cardwright::WorkResult;
using cardwright::WorkStep;
using testsupport::CardWorkUnderTest;
using testsupport::TestProfile;
using Lines = std::vector<std::string>;

// Every item line of a Write of the test card after its read, Mode changed.
const Lines kItemsWritten{
    "Low byte:  Write OK...",
    "Flag byte:  Write OK...",
    "High word:  Write OK...",
    "Band:  Write OK...",
    "Band:  Write OK...",
    "Band:  Write OK...",
    "Band extra:  Write OK...",
    "Note:  not sent: its TYPE \"STRING\" carries no bytes, NV item 60020 stays as the card has "
    "it...",
    "Note:  Write OK...",
    "Untyped:  not sent: its TYPE \"\" carries no bytes, NV item 60021 stays as the card has it...",
    "Untyped:  Write OK...",
    "Limit:  Write OK...",
    "Timer:  Write OK...",
    "Mode:  Write OK...",
    "Acquisition order:  Write OK...",
    "Preferred network selection order:  Write OK...",
    "Bit A:  Write OK...",
    "Bit B:  Write OK...",
    "Inactive:  Write OK...",
    "Write port setting succeed...",
    "Device state:  Write OK...",
    "Port X:  Write OK...",
    "Port Y:  Write OK...",
    "LED level:  Write OK...",
};

Lines Concat(std::initializer_list<Lines> parts) {
    Lines lines;
    for (const Lines& part : parts) {
        lines.insert(lines.end(), part.begin(), part.end());
    }
    return lines;
}

// The card as read, Mode changed, and the card's own requests and the log forgotten.
struct ReadCard : CardWorkUnderTest {
    explicit ReadCard(cardsim::CardProfile profile = TestProfile())
        : CardWorkUnderTest(std::move(profile)) {
        CardReader(Seams()).ReadFromCard(state, Description());
        Show("MODE", "Fast");
        log.lines.clear();
        Card().ClearRequests();
    }

    WorkResult Write(cardwright::WriteOptions options = {}) {
        return writer.WriteToCard(state, options);
    }

    CardWriter writer{Seams()};

    // The requests that change the card, in order.
    std::vector<Command> Changes() const {
        std::vector<Command> changes;
        for (const auto& request : Card().Requests()) {
            if (request.command == Command::kNvWrite || request.command == Command::kPortSet ||
                request.command == Command::kBackup || request.command == Command::kReset) {
                changes.push_back(request.command);
            }
        }
        return changes;
    }
};

const Lines kStart{"Data valid check OK...", "Init Card Type succeed...", "Init port OK..."};

TEST(WriteSequence, WritesEveryItemThenTheLedTableThenBacksUpAndRestarts) {
    ReadCard t;
    EXPECT_TRUE(t.Write().Ok());
    EXPECT_EQ(t.log.lines, Concat({kStart,
                                   kItemsWritten,
                                   {"Write Config item succeed...", "Write LED info succed...",
                                    "Start BackupNVItems...", "BackupNVItems succed...",
                                    "Restarting datacard...", "Close port...",
                                    "Write to datacard succeed..."}}));
    // Items in list order, a multi-value item's NV items in field order, the port setting once
    // (where the first device-state item comes), the LED items last; then backup and restart.
    EXPECT_EQ(t.NvWrites(),
              (std::vector<uint16_t>{60000, 60000, 60000, 60010, 60011, 60012, 60011, 60030, 60031,
                                     60040, 60041, 60042, 60050, 60050, 60070, 50012, 50013}));
    std::vector<Command> changes(14, Command::kNvWrite);
    changes.push_back(Command::kPortSet);
    changes.insert(changes.end(), 3, Command::kNvWrite);
    changes.push_back(Command::kBackup);
    changes.push_back(Command::kReset);
    EXPECT_EQ(t.Changes(), changes);

    // Each item's outcome, and whether the card was asked: not for the items whose TYPE moves no
    // bytes, the hidden bit, an unchanged item the card lacks, nor the device-state items after
    // the first.
    std::vector<std::pair<std::string, std::string>> unsent;
    for (const auto& item : t.writer.Written()) {
        EXPECT_EQ(item.outcome, ItemOutcome::kDone) << item.name;
        if (!item.sent) {
            unsent.emplace_back(item.name, item.nv_item);
        }
    }
    EXPECT_EQ(t.writer.Written().size(), 22u);
    EXPECT_EQ(unsent, (std::vector<std::pair<std::string, std::string>>{{"NOTE", "60020"},
                                                                        {"UNTYPED", "60021"},
                                                                        {"BIT_HIDDEN", "60050"},
                                                                        {"INACTIVE", "60060"},
                                                                        {"PORT_X", "-101"},
                                                                        {"PORT_Y", "-101"}}));
    EXPECT_EQ(t.Nv(60040, 1), std::vector<uint8_t>{1});  // Fast
}

TEST(WriteSequence, WithoutRestartTheCardIsOnlyBackedUp) {
    ReadCard t;
    EXPECT_TRUE(t.Write({.restart = false}).Ok());
    EXPECT_EQ(t.Requests(Command::kBackup), 1u);
    EXPECT_EQ(t.Requests(Command::kReset), 0u);
    EXPECT_EQ(std::count(t.log.lines.begin(), t.log.lines.end(), "Restarting datacard..."), 0);
}

// Where the card refuses a step, what follows it is not done, and the port is closed.
TEST(WriteSequence, AFailedStepStopsWhatFollowsIt) {
    struct Case {
        const char* name;
        std::function<void(cardsim::CardProfile&)> refuse;
        Command refused;
        int value;
        Lines end;  // the log from the refused step on
        std::vector<uint16_t> last_writes;
        size_t backups;
    } cases[] = {
        {"the LED items",
         [](cardsim::CardProfile& profile) { profile.read_only.insert(50012); },
         Command::kOther,
         0,
         {"Write Config item succeed...", "Write LED failed...", "Close port...",
          "Failed to write info..."},
         {60070, 50012},
         0},
        {"the backup",
         {},
         Command::kBackup,
         1,
         {"Write Config item succeed...", "Write LED info succed...", "Start BackupNVItems...",
          "BackupNVItems failed...", "Close port...", "Failed to write info..."},
         {50012, 50013},
         1},
        {"the port setting",
         {},
         Command::kPortSet,
         1,
         {"Inactive:  Write OK...", "Write port setting failed...",
          "Device state:  Write Failed...", "Failed to write config item...", "Close port...",
          "Failed to write info..."},
         {60050, 60050},
         0},
    };
    for (const Case& c : cases) {
        auto profile = TestProfile();
        if (c.refuse) {
            c.refuse(profile);
        }
        ReadCard t(profile);
        if (c.refused != Command::kOther) {
            t.Card().SetFault(c.refused, Fault::Make(Fault::Kind::kResult, c.value));
        }
        EXPECT_FALSE(t.Write().Ok()) << c.name;
        const Lines& log = t.log.lines;
        EXPECT_EQ(Lines(log.end() - static_cast<std::ptrdiff_t>(c.end.size()), log.end()), c.end)
            << c.name;
        const auto writes = t.NvWrites();
        ASSERT_GE(writes.size(), 2u) << c.name;
        EXPECT_EQ(std::vector<uint16_t>(writes.end() - 2, writes.end()), c.last_writes) << c.name;
        EXPECT_EQ(t.Requests(Command::kBackup), c.backups) << c.name;
        EXPECT_EQ(t.Requests(Command::kReset), 0u) << c.name;
        EXPECT_EQ(t.Requests(Command::kPortSet), 1u) << c.name;
    }
}

// What an import of a sealed setting file of the test card's type leaves: every item at its
// default, then the file's values.
void Import(ReadCard& t, const std::string& values) {
    testsupport::TempDir folder;
    t.view.open_file = folder.Path() / "cards.ini";
    testsupport::Put(*t.view.open_file,
                     "[DATACARD_TYPE]\r\nVALUE=LW-X4201\r\n[DEFAULT]\r\n" + values +
                         "[CRC]\r\nVALUE=" + std::to_string(cardwright::SettingCrc(values)) +
                         "\r\n");
    ASSERT_TRUE(cardwright::SettingFileImport(t.Seams()).Import(t.state, t.Description()).Ok());
    t.log.lines.clear();
    t.Card().ClearRequests();
}

// The port setting is written from what the device-state items were given (by the read, a file
// or the user), never from their described defaults alone: those could switch off the ports the
// card is reached through. The rest of the Write goes on as ever.
TEST(WriteSequence, ThePortSettingIsNeverWrittenFromNothing) {
    const auto port_lines = [](const Lines& log) {
        Lines lines;
        std::copy_if(log.begin(), log.end(), std::back_inserter(lines),
                     [](const std::string& line) {
                         return line.find("ort setting") != std::string::npos ||
                                line.starts_with("Device state") || line.starts_with("Port ");
                     });
        return lines;
    };
    ReadCard t;
    const auto before = t.Card().PortSetting();
    Import(t, "B_LOW=9\r\n");
    EXPECT_TRUE(t.Write({.restart = false}).Ok());
    EXPECT_EQ(t.Requests(Command::kPortSet), 0u);
    EXPECT_EQ(t.Card().PortSetting(), before);
    EXPECT_EQ(port_lines(t.log.lines), Lines{"Port setting not written: no device state shown..."});
    EXPECT_EQ(t.Nv(60000, 1), std::vector<uint8_t>{9});
    for (const auto& item : t.writer.Written()) {
        EXPECT_FALSE(item.nv_item == "-101" && item.sent) << item.name;
    }

    // One device-state value the user chose: the port setting is written, the others at their
    // defaults (Device state Normal, Port Y Off).
    Import(t, "B_LOW=9\r\n");
    const size_t port_x = t.Index("PORT_X");
    t.state.values.Take(port_x, "On", 1, true);
    EXPECT_TRUE(t.Write({.restart = false}).Ok());
    EXPECT_EQ(t.Card().PortSetting(), (std::pair<uint8_t, uint8_t>{0, 0x04}));

    // The file's DEVICE_STATE_INFO (mask 0x14, state Debug).
    Import(t, "B_LOW=9\r\nDEVICE_STATE_INFO=5121\r\n");
    EXPECT_TRUE(t.Write({.restart = false}).Ok());
    EXPECT_EQ(port_lines(t.log.lines),
              (Lines{"Write port setting succeed...", "Device state:  Write OK...",
                     "Port X:  Write OK...", "Port Y:  Write OK..."}));
    EXPECT_EQ(t.Card().PortSetting(), (std::pair<uint8_t, uint8_t>{1, 0x14}));
}

TEST(WriteSequence, AnotherCardIsNotWritten) {
    ReadCard t;
    t.state.card_type = "LW-X4207";
    const WorkResult report = t.Write();
    EXPECT_EQ(report.outcome, WorkOutcome::kRefused);
    EXPECT_EQ(report.step, WorkStep::kCheckingCardType) << "never opened for the writes";
    EXPECT_EQ(t.log.lines, (Lines{"Data valid check OK...", "Init Card Type succeed...",
                                  "datacard is different...", "Failed to write info..."}));
    EXPECT_EQ(t.view.messages, Lines{"Datacard is different,please read again."});
    EXPECT_TRUE(t.Changes().empty());
}

}  // namespace
