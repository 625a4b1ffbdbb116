#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <set>
#include <thread>
#include <tuple>

#include "cardsim/card_bench.h"
#include "cardsim/card_identity.h"
#include "carvex/link/diag_link.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/device_list.h"
#include "carvex/platform/registry.h"
#include "tests/cardsim/card_test_support.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace cardsim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

const std::string kApplication = "TAVRIO Linkwave - 3G Application Interface";
const std::string kModem = "TAVRIO Linkwave - 3G Modem";

CardProfile Example() {
    auto profile = LoadProfile(std::string(CARDWRIGHT_EXAMPLES_DIR) + "/card.profile");
    profile.qcdmg_ok = false;  // the links here stay open across the switch
    return profile;
}

Names DeviceNames(const carvex::DeviceRoot& root, carvex::DeviceClass device_class) {
    const carvex::DeviceList list(root, device_class);
    Names names;
    for (int i = 0; list.Enumerate(i) == carvex::DeviceList::Entry::kPresent; ++i) {
        names.push_back(list.FriendlyName(i).value_or("?"));
    }
    return names;
}

// "FriendlyName -> AttachedTo" of every modem class subkey, in enumeration order.
Names ModemKeys(const carvex::DeviceRoot& root) {
    Names keys;
    const auto class_key = carvex::RegistryKey::OpenLocalMachine(root, carvex::kModemClassKey);
    for (const std::string& name : class_key ? class_key->SubkeyNames() : Names{}) {
        const auto key = carvex::RegistryKey::OpenLocalMachine(
            root, std::string(carvex::kModemClassKey) + "\\" + name);
        keys.push_back(name + ": " + key->ReadString("FriendlyName").value_or("?") + " -> " +
                       key->ReadString("AttachedTo").value_or("?"));
    }
    return keys;
}

