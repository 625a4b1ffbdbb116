// cardsim's control channel on a bench in the test's own process: cards plugged, pulled out and
// put back while the others stay, what a program finds in the device root meanwhile, and the
// words for what cannot be done.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "cardsim/card_bench.h"
#include "cardsim/card_identity.h"
#include "cardsim/control_command.h"
#include "carvex/connection/card_connection.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/device_list.h"
#include "carvex/platform/registry.h"
#include "tests/cardsim/card_test_support.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace cardsim {
namespace {

using Names = std::vector<std::string>;

const std::string kSecondImei = "356789012345680";  // the example card's in slot 2
const std::string kAskedImei = "358409172033160";

class ControlTest : public ::testing::Test {
  protected:
    static constexpr int kScale = 10;

    void Plug(int cards) {
        CardBench::Options options;
        options.profile = LoadProfile(std::string(CARDWRIGHT_EXAMPLES_DIR) + "/card.profile");
        options.cards = cards;
        options.state_file = dir_.Path() / "card.nv";
        options.time_scale = kScale;
        bench_.emplace(std::move(options));
    }

    std::string Do(std::string_view line, bool json = false) {
        return AnswerControlLine(*bench_, line, json);
    }

    // The PC UI interfaces a reader finds, enumerating the Ports list up to its first gap.
    Names PcUiNames() const {
        const carvex::DeviceList list(bench_->Root(), carvex::DeviceClass::kPorts);
        Names names;
        for (int i = 0; list.Enumerate(i) == carvex::DeviceList::Entry::kPresent; ++i) {
            const std::string name = list.FriendlyName(i).value_or("?");
            if (name.starts_with(kPcUi)) {
                names.push_back(name);
            }
        }
        return names;
    }

    // The IMEI that the card on COM`port` answers to a program that finds it through the root.
    std::optional<std::string> ImeiOn(int port) {
        carvex::CardConnection card(bench_->Root());
        NvValue value{};
        int32_t status = 0;
        if (!card.Open(port) || !card.ReadNv(kImeiItem, value, &status)) {
            return std::nullopt;
        }
        return DecodeImei(value);
    }

    bool ComLinked(int port) const {
        return std::filesystem::is_symlink(bench_->Root().ComDirectory() /
                                           ("COM" + std::to_string(port)));
    }

