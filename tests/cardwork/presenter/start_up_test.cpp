// The start-up sequence and Read, as the window shows them: with and without a card, a stored
// solution instead of the card, and descriptions with something wrong.
#include <gtest/gtest.h>

#include <fstream>
#include <future>

#include "tests/cardwork/presenter/presenter_fixture.h"
#include "tests/support/files.h"

namespace {

using cardwright::Tab;
using cardwright::WindowPresenter;
using testsupport::PresenterSetup;
using testsupport::PresenterUnderTest;
using testsupport::WithValues;
using Lines = std::vector<std::string>;

bool Read(PresenterUnderTest& t) {
    return t.Run([](WindowPresenter& p) { return p.Read(); });
}

TEST(StartUp, ReadsTheCardAndShowsWhatItHolds) {
    PresenterUnderTest t;
    const Lines log = t.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "Init port succeed...");
    EXPECT_EQ(Lines(log.end() - 2, log.end()),
              (Lines{"Port closed", "Read from datacard succeed..."}));
    EXPECT_TRUE(t.Logged("Inactive:  Read failed, reason\uFF1A5"));

    const auto seen = t.window().Seen();
    EXPECT_TRUE(seen.common_info_shown);
    EXPECT_EQ(seen.common_info[0], "356789012345678");
    EXPECT_EQ(seen.common_info[1], "31.742.06.19.208");
    EXPECT_EQ(seen.common_info[4], "LW-X4201");
    EXPECT_EQ(t.Shown("BAND").text, "America");
    EXPECT_EQ(t.Shown("BAND").entry, 1);
    // The described pages and their items, each on its page, the LED page's too.
    EXPECT_EQ(seen.tabs[static_cast<size_t>(cardwright::DescribedTab(0))].caption, "Values");
    EXPECT_TRUE(seen.tabs[static_cast<size_t>(cardwright::DescribedTab(2))].visible);
    EXPECT_FALSE(seen.tabs[static_cast<size_t>(cardwright::DescribedTab(3))].visible);
    EXPECT_EQ(seen.row_tab.at(t.Item("LED_LEVEL")), Tab::kLed);
    EXPECT_TRUE(seen.rows.at(t.Item("B_LOW")).editable);
    EXPECT_EQ(seen.rows.at(t.Item("B_LOW")).caption, "Low byte: ");

    EXPECT_EQ(seen.status.text, "Read: done, 20 items, 1 not read");
    EXPECT_EQ(seen.source, "Card LW-X4201 on COM12, IMEI 356789012345678");
    EXPECT_EQ(seen.title, "Cardwright - Card LW-X4201 on COM12, IMEI 356789012345678");
    EXPECT_EQ(seen.solutions, (Lines{"DEFAULT", "Bench", "NoLed", "BadLed"}));
    EXPECT_EQ(seen.solution, 0);
    EXPECT_TRUE(seen.commands_enabled);
    EXPECT_EQ(t.card().Count("Open"), t.card().Count("Close"));
}

TEST(StartUp, WithoutACardTheReadFailsAndTheDescribedTabsGo) {
    PresenterUnderTest t(PresenterSetup{std::nullopt, {}});
    EXPECT_EQ(t.Log(), (Lines{"Init port failed", "Failed to read data from datacard..."}));
    const auto seen = t.window().Seen();
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_FALSE(seen.tabs[static_cast<size_t>(cardwright::DescribedTab(slot))].visible);
    }
    for (const std::string& row : seen.common_info) {
        EXPECT_EQ(row, "--");
    }
    EXPECT_EQ(seen.status.text, "Read failed: no card found");
    EXPECT_EQ(seen.title, "Cardwright");
    EXPECT_EQ(t.card().Count("Open"), 1u);
    EXPECT_EQ(t.card().Count("Close"), 1u);  // a failed open is closed all the same
}

TEST(StartUp, AStoredSolutionIsShownWithoutTheCard) {
    PresenterUnderTest t(WithValues(
        "[MAIN]\ncurrent=Stored\n[DEFAULT]\nConfigLed=1\n[Stored]\nConfigLed=0\nB_LOW=7\n"
        "BAND=3|48|9\nLED_STATUS2=4,3|\n"));
    EXPECT_TRUE(t.card().Calls().empty());
    const auto seen = t.window().Seen();
    EXPECT_EQ(seen.solutions, (Lines{"DEFAULT", "Stored"}));
    EXPECT_EQ(seen.solution, 1);
    EXPECT_EQ(t.Shown("B_LOW").text, "7");
    EXPECT_EQ(t.Shown("BAND").text, "Asia");
    EXPECT_FALSE(seen.tabs[static_cast<size_t>(Tab::kLed)].visible);
    EXPECT_EQ(seen.status.text, "Stored solution Stored shown, no card read");
    EXPECT_EQ(seen.title, "Cardwright - Stored solution Stored (no card read)");

    // Read builds the pages anew and shows the solution again, the card left alone.
    ASSERT_TRUE(Read(t));
    EXPECT_TRUE(t.card().Calls().empty());
    EXPECT_EQ(t.Shown("B_LOW").text, "7");
}

TEST(StartUp, ANewerGenerationCardHidesTheDescribedTabsAndReadsOnlyItsItems) {
    auto profile = testsupport::TestProfile();
    profile.new_version_mark = 0x68;
    PresenterUnderTest t(PresenterSetup{profile, {}});
    EXPECT_TRUE(t.Logged("Read version succeed..."));
    EXPECT_FALSE(t.window().Seen().tabs[static_cast<size_t>(Tab::kPage1)].visible);
    EXPECT_EQ(t.Shown("B_LOW").text, "7");  // NEW_VERSION 1: read
    EXPECT_EQ(t.Shown("B_FLAG").text, "");  // NEW_VERSION 0: not read
}