bool Contains(const Names& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

class CardBenchTest : public ::testing::Test {
  protected:
    static constexpr int kScale = 10;

    void Plug(int cards) {
        CardBench::Options options;
        options.profile = Example();
        options.cards = cards;
        options.state_file = state_dir_.Path() / "card.nv";
        options.time_scale = kScale;
        bench_ = std::make_unique<CardBench>(std::move(options));
    }

    // A DIAG link to one card, switched to DIAG (a card in DIAG already drops the switch).
    std::unique_ptr<carvex::DiagLink> Link(int number) {
        SimulatedCard& card = bench_->Card(number);
        auto link = std::make_unique<carvex::DiagLink>(bench_->Root());
        EXPECT_TRUE(link->Open(card.PcUiPort(), 115200));
        const bool in_diag = card.InDiagMode();
        const size_t seen = card.Requests().size();
        const std::string diag_switch = "AT$QCDMG\r~";
        EXPECT_TRUE(link->Send(
            true, {reinterpret_cast<const uint8_t*>(diag_switch.data()), diag_switch.size()}));
        EXPECT_TRUE(in_diag || card.WaitForRequests(seen + 1, 5s));
        return link;
    }

    static std::optional<Bytes> Exchange(carvex::DiagLink& link, const Bytes& request) {
        if (!link.Send(false, request)) {
            return std::nullopt;
        }
        Bytes reply(600);
        int32_t received = 0;
        if (!link.WaitRaw(reply, &received, carvex::ResponseKey::Of(request[0]), 2000ms)) {
            return std::nullopt;
        }
        reply.resize(static_cast<size_t>(received));
        return reply;
    }

    // The card acknowledges a reset and goes away.
    void Reset(int number) {
        auto link = Link(number);
        ASSERT_EQ(Exchange(*link, {0x29, 0x02, 0x00}), (Bytes{0x29, 0x02, 0x00}));
        ASSERT_TRUE(bench_->Card(number).WaitForPresence(false, 5s));
    }

    carvex::ScopedClock clock_{std::make_shared<carvex::ScaledClock>(kScale)};
    testsupport::TempDir state_dir_;
    std::unique_ptr<CardBench> bench_;
};

TEST_F(CardBenchTest, PublishesEveryCardAsTheDriverNamesSeveralCards) {
    Plug(3);
    const auto& root = bench_->Root();
    EXPECT_EQ(DeviceNames(root, carvex::DeviceClass::kPorts),
              (Names{kApplication + " (COM14)", kPcUi + " (COM12)", kApplication + " #2 (COM24)",
                     kPcUi + " #2 (COM22)", kApplication + " #3 (COM34)", kPcUi + " #3 (COM32)"}));
    EXPECT_EQ(DeviceNames(root, carvex::DeviceClass::kModem),
              (Names{kModem, kModem + " #2", kModem + " #3"}));
    EXPECT_EQ(ModemKeys(root),
              (Names{"0000: " + kModem + " -> COM13", "0001: " + kModem + " #2 -> COM23",
                     "0002: " + kModem + " #3 -> COM33"}));
    std::set<std::filesystem::path> devices;
    for (int com : {12, 13, 22, 23, 32, 33}) {
        devices.insert(
            std::filesystem::read_symlink(root.ComDirectory() / ("COM" + std::to_string(com))));
    }
    EXPECT_EQ(devices.size(), 6u) << "every interface a pseudo-terminal of its own";

    // Identities: the IMEI's serial number advances with the card, its check digit stays right.
    const std::pair<const char*, uint32_t> identities[] = {{"356789012345672", 0x80039447},
                                                           {"356789012345680", 0x80039448},
                                                           {"356789012345698", 0x80039449}};
    for (int number = 1; number <= 3; ++number) {
        SimulatedCard& card = bench_->Card(number);
        EXPECT_EQ(DecodeImei(card.Nv(kImeiItem).value()), identities[number - 1].first);
        EXPECT_EQ(ProfileEsn(card.Profile()), identities[number - 1].second);
    }

    // A backup keeps each card's items in a state file of its own.
    auto link = Link(2);
    ASSERT_TRUE(Exchange(*link, NvRequest(0x27, 10, {0x09})));
    ASSERT_EQ(Exchange(*link, {0xFA, 0x13, 0x00, 0x00}), (Bytes{0xFA, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(std::filesystem::exists(state_dir_.Path() / "card-2.nv"));
    EXPECT_FALSE(std::filesystem::exists(state_dir_.Path() / "card.nv"));
    EXPECT_FALSE(std::filesystem::exists(state_dir_.Path() / "card-3.nv"));
}

TEST_F(CardBenchTest, OneCardRestartsWhileTheOthersStayListed) {
    Plug(3);
    const auto& root = bench_->Root();
    const Names ports = DeviceNames(root, carvex::DeviceClass::kPorts);
    const Names modem_keys = ModemKeys(root);

    // A reader enumerating the lists throughout the restart, as the library does.
    std::atomic<bool> stop = false;
    int snapshots = 0;
    int without_card_2 = 0;
    int without_others = 0;
    std::thread reader([&] {
        while (!stop) {
            const Names names = DeviceNames(root, carvex::DeviceClass::kPorts);
            const Names modems = DeviceNames(root, carvex::DeviceClass::kModem);
            ++snapshots;
            without_card_2 += Contains(names, kPcUi + " #2 (COM22)") ? 0 : 1;
            without_others += Contains(names, kPcUi + " (COM12)") &&
                                      Contains(names, kPcUi + " #3 (COM32)") &&
                                      Contains(modems, kModem) && Contains(modems, kModem + " #3")
                                  ? 0
                                  : 1;
        }
    });
    Reset(2);
    EXPECT_FALSE(std::filesystem::exists(root.ComDirectory() / "COM22"));
    EXPECT_TRUE(std::filesystem::exists(root.ComDirectory() / "COM32"));
    EXPECT_TRUE(bench_->Card(2).WaitForPresence(true, 5s));
    stop = true;
    reader.join();

    EXPECT_GT(without_card_2, 0) << "the restart was seen";
    EXPECT_EQ(without_others, 0) << "of " << snapshots << " enumerations";
    EXPECT_EQ(DeviceNames(root, carvex::DeviceClass::kPorts), ports) << "back under its names";
    EXPECT_EQ(ModemKeys(root), modem_keys);
    EXPECT_EQ(bench_->Card(1).Resets() + bench_->Card(3).Resets(), 0);
}

TEST_F(CardBenchTest, FaultsHitTheirOwnCardAndOutliveItsRestarts) {
    Plug(3);
    // Card 2 will answer a read-back once with other bytes: set before the restart, kept after
    // it; the read before the write is answered true and leaves the fault for the read-back.
    bench_->Card(2).SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kOtherBytes, 1, 1));
    bench_->Card(3).SetFault(Command::kNvWrite, Fault::Make(Fault::Kind::kNvStatus, 2));
    bench_->Card(3).SetFault(Command::kReset, Fault::Make(Fault::Kind::kNeverBack));

    auto first = Link(1);
    auto third = Link(3);
    EXPECT_EQ(Exchange(*first, NvRequest(0x27, 441, {0x55})).value().at(131), 0);
    EXPECT_EQ(Exchange(*third, NvRequest(0x27, 441, {0x55})).value().at(131), 2) << "write fails";
    EXPECT_EQ(bench_->Card(3).Nv(441).value()[0], 0x80) << "nothing written";
    third.reset();

    auto second = Link(2);
    const NvValue held = bench_->Card(2).Nv(441).value();
    EXPECT_EQ(Exchange(*second, NvRequest(0x26, 441)).value().at(4), held[1]) << "before";
    EXPECT_EQ(Exchange(*second, NvRequest(0x27, 441, {0x55})).value().at(131), 0);
    second.reset();
    Reset(2);
    ASSERT_TRUE(bench_->Card(2).WaitForPresence(true, 5s));
    second = Link(2);
    const auto read_back = Exchange(*second, NvRequest(0x26, 441));
    ASSERT_TRUE(read_back);
    EXPECT_EQ(read_back->at(3), 0x55);
    EXPECT_EQ(read_back->at(4), 0xFF) << "byte 1 answered inverted";
    EXPECT_EQ(Exchange(*second, NvRequest(0x26, 441)).value().at(4), 0x00) << "once only";
    second.reset();
    EXPECT_EQ(Exchange(*first, NvRequest(0x26, 441)).value().at(3), 0x55) << "card 1 true";

    // Card 3 acknowledges its reset and stays away; card 1, reset after it, comes back.
    Reset(3);
    first.reset();
    Reset(1);
    ASSERT_TRUE(bench_->Card(1).WaitForPresence(true, 5s));
    EXPECT_FALSE(bench_->Card(3).Present());
    EXPECT_EQ(DeviceNames(bench_->Root(), carvex::DeviceClass::kModem),
              (Names{kModem, kModem + " #2"}));
    EXPECT_FALSE(std::filesystem::exists(bench_->Root().ComDirectory() / "COM32"));
}

TEST(CardBench, FurtherCardsDeriveTheirIdentity) {
    CardProfile first = Example();
    first.pcui_port = 3;
    first.modem_port = 17;  // the card's numbers span 15: the cards lie 20 apart
    first.other_ports = {"Some Port"};
    first.tool_replies.esn = 0x80FFFFFF;
    first.nv[kImeiItem] = EncodeImei("356789019999992");
    const CardProfile third = CardBench::ProfileOf(first, 3);
    EXPECT_EQ(third.pcui_port, 43);
    EXPECT_EQ(third.modem_port, 57);
    EXPECT_EQ(third.other_ports, Names{"Some Port #3"});
    EXPECT_EQ(third.pcui_name, kPcUi + " #3");
    EXPECT_EQ(third.tool_replies.esn, 0x80000001u) << "the serial part wraps within its 24 bits";
    EXPECT_EQ(ProfileImei(third), "356789010000014") << "the serial number wraps, checked";
    EXPECT_EQ(CardBench::StateFileOf("/s/card.nv", 3), "/s/card-3.nv");
    EXPECT_EQ(CardBench::StateFileOf("/s/card.nv", 1), "/s/card.nv");
}

// Why a fault text is refused; empty when it is taken.
std::string FaultError(const char* text, int cards) {
    try {
        ReadCardFault(text, cards);
    } catch (const FaultTextError& e) {
        return e.what();
    }
    return {};
}

TEST(CardFaultText, TheCommandLineForm) {
    const struct Case {
        const char* text;
        std::tuple<int, Command, Fault::Kind, int, int> expected;
    } cases[] = {
        {"3:nv_write:nv_status:2", {3, Command::kNvWrite, Fault::Kind::kNvStatus, 2, -1}},
        {"2:nv_read:no_reply:x1", {2, Command::kNvRead, Fault::Kind::kNoReply, 0, 1}},
        {"4:never_back", {4, Command::kReset, Fault::Kind::kNeverBack, 0, -1}},
        {"1:other_bytes", {1, Command::kNvRead, Fault::Kind::kOtherBytes, 0, -1}},
        {"1:port_get:other_bytes", {1, Command::kPortGet, Fault::Kind::kOtherBytes, 0, -1}},
        {"5:nv_read:other_bytes:7 x2", {5, Command::kNvRead, Fault::Kind::kOtherBytes, 7, 2}},
    };
    for (const auto& c : cases) {
        const CardFault parsed = ReadCardFault(c.text, 5);
        EXPECT_EQ(std::make_tuple(parsed.card, parsed.command, parsed.fault.kind,
                                  parsed.fault.value, parsed.fault.times),
                  c.expected)
            << c.text;
    }
    EXPECT_EQ(ReadCardFault("2:model:error_reply:+CME ERROR: 10", 2).fault.text, "+CME ERROR: 10");
}

// A fault that cannot be taken says which part is wrong and what would be taken there.
TEST(CardFaultText, ABadPartIsNamedWithWhatIsAccepted) {
    const struct Case {
        const char* text;
        std::vector<std::string> told;
    } cases[] = {
        {"1:nv_write:bogus",
         {"no fault kind \"bogus\"", "no_reply", "late_reply MS", "bad_fcs", "split", "batch",
          "length BYTES", "unsolicited", "other_bytes [BYTE]"}},
        {"1:bogus:no_reply",
         {"no command \"bogus\"", "diag_switch", "nv_write", "build_id", "never_back"}},
        {"3:nv_read:no_reply", {"no card 3", "1 to 2"}},
        {"0:never_back", {"\"0\" is no card number", "1 to 2"}},
        {"one:never_back", {"\"one\" is no card number"}},
        {"2:nv_write:nv_status", {"nv_status needs a number (nv_status STATUS)"}},
        {"2:nv_write:nv_status:two", {"nv_status needs a number", "not \"two\""}},
        {"2:nv_read:no_reply:3", {"no_reply takes no argument, not \"3\"", "xN"}},
        {"2:nv_read:no_reply:x0", {"\"x0\" hits no request"}},
        {"2:other_bytes:-1", {"other_bytes takes", "not \"-1\""}},
        {"never_back", {"expected CARD:COMMAND:KIND[:ARG]"}},
        {"2:nv_read", {"no fault kind given", "no_reply"}},
    };
    for (const auto& c : cases) {
        const std::string error = FaultError(c.text, 2);
        EXPECT_FALSE(error.empty()) << c.text << " was taken";
        for (const std::string& part : c.told) {
            EXPECT_NE(error.find(part), std::string::npos)
                << c.text << ": " << error << "\nlacks: " << part;
        }
    }
    EXPECT_NE(FaultError("2:nv_read:no_reply", 1).find("there is no card 2: the only card is 1"),
              std::string::npos);
}

// What the program prints until its cards are plugged in (or it ends).
std::string ReadUntilPlugged(testsupport::RunningProgram& sim) {
    std::string out;
    while (out.find("Press Ctrl-C") == std::string::npos) {
        const std::string next = sim.Read(1);
        if (next.empty()) {
            break;
        }
        out += next;
    }
    return out;
}

// The program: --cards and --fault, and the words for a fault of a card it does not have.
TEST(CardsimProgram, PlugsTheCardsItIsAskedFor) {
    testsupport::TempDir dir;
    const std::string profile = std::string(CARDWRIGHT_EXAMPLES_DIR) + "/card.profile";
    const auto refused = testsupport::RunProgram(
        CARDSIM, {"--profile", profile, "--cards", "2", "--root", (dir.Path() / "root").string(),
                  "--fault", "3:never_back"});
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_NE(refused.err.find("--fault 3:never_back"), std::string::npos) << refused.err;

    testsupport::RunningProgram sim(
        CARDSIM, {"--profile", profile, "--cards", "2", "--root", (dir.Path() / "root").string(),
                  "--state", (dir.Path() / "card.nv").string(), "--fault", "2:never_back"});
    const std::string out = ReadUntilPlugged(sim);
    EXPECT_NE(out.find("card 2:\n    PC UI interface: COM22\n    modem interface: COM23\n"
                       "    IMEI:            356789012345680\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(DeviceNames(carvex::DeviceRoot(dir.Path() / "root"), carvex::DeviceClass::kModem),
              (Names{kModem, kModem + " #2"}));
    ::kill(sim.Pid(), SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_TRUE(
        DeviceNames(carvex::DeviceRoot(dir.Path() / "root"), carvex::DeviceClass::kModem).empty())
        << "unplugged";
}

// Faults given several times for one card and command all count, in the order given, as a
// profile's fault lines do.
TEST_F(CardBenchTest, TheProgramKeepsEveryFaultGivenForOneCommand) {
    testsupport::TempDir dir;
    std::string profile =
        testsupport::Contents(std::string(CARDWRIGHT_EXAMPLES_DIR) + "/card.profile");
    const std::string ok_reply = "qcdmg_reply = OK";
    ASSERT_NE(profile.find(ok_reply), std::string::npos);
    profile.replace(profile.find(ok_reply), ok_reply.size(), "qcdmg_reply = none");
    testsupport::Put(dir.Path() / "card.profile", profile);
    const auto root = dir.Path() / "root";
    testsupport::RunningProgram sim(
        CARDSIM, {"--profile", (dir.Path() / "card.profile").string(), "--root", root.string(),
                  "--state", (dir.Path() / "card.nv").string(), "--fault",
                  "1:nv_read:nv_status:1 x1", "--fault", "1:nv_read:nv_status:2 x2"});
    ReadUntilPlugged(sim);
    carvex::DiagLink link{carvex::DeviceRoot(root)};
    ASSERT_TRUE(link.Open(12, 115200));
    const std::string diag_switch = "AT$QCDMG\r~";
    ASSERT_TRUE(link.Send(
        true, {reinterpret_cast<const uint8_t*>(diag_switch.data()), diag_switch.size()}));
    std::vector<int> statuses;
    for (int i = 0; i < 4; ++i) {
        const auto reply = Exchange(link, NvRequest(0x26, 550));
        statuses.push_back(reply ? reply->at(131) : -1);
    }
    EXPECT_EQ(statuses, (std::vector<int>{1, 2, 2, 0}));
    link.Close();
    ::kill(sim.Pid(), SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
}

}  // namespace
}  // namespace cardsim
