// carvexctl borrowing its cards from ModemManager, against simulated cards and a ModemManager of
// the test's own on a bus of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>

#include "cardsim/card_bench.h"
#include "cardsim/card_identity.h"
#include "cardwork/json/json_document.h"
#include "carvex/platform/environment.h"
#include "carvex/platform/modem_manager.h"
#include "carvex/platform/unique_fd.h"
#include "tests/support/card_fixture.h"
#include "tests/support/fake_modem_manager.h"
#include "tests/support/files.h"
#include "tests/support/forked_child.h"
#include "tests/support/private_bus.h"
#include "tests/support/run_program.h"
#include "tests/support/setting_files.h"
#include "tests/support/test_data.h"
#include "tests/support/wait_until.h"

namespace {

namespace fs = std::filesystem;
using cardsim::Command;
using testsupport::FakeModemManager;
using Kind = FakeModemManager::Call::Kind;

using testsupport::kDescription;
// Where the first card is plugged in; cardsim publishes the second as the next port of a hub.
const std::string kDevice = "/sys/devices/pci0000:00/0000:00:14.0/usb3/3-4";
const std::string kModemObject = "/org/freedesktop/ModemManager1/Modem/0";

// The lines of a text that speak of ModemManager.
std::vector<std::string> ModemManagerLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        if (line.find("ModemManager") != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CarvexctlModemManagerTest : public ::testing::Test {
  protected:
    void Plug(int cards) {
        cardsim::CardBench::Options options;
        options.profile = testsupport::TestProfile();
        options.profile.usb_device = kDevice;
        options.cards = cards;
        options.state_file = dir_.Path() / "card.nv";
        bench_.emplace(std::move(options));
    }
    cardsim::SimulatedCard& Card(int number) { return bench_->Card(number); }

    // ModemManager holding the cards, noting with each call how many requests the call's card
    // has had.
    std::unique_ptr<FakeModemManager> ModemManager(
        FakeModemManager::Answer answer = FakeModemManager::Answer::kLend) {
        std::vector<carvex::ManagedModem> modems;
        for (int number = 1; number <= bench_->Size(); ++number) {
            modems.push_back({"/org/freedesktop/ModemManager1/Modem/" + std::to_string(number - 1),
                              DeviceOf(number),
                              {}});
        }
        return std::make_unique<FakeModemManager>(
            bus_.Address(), modems, answer, [this](const std::string& device) {
                for (int number = 1; number <= bench_->Size(); ++number) {
                    if (DeviceOf(number) == device) {
                        return Card(number).Requests().size();
                    }
                }
                return size_t{0};
            });
    }
    // Card k after the first is plugged into port k of a hub there.
    static std::string DeviceOf(int number) {
        return number == 1 ? kDevice : kDevice + "." + std::to_string(number);
    }

    std::vector<std::string> Environment(const std::string& bus_address) const {
        return {"CARVEX_ROOT=" + bench_->Root().Path().string(),
                "CARVEX_CONFIG=" + config_.Path().string(),
                "XDG_STATE_HOME=" + (dir_.Path() / "state").string(),
                "DBUS_SYSTEM_BUS_ADDRESS=" + bus_address};
    }
    testsupport::ProgramResult Run(const std::vector<std::string>& args) {
        return testsupport::RunProgram(CARVEXCTL, args, Environment(bus_.Address()));
    }

    std::string SettingFile() {
        return testsupport::PutSettingFile(dir_.Path() / "settings.ini", "B_LOW=9\r\nMODE=2\r\n");
    }

    testsupport::TempDir dir_;
    testsupport::TempDir config_;
    testsupport::PrivateBus bus_;
    std::optional<cardsim::CardBench> bench_;
};

// The card is let go of before anything reaches it, and taken back only after the last request.
void ExpectBorrowedForTheWholeWork(const std::vector<FakeModemManager::Call>& calls,
                                   const std::string& device, size_t requests) {
    ASSERT_EQ(calls.size(), 2u) << device;
    EXPECT_EQ(calls[0].kind, Kind::kInhibit);
    EXPECT_EQ(calls[1].kind, Kind::kUninhibit);
    EXPECT_TRUE(calls[0].granted && calls[1].granted);
    EXPECT_EQ(calls[0].noted, 0u) << "the card was reached before ModemManager let go of it";
    EXPECT_EQ(calls[1].noted, requests) << "the card was given back before its work ended";
    EXPECT_GT(requests, 0u);
    EXPECT_EQ(calls[1].caller, calls[0].caller);
}

std::vector<FakeModemManager::Call> CallsFor(const FakeModemManager& modem_manager,
                                             const std::string& device) {
    std::vector<FakeModemManager::Call> calls;
    for (const auto& call : modem_manager.Calls()) {
        if (call.device == device) {
            calls.push_back(call);
        }
    }
    return calls;
}

TEST_F(CarvexctlModemManagerTest, EachCardCommandBorrowsTheCardForItsWholeWork) {
    Plug(1);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"info"},
                                                 {"read", "--description", kDescription},
                                                 {"nv", "read", "550"},
                                                 {"cards"}}) {
        SCOPED_TRACE(args.front());
        Card(1).ClearRequests();
        const auto modem_manager = ModemManager();
        const auto r = Run(args);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        ExpectBorrowedForTheWholeWork(modem_manager->Calls(), kDevice, Card(1).Requests().size());
        // read logs it as a log line, after the time.
        const auto lines = ModemManagerLines(r.err);
        ASSERT_EQ(lines.size(), 1u) << r.err;
        EXPECT_TRUE(lines[0].ends_with("ModemManager lends the card on COM12 (" + kDevice +
                                       ") to this program until its work ends"))
            << lines[0];
    }
}