// A card that answers every item "inactive" reads through: each item shows its default,
// unticked; a multi-value item's default (a field list) reads as value 0, which it does not
// offer, so its box shows nothing.
TEST(StartUp, ACardOnWhichNothingIsActiveShowsTheDefaults) {
    auto profile = testsupport::TestProfile();
    for (uint16_t item : {550, 60000, 60010, 60011, 60012, 60020, 60021, 60030, 60031, 60040, 60041,
                          60042, 60050, 60060, 60070}) {
        profile.nv.erase(item);
        profile.inactive.insert(item);
    }
    PresenterUnderTest t(PresenterSetup{profile});
    const auto log = t.Log();
    EXPECT_TRUE(t.Logged("Get IMEI failed, reason: 5..."));
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) {
                                return line.find("read succeed.") != std::string::npos;
                            }),
              0);
    EXPECT_EQ(Lines(log.end() - 2, log.end()),
              (Lines{"Port closed", "Read from datacard succeed..."}));
    EXPECT_EQ(t.window().Seen().common_info[0], "--");
    EXPECT_EQ(t.Shown("BAND").text, "");
    for (const auto& [name, shown] :
         {std::pair{"B_LOW", "1"}, {"BIT_A", "Off"}, {"MODE", "DEFAULT"}}) {
        EXPECT_EQ(t.Shown(name).text, shown) << name;
        EXPECT_FALSE(t.Shown(name).ticked) << name;
    }
}

// Without a device-state item in the description the card's port setting is not asked for.
TEST(StartUp, WithoutADeviceStateItemThePortSettingIsNotRead) {
    PresenterUnderTest t(PresenterSetup{testsupport::TestProfile(), [](const auto& folder) {
                                            std::string text =
                                                testsupport::Contents(folder / "Config_Info.ini");
                                            text.erase(text.find("DEVICE_STATE_INFO=1\n"), 20);
                                            testsupport::Put(folder / "Config_Info.ini", text);
                                        }});
    EXPECT_EQ(t.card().Count("ReadPortSetting"), 0u);
    EXPECT_TRUE(t.Logged("Read from datacard succeed..."));
}

// Each Read makes the items and their rows anew: an item the last read found missing on the
// card is on it again until this read says otherwise.
TEST(StartUp, ReadingAgainGivesNewItems) {
    PresenterUnderTest t;
    const size_t rows = t.window().Seen().rows.size();
    auto profile = testsupport::TestProfile();
    profile.inactive.clear();
    profile.nv[60060] = cardsim::NvValue{1};
    t.card().Plug(profile);
    ASSERT_TRUE(Read(t));
    EXPECT_EQ(t.window().Seen().rows.size(), rows);
    EXPECT_EQ(t.Shown("INACTIVE").text, "On");
    EXPECT_EQ(t.window().Seen().solution, 0);
}

TEST(StartUp, MissingConfigurationFilesEndTheProgram) {
    for (const char* missing : {"Config_Info.ini", "config_value.ini"}) {
        PresenterUnderTest t(PresenterSetup{testsupport::TestProfile(),
                                            [missing](const std::filesystem::path& folder) {
                                                std::filesystem::remove(folder / missing);
                                                std::filesystem::create_directory(folder / missing);
                                            }});
        EXPECT_FALSE(t.Opened().ok) << missing;
        EXPECT_EQ(t.Opened().messages, Lines{"Config file not exists..."});
        EXPECT_TRUE(t.card().Calls().empty());
    }
}

TEST(StartUp, WhatIsWrongWithTheDescriptionIsSaid) {
    // No CONFIG_ITEM: every page built says so.
    PresenterUnderTest without_items(PresenterSetup{
        std::nullopt, [](const std::filesystem::path& folder) {
            testsupport::Put(folder / "Config_Info.ini", "[CONFIG_PAGE]\r\nP1=One\r\nP2=Two\r\n");
        }});
    EXPECT_EQ(without_items.window().Messages(), Lines(3, "Bad config files..."));

    // A sixth page, and an item listed twice.
    PresenterUnderTest crowded(
        PresenterSetup{std::nullopt, [](const std::filesystem::path& folder) {
                           std::string text = testsupport::Contents(folder / "Config_Info.ini");
                           text.replace(text.find("PAGE_PORT=Ports"), 15,
                                        "PAGE_PORT=Ports\nP4=4\nP5=5\nP6=Six\nB_LOW=1");
                           text.replace(text.find("B_FLAG=1"), 8, "B_LOW=1\nB_FLAG=1");
                           testsupport::Put(folder / "Config_Info.ini", text);
                       }});
    EXPECT_TRUE(crowded.Logged("Page P6 (Six) not shown: there are tabs for five pages only..."));
    EXPECT_TRUE(
        crowded.Logged("Item B_LOW is listed twice in [CONFIG_ITEM]: the later one is ignored..."));
    EXPECT_TRUE(crowded.window().Messages().empty());
}

// The start-up sequence runs once, after a command the user started first.
TEST(StartUp, WaitsForACommandStartedFirst) {
    PresenterUnderTest t(PresenterSetup{testsupport::TestProfile(), {}, false});
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    t.card().on_call = [released](const std::string&) { released.wait(); };
    ASSERT_TRUE(t.presenter().Write());
    EXPECT_FALSE(t.presenter().StartUp());
    release.set_value();
    t.WaitIdle();
    t.card().on_call = nullptr;
    EXPECT_TRUE(t.Run([](WindowPresenter& p) { return p.StartUp(); }));
    EXPECT_TRUE(t.Logged("Read from datacard succeed..."));
}

}  // namespace
