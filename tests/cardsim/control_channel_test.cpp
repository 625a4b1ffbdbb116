// cardsim's control channel as programs reach it: its socket, served in the test's process, and
// the program itself with commands on its standard input, its help, its man page and its end.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>

#include "cardsim/card_bench.h"
#include "cardsim/control_channel.h"
#include "carvex/platform/device_list.h"
#include "tests/support/cardsim_control.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace cardsim {
namespace {

using namespace std::chrono_literals;

const std::string kProfile = std::string(CARDWRIGHT_EXAMPLES_DIR) + "/card.profile";

std::unique_ptr<CardBench> Bench(int cards, const testsupport::TempDir& dir) {
    CardBench::Options options;
    options.profile = LoadProfile(kProfile);
    options.cards = cards;
    options.state_file = dir.Path() / "card.nv";
    return std::make_unique<CardBench>(std::move(options));
}

// A socket at the path that nobody listens on: what a program that was killed leaves behind.
void LeaveAbandonedSocket(const std::filesystem::path& path) {
    const carvex::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
}

std::string Refusal(CardBench& bench, const std::filesystem::path& socket) {
    try {
        ControlChannel channel(bench, {-1, -1, socket, false});
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

TEST(ControlSocket, AnswersEachClientLineByLine) {
    testsupport::TempDir dir;
    auto bench = Bench(1, dir);
    const auto socket = dir.Path() / "control";
    LeaveAbandonedSocket(socket);
    std::optional<testsupport::ServedControlChannel> served;
    served.emplace(*bench, socket);

    testsupport::CardsimControl first(socket);
    testsupport::CardsimControl second(socket);
    EXPECT_EQ(second.Send("plug"),
              "ok: card 2 plugged: PC UI COM22, modem COM23, IMEI 356789012345680");
    EXPECT_EQ(first.Send("unplug 1"),
              "ok: card 1 unplugged: PC UI COM12, modem COM13, IMEI 356789012345672");
    EXPECT_EQ(bench->StatusOf(1).presence, CardPresence::kUnplugged);

    // Several lines in one write, an overlong one among them, each answered in turn.
    EXPECT_EQ(first.Send("replug 1\n" + std::string(5000, 'x') + "\nlist 2").value_or("none"),
              "ok: card 1 plugged: PC UI COM12, modem COM13, IMEI 356789012345672");
    EXPECT_EQ(first.ReadLine(10s), "error: the line is too long (4096 bytes at most)");
    EXPECT_EQ(first.ReadLine(10s), "error: list: takes nothing, not \"2\"");

    // A last line without its line end, as `printf list | nc -U` sends it.
    {
        const carvex::UniqueFd raw(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::connect(raw.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
                  0);
        ASSERT_EQ(::write(raw.Get(), "list", 4), 4);
        ::shutdown(raw.Get(), SHUT_WR);
        char answer[20] = {};
        ASSERT_EQ(::read(raw.Get(), answer, 19), 19);
        EXPECT_STREQ(answer, "ok: card 1 plugged:");
    }

    EXPECT_NE(Refusal(*bench, socket).find("another program listens there"), std::string::npos)
        << "a second cardsim on one socket";
    served.reset();
    EXPECT_FALSE(std::filesystem::exists(socket)) << "removed when the channel ends";

    testsupport::Put(dir.Path() / "file", "mine");
    EXPECT_NE(Refusal(*bench, dir.Path() / "file").find("is taken"), std::string::npos);
    EXPECT_EQ(testsupport::Contents(dir.Path() / "file"), "mine") << "left alone";
}

// What cardsim prints up to its prompt, and the prompt line.
std::string ReadUntilPrompt(testsupport::RunningProgram& sim) {
    std::string out;
    while (const auto line = sim.ReadLine(30s)) {
        out += *line + "\n";
        if (line->starts_with("Press Ctrl-C")) {
            break;
        }
    }
    return out;
}

TEST(CardsimProgram, TakesCommandsOnItsInputAndItsSocket) {
    testsupport::TempDir dir;
    const auto root = dir.Path() / "root";
    const auto socket = dir.Path() / "control";
    testsupport::RunningProgram sim(
        CARDSIM, {"--profile", kProfile, "--root", root.string(), "--state",
                  (dir.Path() / "card.nv").string(), "--control", socket.string(), "--json"});
    const std::string banner = ReadUntilPrompt(sim);
    EXPECT_NE(banner.find("on standard input and on " + socket.string()), std::string::npos)
        << banner;

    ASSERT_TRUE(sim.Write("plug 352099001761481\n"));
    EXPECT_EQ(sim.ReadLine(), R"({"ok":true,"command":"plug","cards":[{"card":2,"state":"plugged",)"
                              R"("pcui":"COM22","modem":"COM23","imei":"352099001761481"}]})");
    testsupport::CardsimControl control(socket);
    EXPECT_EQ(control.Send("unplug 1"),
              R"({"ok":true,"command":"unplug","cards":[{"card":1,"state":"unplugged",)"
              R"("pcui":"COM12","modem":"COM13","imei":"356789012345672"}]})");
    ASSERT_TRUE(sim.Write("unplug 1\n"));
    EXPECT_EQ(sim.ReadLine(),
              R"({"ok":false,"command":"unplug","error":"unplug: card 1 is unplugged already"})");
    sim.CloseInput();
    EXPECT_TRUE(control.Send("list").value_or("").starts_with(R"({"ok":true,"command":"list",)"))
        << "the end of its input leaves cardsim running";

    ::kill(sim.Pid(), SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(socket));
}

// However many cards there are, cardsim is gone within a second of SIGTERM, its cards with it.
TEST(CardsimProgram, EndsWithinASecondOfSigterm) {
    testsupport::TempDir dir;
    const auto root = dir.Path() / "root";
    testsupport::RunningProgram sim(
        CARDSIM, {"--profile", kProfile, "--cards", "16", "--root", root.string(), "--state",
                  (dir.Path() / "card.nv").string()});
    ASSERT_NE(ReadUntilPrompt(sim).find("card 16:"), std::string::npos);
    const auto sent = std::chrono::steady_clock::now();
    ::kill(sim.Pid(), SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 1s);

    const carvex::DeviceList ports(carvex::DeviceRoot(root), carvex::DeviceClass::kPorts);
    EXPECT_NE(ports.Enumerate(0), carvex::DeviceList::Entry::kPresent) << "every card unplugged";
    EXPECT_TRUE(std::filesystem::is_empty(root / "com"));
}

// The names in a list such as "no_reply, late_reply MS, error_reply [TEXT]".
std::vector<std::string> NamesIn(const std::string& list) {
    std::vector<std::string> names;
    size_t at = 0;
    while (at < list.size()) {
        const size_t end = list.find_first_of(" ,", at);
        names.push_back(list.substr(at, end - at));
        const size_t next = list.find(", ", at);
        at = next == std::string::npos ? list.size() : next + 2;
    }
    return names;
}

// The help and the man page name every command and every kind of fault that cardsim takes.
TEST(CardsimProgram, HelpAndManPageListEveryCommandAndFault) {
    const auto help = testsupport::RunProgram(CARDSIM, {"--help"});
    ASSERT_EQ(help.exit_code, 0);
    std::string help_text;
    for (const char c : help.out) {  // as one line: the help wraps its texts
        if (c != '\n' || (!help_text.empty() && help_text.back() != ' ')) {
            help_text += c == '\n' ? ' ' : c;
        }
    }
    const std::string man = testsupport::Contents(std::string(CARDWRIGHT_EXAMPLES_DIR) +
                                                  "/../packaging/man/cardsim.1.in");
    const auto faults = NamesIn(CommandNameList());
    const auto kinds = NamesIn(FaultKindList());
    ASSERT_EQ(faults.size(), 20u);
    ASSERT_EQ(kinds.size(), 13u);
    for (const auto& names :
         {faults, kinds, std::vector<std::string>{"plug", "unplug", "replug", "list"}}) {
        for (const std::string& name : names) {
            EXPECT_NE(help_text.find(name), std::string::npos) << "--help lacks " << name;
            std::string in_man = name;
            for (size_t at = 0; (at = in_man.find('_', at)) != std::string::npos; at += 2) {
                in_man.insert(at, "\\");  // roff's way to keep an underscore as it is
            }
            EXPECT_TRUE(man.find(name) != std::string::npos ||
                        man.find(in_man) != std::string::npos)
                << "the man page lacks " << name;
        }
    }
}

// As a new user tries it: the words come from the program, not only from its parser.
TEST(CardsimProgram, ABadFaultNamesItsBadPart) {
    const auto result =
        testsupport::RunProgram(CARDSIM, {"--profile", kProfile, "--fault", "1:nv_write:bogus"});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find("cardsim: --fault 1:nv_write:bogus: no fault kind \"bogus\"; kinds: "
                              "no_reply, late_reply MS, bad_fcs, "),
              std::string::npos)
        << result.err;
}

}  // namespace
}  // namespace cardsim