TEST_F(CarvexctlModemManagerTest, ApplyBorrowsEachCardOnItsOwnAndLogsItInTheCardsLog) {
    Plug(2);
    const auto modem_manager = ModemManager();
    const auto logs = dir_.Path() / "logs";
    const auto r = Run({"apply", SettingFile(), "--description", kDescription, "--no-restart",
                        "--logs", logs.string(), "--report", (dir_.Path() / "r.csv").string()});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    for (int number = 1; number <= 2; ++number) {
        SCOPED_TRACE(number);
        ExpectBorrowedForTheWholeWork(CallsFor(*modem_manager, DeviceOf(number)), DeviceOf(number),
                                      Card(number).Requests().size());
        const auto run = *fs::directory_iterator(logs);
        // Named after the card's IMEI and port.
        const std::string log = testsupport::Contents(
            run.path() / (cardsim::ProfileImei(Card(number).Profile()).value() + "-COM" +
                          std::to_string(Card(number).PcUiPort()) + ".log"));
        EXPECT_EQ(ModemManagerLines(log).size(), 1u) << log;
        EXPECT_TRUE(Has(
            log, "ModemManager lends the card on COM" + std::to_string(Card(number).PcUiPort())))
            << log;
    }
}

// ModemManager keeps an inhibition only while its program is on the bus: a carvexctl killed in
// the middle of its work gives the card back with its connection.
TEST_F(CarvexctlModemManagerTest, AKilledCarvexctlGivesTheCardBack) {
    Plug(1);
    Card(1).SetFault(Command::kNvRead, cardsim::Fault::Make(cardsim::Fault::Kind::kNoReply));
    const auto modem_manager = ModemManager();
    testsupport::RunningProgram carvexctl(CARVEXCTL, {"read", "--description", kDescription},
                                          Environment(bus_.Address()));
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return !testsupport::RequestsOf(Card(1), Command::kNvRead).empty(); },
        std::chrono::seconds(30)))
        << "carvexctl reads the card";
    ASSERT_EQ(::kill(carvexctl.Pid(), SIGKILL), 0);
    EXPECT_EQ(carvexctl.Wait(), -1);
    ASSERT_TRUE(modem_manager->WaitForCalls(2, std::chrono::seconds(10)));
    const auto calls = modem_manager->Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, Kind::kInhibit);
    EXPECT_EQ(calls[1].kind, Kind::kCallerLeft);
    EXPECT_EQ(calls[1].device, kDevice);
    EXPECT_EQ(calls[1].caller, calls[0].caller);
}

// Without ModemManager, or when it refuses, the card is worked all the same and one line says
// why it was not borrowed; `cards` says it once for all its cards.
TEST_F(CarvexctlModemManagerTest, WithoutModemManagerOrWhenItRefusesTheWorkGoesOn) {
    Plug(2);
    auto r = Run({"info"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "IMEI:              356789012345678\n")) << r.out;
    EXPECT_EQ(ModemManagerLines(r.err),
              std::vector<std::string>{
                  "ModemManager: not running; the card is worked without borrowing it"});
    r = Run({"cards"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ModemManagerLines(r.err).size(), 1u) << r.err;

    const auto refusing = ModemManager(FakeModemManager::Answer::kRefuse);
    r = Run({"read", "--description", kDescription});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "CardType             LW-X4201\n")) << r.out;
    const auto lines = ModemManagerLines(r.err);
    ASSERT_EQ(lines.size(), 1u) << r.err;
    EXPECT_TRUE(Has(lines[0], "it refuses to lend the card on COM12")) << lines[0];
    EXPECT_TRUE(Has(lines[0], "\"modemmanager = block\" in carvex.conf")) << lines[0];
    const auto calls = refusing->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].granted);
}