    // The card's timings scaled, time-outs full: a busy machine cannot make a card look silent.
    carvex::ScopedClock clock_{
        std::make_shared<carvex::ScaledClock>(kScale, carvex::ScaledClock::Timeouts::kFull)};
    testsupport::TempDir dir_;
    std::optional<CardBench> bench_;
};

TEST_F(ControlTest, AnUnpluggedCardLeavesNoGapAndComesBackToItsSlot) {
    Plug(3);
    bench_->Card(2).SetNv(441, ParseNvValue("80 03 E8 09"));
    EXPECT_EQ(Do("unplug 2"),
              "ok: card 2 unplugged: PC UI COM22, modem COM23, IMEI " + kSecondImei);
    EXPECT_EQ(PcUiNames(), (Names{kPcUi + " (COM12)", kPcUi + " #3 (COM32)"}));
    EXPECT_FALSE(ComLinked(22));
    EXPECT_FALSE(ComLinked(23));
    EXPECT_EQ(ImeiOn(32), "356789012345698") << "the card after the one that went is found";
    EXPECT_FALSE(ImeiOn(22));

    EXPECT_EQ(Do("replug 2"), "ok: card 2 plugged: PC UI COM22, modem COM23, IMEI " + kSecondImei);
    EXPECT_EQ(PcUiNames(),
              (Names{kPcUi + " (COM12)", kPcUi + " #2 (COM22)", kPcUi + " #3 (COM32)"}));
    EXPECT_EQ(ImeiOn(22), kSecondImei) << "back in AT mode, switched to DIAG again";
    EXPECT_EQ(FormatNvValue(bench_->Card(2).Nv(441).value()).substr(0, 11), "80 03 E8 09")
        << "its NV items as it had them";
    EXPECT_EQ(bench_->Card(2).Resets(), 0) << "an unplug is no restart";
}

TEST_F(ControlTest, PlugTakesTheNextSlotWithTheIdentityAskedFor) {
    Plug(2);
    // What the third card of an earlier run kept: not the card plugged with an IMEI of its own.
    testsupport::Put(dir_.Path() / "card-3.nv", "[nv]\n550 = 08 3A 65 87 09 21 43 65 99\n");
    EXPECT_EQ(Do("plug " + kAskedImei),
              "ok: card 3 plugged: PC UI COM32, modem COM33, IMEI " + kAskedImei);
    EXPECT_EQ(Do("plug"), "ok: card 4 plugged: PC UI COM42, modem COM43, IMEI 356789012345706");
    EXPECT_EQ(ImeiOn(32), kAskedImei);
    EXPECT_EQ(ImeiOn(42), "356789012345706");
    EXPECT_EQ(PcUiNames().back(), kPcUi + " #4 (COM42)");
    EXPECT_EQ(CardBench::StateFileOf("/s/card.nv", 3, {kAskedImei, std::nullopt}),
              "/s/card-" + kAskedImei + ".nv");
    EXPECT_EQ(CardBench::StateFileOf("/s/card.nv", 5, {std::nullopt, "/p/other.profile"}),
              "/s/other-5.nv");

    EXPECT_EQ(Do("unplug 1"),
              "ok: card 1 unplugged: PC UI COM12, modem COM13, IMEI "
              "356789012345672");
    EXPECT_EQ(Do("list"),
              "ok: card 1 unplugged: PC UI COM12, modem COM13, IMEI 356789012345672; "
              "card 2 plugged: PC UI COM22, modem COM23, IMEI " +
                  kSecondImei +
                  "; "
                  "card 3 plugged: PC UI COM32, modem COM33, IMEI " +
                  kAskedImei +
                  "; "
                  "card 4 plugged: PC UI COM42, modem COM43, IMEI 356789012345706");
    EXPECT_EQ(
        Do("list", true),
        R"({"ok":true,"command":"list","cards":[)"
        R"({"card":1,"state":"unplugged","pcui":"COM12","modem":"COM13","imei":"356789012345672"},)"
        R"({"card":2,"state":"plugged","pcui":"COM22","modem":"COM23","imei":"356789012345680"},)"
        R"({"card":3,"state":"plugged","pcui":"COM32","modem":"COM33","imei":"358409172033160"},)"
        R"({"card":4,"state":"plugged","pcui":"COM42","modem":"COM43","imei":"356789012345706"}]})");
    EXPECT_TRUE(Do("plug", true).starts_with(R"({"ok":true,"command":"plug","cards":[{"card":5,)"));
}

// While a card is plugged in, whoever finds it in the Ports list finds all of it (its COM links and
// its modem class key); while it is pulled out, whoever finds its COM links gone finds it gone
// from the lists and the key: a program that watches the lists works a card only when it is whole.
TEST_F(ControlTest, ACardAppearsWholeAndGoesWhole) {
    Plug(2);
    enum Phase { kPlugging, kUnplugging };
    std::atomic<int> phase = kPlugging;
    std::atomic<int> phases = 0;  // changes of phase, so a look that spans one is not counted
    std::atomic<int> seen = 0;
    std::atomic<int> gone = 0;
    std::atomic<int> broken = 0;
    std::atomic<bool> stop = false;
    const auto listed = [&] { return PcUiNames().back() == kPcUi + " #3 (COM32)"; };
    const auto linked = [&] { return ComLinked(32) && ComLinked(33); };
    const auto keyed = [&] {
        const auto key = carvex::RegistryKey::OpenLocalMachine(
            bench_->Root(), std::string(carvex::kModemClassKey) + "\\0002");
        return key && key->ReadString("AttachedTo") == "COM33";
    };
    std::thread reader([&] {
        while (!stop) {
            const int before = phases;
            if (phase == kPlugging) {
                // What is published last is looked at first.
                const bool in_list = listed();
                const bool whole = linked() && keyed();
                if (phases == before && in_list) {
                    ++seen;
                    broken += whole ? 0 : 1;
                }
            } else {
                const bool unlinked = !linked();
                const bool anywhere = keyed() || listed();
                if (phases == before && unlinked) {
                    ++gone;
                    broken += anywhere ? 1 : 0;
                }
            }
        }
    });
    for (int round = 0; round < 5; ++round) {
        phase = kPlugging;
        ++phases;
        const int seen_before = seen;
        EXPECT_TRUE(Do(round == 0 ? "plug" : "replug 3").starts_with("ok: card 3 plugged"));
        EXPECT_TRUE(testsupport::WaitUntil([&] { return seen > seen_before; }));
        phase = kUnplugging;
        ++phases;
        const int gone_before = gone;
        EXPECT_TRUE(Do("unplug 3").starts_with("ok: card 3 unplugged"));
        EXPECT_TRUE(testsupport::WaitUntil([&] { return gone > gone_before; }));
    }
    stop = true;
    reader.join();
    EXPECT_EQ(broken, 0) << "of " << seen << " sightings and " << gone << " absences";
}

// The card's own restart (its interfaces gone for reset_gone_ms) is told apart from a card pulled
// out; pulled out while it restarts, it does not come back by itself, not even once put back.
TEST_F(ControlTest, ARestartAndAnUnplugStayApart) {
    Plug(2);
    SimulatedCard& card = bench_->Card(1);
    {
        carvex::CardConnection connection(bench_->Root());
        ASSERT_TRUE(connection.Open(12));
        ASSERT_TRUE(connection.Restart());
    }
    ASSERT_TRUE(
        testsupport::WaitUntil([&] { return card.Presence() == CardPresence::kRestarting; }));
    EXPECT_EQ(Do("replug 1"), "error: replug: card 1 is restarting and comes back by itself");
    EXPECT_TRUE(Do("list").starts_with("ok: card 1 restarting: PC UI COM12"));
    EXPECT_TRUE(Do("unplug 1").starts_with("ok: card 1 unplugged: PC UI COM12"));
    EXPECT_TRUE(Do("replug 1").starts_with("ok: card 1 plugged: PC UI COM12"));

    // An answer the card sends later than the comeback of its restart was due: whatever was
    // due by then has happened, and the interfaces the program opened are still the card's.
    carvex::CardConnection connection(bench_->Root());
    ASSERT_TRUE(connection.Open(12));
    card.SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kLateReply, 3000, 1));
    NvValue value{};
    int32_t status = 0;
    EXPECT_TRUE(connection.ReadNv(kImeiItem, value, &status));
    EXPECT_TRUE(connection.ReadNv(kImeiItem, value, &status)) << "not hung up by a second comeback";
    EXPECT_EQ(card.Presence(), CardPresence::kPlugged);
    EXPECT_EQ(card.Resets(), 1);
}

