// Write from the window: what goes to the card and what does not, and how each failure ends.
#include <gtest/gtest.h>

#include "tests/cardwork/presenter/presenter_fixture.h"

namespace {

using cardwright::WindowPresenter;
using testsupport::PresenterSetup;
using testsupport::PresenterUnderTest;
using Lines = std::vector<std::string>;

bool Write(PresenterUnderTest& t) {
    return t.Run([](WindowPresenter& p) { return p.Write(); });
}

bool Wrote(const PresenterUnderTest& t, int item) {
    return t.card().Count("WriteNv " + std::to_string(item)) > 0;
}

std::vector<uint8_t> Padded(std::vector<uint8_t> bytes) {
    bytes.resize(128, 0);
    return bytes;
}

// Read, change items of every kind, write: the card holds exactly the bytes those values stand
// for, and what did not change and the card lacks is not sent.
TEST(Write, AfterAReadTheCardHoldsTheValuesShown) {
    PresenterUnderTest t;
    for (const auto& [name, text] : {std::pair{"MODE", "Fast"},
                                     {"B_HIGH", "100"},
                                     {"TIMER", "600"},
                                     {"BIT_B", "On"},
                                     {"BAND", "Asia"},
                                     {"LIMIT", "Small"}}) {
        t.Edit(name, text);
    }
    t.card().ClearCalls();
    ASSERT_TRUE(Write(t));
    EXPECT_EQ(t.window().Messages(), Lines{"Write to datacard succeed..."});
    const Lines log = t.Log();
    const Lines ends{
        "Data valid check OK...",       "Init Card Type succeed...", "Init port OK...",
        "Write Config item succeed...", "Write LED info succed...",  "Start BackupNVItems...",
        "BackupNVItems succed...",      "Restarting datacard...",    "Close port...",
        "Write to datacard succeed..."};
    auto at = log.begin();
    for (const std::string& line : ends) {
        at = std::find(at, log.end(), line);
        ASSERT_NE(at, log.end()) << line << " (in this order)";
    }
    EXPECT_EQ(t.card().Count("WritePortSetting"), 1u);  // once, however many device-state items
    EXPECT_EQ(t.card().Count("Backup"), 1u);
    EXPECT_EQ(t.card().Count("Restart"), 1u);
    EXPECT_FALSE(Wrote(t, 60060)) << "an unchanged item the card lacks";
    EXPECT_FALSE(Wrote(t, 60020)) << "a TYPE that moves no bytes";
    EXPECT_FALSE(Wrote(t, 60021));
    const struct {
        uint16_t item;
        std::vector<uint8_t> bytes;
    } expected[] = {
        {60000, {0x07, 0x01, 0x64, 0x00}},  // Low byte 7, Flag Yes, High word 100
        {60010, {0x03}},                    // Band Asia: 3, 48 (Band extra On at 2), 9 at 1
        {60011, {0x30, 0x00, 0x01}},
        {60012, {0x00, 0x09}},
        {60030, {0x05, 0x00, 0x00, 0x00}},  // Limit Small
        {60031, {0x58, 0x02, 0x00, 0x00}},  // Timer 600
        {60040, {0x01}},                    // Mode Fast
        {60050, {0x0B}},                    // bits 0 and 3 as read, bit 1 now set
    };
    for (const auto& nv : expected) {
        EXPECT_TRUE(Wrote(t, nv.item)) << nv.item;
        EXPECT_EQ(t.card().Nv(nv.item, 128), Padded(nv.bytes)) << nv.item;
    }
    EXPECT_EQ(t.card().PortSetting(), (std::pair<uint8_t, uint8_t>{1, 0x14}));
    EXPECT_EQ(t.window().Seen().brought_to_front, 1);
    EXPECT_EQ(t.window().Seen().status.text, "Write: done");
}

// A failed write's outcome and its reason are in the status bar before the message box opens.
TEST(Write, AFailedItemEndsTheWriteAndSaysWhereFirst) {
    PresenterUnderTest t;
    t.Edit("MODE", "Fast");
    t.card().FailWrites(7);
    ASSERT_TRUE(Write(t));
    EXPECT_TRUE(t.Logged("Failed to write config item..."));
    EXPECT_FALSE(t.Logged("Write Config item succeed..."));
    EXPECT_TRUE(t.Logged("Close port..."));
    EXPECT_EQ(t.card().Count("Backup"), 0u);
    EXPECT_EQ(t.card().Count("Restart"), 0u);
    const auto seen = t.window().Seen();
    ASSERT_FALSE(seen.asked.empty());
    EXPECT_EQ(seen.asked.back().text, "Write to datacard failed...");
    EXPECT_EQ(seen.asked.back().status_then, "Write failed at Low byte");
    EXPECT_EQ(seen.status.text, "Write failed at Low byte");
}

// One NV item of a multi-value item fails: later items are still written, but the write has
// failed, and the card is neither backed up nor restarted.
TEST(Write, AFailedMultiValueItemFailsTheWrite) {
    auto profile = testsupport::TestProfile();
    profile.read_only.insert(60010);
    PresenterUnderTest t(PresenterSetup{profile, {}});
    t.card().ClearCalls();
    ASSERT_TRUE(Write(t));
    EXPECT_TRUE(t.Logged("Failed to write Singel config item..."));
    EXPECT_TRUE(t.Logged("NV item 60010 of Band was not written..."));
    EXPECT_TRUE(Wrote(t, 60031)) << "later items are still written";
    EXPECT_EQ(t.card().Count("Backup"), 0u);
    EXPECT_EQ(t.window().Messages().back(), "Write to datacard failed...");
}

TEST(Write, ToAnotherCardTypeWritesNothing) {
    PresenterUnderTest t;
    auto other = testsupport::TestProfile();
    other.model = "LW-X4207";
    t.card().Plug(other);
    t.card().ClearCalls();
    ASSERT_TRUE(Write(t));
    EXPECT_TRUE(t.Logged("datacard is different..."));
    EXPECT_EQ(t.window().Messages(),
              (Lines{"Datacard is different,please read again.", "Write to datacard failed..."}));
    EXPECT_EQ(t.window().Seen().status.text,
              "Write failed: the card is not the one read; read it again");
    for (const std::string& call : t.card().Calls()) {
        EXPECT_NE(call.rfind("Write", 0), 0u) << call;
    }
}

// The values' check fails before the card is opened for writing; the identity check still
// opens it once.
TEST(Write, ABlankTickedItemStopsTheWriteBeforeTheCard) {
    PresenterUnderTest t;
    t.Edit("B_LOW", "  ");
    t.card().ClearCalls();
    ASSERT_TRUE(Write(t));
    EXPECT_TRUE(t.Logged("Low byte:  was NULL..."));
    EXPECT_EQ(t.card().Count("Open"), 1u);
    EXPECT_EQ(t.card().Count("Close"), 1u);
    EXPECT_EQ(t.window().Messages(), Lines{"Write to datacard failed..."});
}

TEST(Write, WithoutAReadOrACardTheWriteFailsAtTheOpen) {
    PresenterUnderTest t(PresenterSetup{std::nullopt, {}});
    ASSERT_TRUE(Write(t));
    EXPECT_EQ(t.window().Messages(), Lines{"Write to datacard failed..."});
    EXPECT_FALSE(t.Logged("datacard is different...")) << "two empty card types are equal";
    EXPECT_EQ(t.card().Count("Open"), t.card().Count("Close"));
}

// The card pulled out during the items: the write ends at once and says why.
TEST(Write, ACardPulledOutEndsTheWrite) {
    PresenterUnderTest t;
    t.card().on_call = [&t](const std::string& call) {
        if (call == "WriteNv 60010") {
            t.card().Vanish();
        }
    };
    ASSERT_TRUE(Write(t));
    EXPECT_TRUE(t.Logged("The datacard is gone: it was unplugged or is restarting..."));
    EXPECT_FALSE(t.Logged("Start BackupNVItems..."));
    EXPECT_EQ(t.Log().back(), "Failed to write info...");
    EXPECT_EQ(t.window().Seen().status.text, "Write failed at Band: COM12 is gone");
}

// A description without items still writes: the LED table, the backup and the restart.
TEST(Write, ADescriptionWithoutItemsWritesTheRest) {
    PresenterUnderTest t(PresenterSetup{testsupport::TestProfile(), [](const auto& folder) {
                                            testsupport::Put(folder / "Config_Info.ini",
                                                             "[CONFIG_PAGE]\r\nP=Page\r\n"
                                                             "[CONFIG_ITEM]\r\n");
                                        }});
    EXPECT_TRUE(t.window().Seen().rows.empty());
    ASSERT_TRUE(Write(t));
    EXPECT_TRUE(t.Logged("Write Config item succeed..."));
    EXPECT_EQ(t.card().Count("Backup"), 1u);
    EXPECT_EQ(t.window().Messages().back(), "Write to datacard succeed...");
}

// An item whose description cannot be used breaks the read off and fails the Write before the
// card is backed up or restarted; the card is closed as often as it was opened.
TEST(Write, AnUnusableDescriptionBreaksTheCommandOff) {
    PresenterUnderTest t(
        PresenterSetup{testsupport::TestProfile(), [](const auto& folder) {
                           std::string text = testsupport::Contents(folder / "Config_Info.ini");
                           text.replace(text.find("NV_ID=60040"), 11, "NV_ID=6004O");
                           testsupport::Put(folder / "Config_Info.ini", text);
                       }});
    EXPECT_TRUE(t.Logged("Item MODE: NV_ID \"6004O\" is not a usable number..."));
    EXPECT_TRUE(t.Logged("Failed to read data from datacard..."));
    t.Edit("MODE", "Fast");
    ASSERT_TRUE(Write(t));
    EXPECT_EQ(t.card().Count("Backup"), 0u);
    EXPECT_EQ(t.card().Count("Restart"), 0u);
    EXPECT_EQ(t.window().Messages().back(), "Write to datacard failed...");
    EXPECT_EQ(t.card().Count("Open"), t.card().Count("Close"));
}

// The values are checked before anything is written: a number the item's type cannot hold stops
// the Write there, and says which item; "default" in any case and -1 for a signed item pass.
TEST(Write, ANumberTheTypeCannotHoldStopsItBeforeTheCard) {
    const struct {
        const char* name;
        const char* text;
        const char* logged;
    } cases[] = {
        {"B_LOW", "300", "Low byte:  is not valid..."},
        {"B_LOW", "dEfAuLt", "Data valid check OK..."},
        {"B_HIGH", "70000", "High word:  is not valid..."},
        {"TIMER", "-1", "Data valid check OK..."},
    };
    for (const auto& c : cases) {
        PresenterUnderTest t;
        t.Edit(c.name, c.text);
        t.card().ClearCalls();
        ASSERT_TRUE(Write(t));
        EXPECT_TRUE(t.Logged(c.logged)) << c.name << " " << c.text;
        const bool valid = std::string_view(c.logged) == "Data valid check OK...";
        const auto calls = t.card().Calls();
        const bool written = std::any_of(calls.begin(), calls.end(), [](const std::string& call) {
            return call.rfind("WriteNv", 0) == 0;
        });
        EXPECT_EQ(written, valid) << c.name << " " << c.text;
        EXPECT_EQ(t.window().Messages().back(),
                  valid ? "Write to datacard succeed..." : "Write to datacard failed...");
    }
}

}  // namespace
