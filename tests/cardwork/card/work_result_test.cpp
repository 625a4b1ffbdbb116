// What the card work comes to, as every front end reads it: a record's words for each outcome,
// and where each sequence says it stopped, at what and why.
#include <gtest/gtest.h>

#include "cardwork/card/card_reader.h"
#include "cardwork/card/card_writer.h"
#include "cardwork/card/setting_file_export.h"
#include "cardwork/card/work_result.h"
#include "tests/cardwork/card/card_work_fixture.h"

namespace {

using cardsim::Command;
using cardsim::Fault;
using cardwright::CardReader;
using cardwright::CardWriter;
using cardwright::WorkOutcome;
using cardwright::WorkResult;
using cardwright::WorkStep;
using testsupport::CardWorkUnderTest;
using testsupport::TestProfile;

TEST(WorkResult, ARecordSaysHowTheWorkOnACardEnded) {
    const std::pair<WorkResult, std::string> cases[] = {
        {WorkResult::Done(), "ok"},
        {WorkResult::Done("restored without a snapshot"), "ok; restored without a snapshot"},
        {WorkResult::Refused(WorkStep::kCheckingCardType, "other card type"),
         "refused: other card type"},
        {WorkResult::Failed(WorkStep::kOpeningCard, "COM12 is in use by minicom (pid 700)"),
         "failed at opening the card: COM12 is in use by minicom (pid 700)"},
        // The write's own parts are one step to a record; the item tells them apart.
        {WorkResult::Failed(WorkStep::kBackingUp, "the card's backup of its NV items failed",
                            "the backup"),
         "failed at writing: the card's backup of its NV items failed"},
        {WorkResult::Failed(WorkStep::kWritingLed, {}, "the LED settings"),
         "failed at writing (see the log)"},
        {WorkResult::Failed(WorkStep::kReadingCardInfo, "COM12 is gone"),
         "failed at reading: COM12 is gone"},
        {WorkResult::Failed(std::nullopt, "std::bad_alloc"), "failed: std::bad_alloc"},
        {WorkResult::Cancelled(WorkStep::kChoosingFile), "cancelled"},
        {WorkResult::Mismatch(), "verify mismatch"},
        {WorkResult::Mismatch("not put back: the port setting"),
         "verify mismatch; not put back: the port setting"},
        {WorkResult::Interrupted(WorkStep::kReadingBack), "interrupted at read-back"},
    };
    for (const auto& [result, text] : cases) {
        EXPECT_EQ(result.Text(), text);
        EXPECT_EQ(result.Ok(), text.starts_with("ok")) << text;
    }
}

// The configuration files are taken up again after every export that got past its checks: the
// identity check with a card, the values' check without one.
TEST(WorkResult, AnExportPastItsChecksReopensTheConfigurationFiles) {
    using cardwright::ReopensIniFiles;
    EXPECT_FALSE(ReopensIniFiles(WorkResult::Refused(WorkStep::kCheckingCardType, "another")));
    EXPECT_FALSE(ReopensIniFiles(WorkResult::Failed(WorkStep::kCheckingValues, "a value")));
    for (const WorkResult& end : {
             WorkResult::Done(),
             WorkResult::Cancelled(WorkStep::kLookingForCard),
             WorkResult::Cancelled(WorkStep::kChoosingFile),
             WorkResult::Failed(WorkStep::kReadingItem, "the card could not be read"),
             WorkResult::Refused(WorkStep::kChoosingFile, "one of the configurator's own"),
             WorkResult::Failed(WorkStep::kWritingFile, "could not be written"),
         }) {
        EXPECT_TRUE(ReopensIniFiles(end)) << end.Text();
    }
}

// A read or write that does not go through says at which step, at what within it, and why, in
// the card seam's words where it has them.
TEST(WorkResult, ASequenceSaysWhereItStoppedAndWhy) {
    {
        CardWorkUnderTest t;
        t.Pull();
        const WorkResult read = CardReader(t.Seams()).ReadFromCard(t.state, t.Description());
        EXPECT_EQ(read.Text(), "failed at opening the card: no card found");
    }
    {
        CardWorkUnderTest t;
        const std::string gone = "COM" + std::to_string(t.Card().PcUiPort()) +
                                 " is gone: the card was unplugged or is restarting";
        t.Card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kVanish));
        const WorkResult read = CardReader(t.Seams()).ReadFromCard(t.state, t.Description());
        EXPECT_EQ(read.step, WorkStep::kReadingLed) << "the LED items are read first";
        EXPECT_EQ(read.reason, gone);
        EXPECT_TRUE(read.item.empty());
    }
    struct Case {
        const char* name;
        Command refused;
        Fault fault;
        WorkStep step;
        std::string item;
        bool gone;
    } cases[] = {
        {"the first item", Command::kNvWrite, Fault::Make(Fault::Kind::kNvStatus, 7),
         WorkStep::kWritingItem, "Low byte", false},
        {"the card pulled out", Command::kNvWrite, Fault::Make(Fault::Kind::kVanish),
         WorkStep::kWritingItem, "Low byte", true},
        {"the backup", Command::kBackup, Fault::Make(Fault::Kind::kResult, 1), WorkStep::kBackingUp,
         "the backup", false},
    };
    for (const Case& c : cases) {
        CardWorkUnderTest t;
        CardReader(t.Seams()).ReadFromCard(t.state, t.Description());
        const std::string port = "COM" + std::to_string(t.Card().PcUiPort());
        t.Card().SetFault(c.refused, c.fault);
        const WorkResult written = CardWriter(t.Seams()).WriteToCard(t.state);
        EXPECT_EQ(written.outcome, WorkOutcome::kFailed) << c.name;
        EXPECT_EQ(written.step, c.step) << c.name;
        EXPECT_EQ(written.item, c.item) << c.name;
        // The connection cannot tell why the card refused a request; the log does.
        EXPECT_EQ(written.reason,
                  c.gone ? port + " is gone: the card was unplugged or is restarting" : "")
            << c.name;
    }
    {
        CardWorkUnderTest t;
        CardReader(t.Seams()).ReadFromCard(t.state, t.Description());
        t.state.card_type = "LW-X4207";
        const WorkResult written = CardWriter(t.Seams()).WriteToCard(t.state);
        EXPECT_EQ(written.Text(), "refused: the card is not the one read; read it again");
        EXPECT_EQ(written.step, WorkStep::kCheckingCardType);
    }
}

}  // namespace