TEST_F(CarvexctlModemManagerTest, ModemManagerAsksNothingUnderBlockAndLeave) {
    Plug(1);
    const auto modem_manager = ModemManager();
    for (const char* conf : {"modemmanager = block\n", "leave_modemmanager = yes\n"}) {
        std::ofstream(config_.Path() / "carvex.conf") << conf;
        const auto r = Run({"info"});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_TRUE(ModemManagerLines(r.err).empty()) << conf << r.err;
    }
    EXPECT_TRUE(modem_manager->Calls().empty());
}

TEST_F(CarvexctlModemManagerTest, PortsShowsWhatModemManagerHoldsOfEachCard) {
    Plug(2);
    const auto line_of = [](const std::string& text, const std::string& start) {
        const size_t at = text.find("\n  " + start);
        return at == std::string::npos ? std::string()
                                       : text.substr(at + 3, text.find('\n', at + 1) - at - 3);
    };
    const std::string card2 = "COM22 (" + DeviceOf(2) + "): ";
    auto r = Run({"ports"});
    EXPECT_TRUE(Has(r.out, "\nModemManager (modemmanager = borrow): not running\n")) << r.out;

    FakeModemManager modem_manager(
        bus_.Address(),
        {{kModemObject, kDevice, {"ttyUSB0"}},
         {"/org/freedesktop/ModemManager1/Modem/1", "/sys/devices/other", {"ttyUSB7"}}});
    r = Run({"ports"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\nModemManager (modemmanager = borrow):\n")) << r.out;
    EXPECT_EQ(line_of(r.out, "COM12"),
              "COM12 (" + kDevice + "): held by ModemManager (" + kModemObject + ")");
    EXPECT_EQ(line_of(r.out, "COM22"), card2 + "not held by ModemManager");
    r = Run({"ports", "--json"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const auto document = cardwright::ParseJson(r.out);
    ASSERT_TRUE(document.value) << document.error << r.out;
    EXPECT_EQ(document.value->at("modem_manager"), (cardwright::Json{{"mode", "borrow"},
                                                                     {"reached", true},
                                                                     {"why_not", nullptr},
                                                                     {"cards",
                                                                      {{{"port", "COM12"},
                                                                        {"usb_device", kDevice},
                                                                        {"state", "held"},
                                                                        {"modem", kModemObject},
                                                                        {"users", nullptr}},
                                                                       {{"port", "COM22"},
                                                                        {"usb_device", DeviceOf(2)},
                                                                        {"state", "not_held"},
                                                                        {"modem", nullptr},
                                                                        {"users", nullptr}}}}}));

    // While a program works the first card, borrowed: ModemManager has no modem for it.
    carvex::SetEnvironmentValue("DBUS_SYSTEM_BUS_ADDRESS", bus_.Address());
    const carvex::ModemManagerBorrow borrow(bench_->Root(), 12, carvex::ModemManagerMode::kBorrow,
                                            [](const std::string&) {});
    carvex::RemoveEnvironmentValue("DBUS_SYSTEM_BUS_ADDRESS");
    ASSERT_TRUE(borrow.Borrowed());
    // Another process than the card's own (which holds the pty's other side) has the port.
    const fs::path pcui_tty = fs::read_symlink(bench_->Root().ComDirectory() / "COM12");
    testsupport::ForkedChild worker([&](testsupport::ForkedChild& self) {
        const carvex::UniqueFd pcui(::open(pcui_tty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
        self.Say(pcui ? "open" : "not open");
        self.WaitForRelease();
        return 0;
    });
    ASSERT_EQ(worker.Hear(), "open");
    r = Run({"ports"});
    EXPECT_TRUE(Has(line_of(r.out, "COM12"),
                    "COM12 (" + kDevice + "): let go of by ModemManager (inhibited) while "))
        << r.out;
    EXPECT_TRUE(Has(line_of(r.out, "COM12"), "(pid " + std::to_string(worker.Pid()) + ")"))
        << r.out;
    r = Run({"ports", "--json"});
    const auto held = cardwright::ParseJson(r.out);
    ASSERT_TRUE(held.value) << held.error << r.out;
    const auto& card1 = held.value->at("modem_manager").at("cards").at(0);
    EXPECT_EQ(card1.at("state"), "inhibited");
    EXPECT_TRUE(
        Has(card1.at("users").get<std::string>(), "(pid " + std::to_string(worker.Pid()) + ")"))
        << card1;
}

}  // namespace