TEST_F(ControlTest, WhatCannotBeDoneIsRefusedWithTheReason) {
    Plug(2);
    std::string profile =
        testsupport::Contents(std::string(CARDWRIGHT_EXAMPLES_DIR) + "/card.profile");
    profile.replace(profile.find("pcui_port = 12"), 14, "pcui_port = 2");
    profile.replace(profile.find("modem_port = 13"), 15, "modem_port = 3");
    profile.replace(profile.find("other_port ="), 12, "; other_port");
    testsupport::Put(dir_.Path() / "low.profile", profile);

    const std::pair<std::string, std::string> cases[] = {
        {"unplug 5", "error: unplug: no card 5: cards are 1 to 2"},
        {"unplug", "error: unplug: name one card: unplug N"},
        {"replug x", "error: replug: \"x\" is no card number: replug N"},
        {"replug 1", "error: replug: card 1 is plugged in; unplug it first"},
        {"plug 12345", "error: plug: an IMEI has 15 digits, not \"12345\""},
        {"plug --profile", "error: plug: --profile needs a FILE: plug [IMEI] [--profile FILE]"},
        {"plug --force", "error: plug: no option \"--force\": plug [IMEI] [--profile FILE]"},
        {"plug 1 2",
         "error: plug: one IMEI at most, not \"1\" and \"2\": plug [IMEI] [--profile FILE]"},
        {"plug --profile " + (dir_.Path() / "none.profile").string(),
         "error: plug: cannot read the card profile " + (dir_.Path() / "none.profile").string()},
        {"plug --profile=" + (dir_.Path() / "low.profile").string(),
         "error: plug: the card would be on COM22, which is card 2's"},
        {"list all", "error: list: takes nothing, not \"all\""},
        {"melt 1",
         "error: no command \"melt\"; commands: plug [IMEI] [--profile FILE], unplug N, "
         "replug N, list"},
        {"  ", ""},
    };
    for (const auto& [line, answer] : cases) {
        EXPECT_EQ(Do(line), answer) << line;
    }
    EXPECT_EQ(bench_->Size(), 2) << "a plug refused takes no slot";
    EXPECT_EQ(Do("unplug 2"),
              "ok: card 2 unplugged: PC UI COM22, modem COM23, IMEI " + kSecondImei);
    EXPECT_EQ(Do("unplug 2"), "error: unplug: card 2 is unplugged already");
    EXPECT_EQ(Do("unplug 9", true),
              R"({"ok":false,"command":"unplug","error":"unplug: no card 9: cards are 1 to 2"})");
    EXPECT_EQ(
        Do("plug \"x\"", true),
        R"({"ok":false,"command":"plug","error":"plug: an IMEI has 15 digits, not \"\"x\"\""})");
}

}  // namespace
}  // namespace cardsim
