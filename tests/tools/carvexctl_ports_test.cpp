#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <sstream>

#include "cardsim/pty_pair.h"
#include "cardwork/json/json_document.h"
#include "carvex/platform/device_publisher.h"
#include "tests/support/card_fixture.h"
#include "tests/support/fake_sysfs.h"

namespace {

namespace fs = std::filesystem;
using testsupport::FakeTty;
using testsupport::RunProgram;

const std::string kPcUiName = "TAVRIO Linkwave - 3G PC UI Interface";
const std::string kModemName = "TAVRIO Linkwave - 3G Modem";

// The tty a simulated card published for one of its COM numbers.
std::string TtyOf(const cardsim::SimulatedCard& card, int com) {
    return fs::read_symlink(card.Root().ComDirectory() / ("COM" + std::to_string(com))).string();
}

std::string Line(const std::string& text, const std::string& containing) {
    const size_t at = text.find(containing);
    if (at == std::string::npos) {
        return {};
    }
    const size_t start = text.rfind('\n', at) + 1;
    return text.substr(start, text.find('\n', at) - start);
}

// Two simulated cards on USB ports of a fake machine, their ttys the cards' pseudo-terminals:
// what a technician with two real cards has, published by carvex-udev and read by carvexctl.
TEST(RealCards, ScannedCardsAreReadThroughTheRootEachAskingItsOwnModem) {
    testsupport::UdevWorld world;
    world.SetCardTable("7e3b abcd 00 modem\n7e3b abcd 02 pcui\n");
    auto first_profile = testsupport::ExampleProfile();
    first_profile.model = "LW-X4201";
    auto second_profile = testsupport::ExampleProfile();
    second_profile.model = "LW-X4207";
    testsupport::CardUnderTest first(first_profile);
    testsupport::CardUnderTest second(second_profile);

    std::vector<FakeTty> first_ttys;
    int tty_number = 0;
    for (auto* card : {&first, &second}) {
        const auto device = world.Sysfs().AddUsbDevice(card == &first ? 2 : 3, "7e3b", "abcd");
        const FakeTty modem =
            world.Sysfs().AddUsbTty(device, 0, "ttyUSB" + std::to_string(tty_number++),
                                    std::nullopt, TtyOf(*card->card, card->card->ModemPort()));
        const FakeTty pcui =
            world.Sysfs().AddUsbTty(device, 2, "ttyUSB" + std::to_string(tty_number++),
                                    std::nullopt, TtyOf(*card->card, card->card->PcUiPort()));
        if (card == &first) {
            first_ttys = {modem, pcui};
        }
    }
    const auto scan = world.Run(CARVEX_UDEV, {"--scan"});
    ASSERT_EQ(scan.exit_code, 0) << scan.err;
    EXPECT_NE(scan.out.find("4 port(s) published"), std::string::npos) << scan.out;

    auto info = world.Run(CARVEXCTL, {"info"});
    EXPECT_EQ(info.exit_code, 0) << info.err;
    EXPECT_NE(info.out.find("IMEI:              356789012345672\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Board type:        LW-X4201\n"), std::string::npos) << info.out;

    const auto ports = world.Run(CARVEXCTL, {"ports"});
    EXPECT_EQ(ports.exit_code, 0) << ports.err;
    const std::string chosen = Line(ports.out, "<- the configurator uses this port");
    EXPECT_NE(chosen.find(first_ttys[1].devnode), std::string::npos) << ports.out;
    EXPECT_NE(chosen.find("PC UI  \"" + kPcUiName + " (COM"), std::string::npos) << chosen;
    EXPECT_NE(Line(ports.out, "<- the model is asked on this port").find(first_ttys[0].devnode),
              std::string::npos)
        << ports.out;
    EXPECT_NE(Line(ports.out, kModemName + " #2").find("COM5"), std::string::npos) << ports.out;

    // The first card is unplugged: the second card's connection asks the second card's modem.
    for (const FakeTty& tty : first_ttys) {
        world.Sysfs().Unplug(tty);
        const auto removed = world.Run(CARVEX_UDEV, {}, tty.Event("remove"));
        EXPECT_EQ(removed.exit_code, 0) << removed.err;
    }
    info = world.Run(CARVEXCTL, {"info"});
    EXPECT_EQ(info.exit_code, 0) << info.err;
    EXPECT_NE(info.out.find("Board type:        LW-X4207\n"), std::string::npos) << info.out;
}

TEST(CarvexctlPorts, WhyNamesTheUsbTtysThatWereNotPublished) {
    testsupport::UdevWorld world;
    world.SetCardTable("7e3b abcd 02 pcui\nnot a line\n");
    const auto device = world.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
    const FakeTty pcui = world.Sysfs().AddUsbTty(device, 2, "ttyUSB2");
    world.Sysfs().AddUsbTty(device, 4, "ttyUSB4", "Application Interface");
    world.Sysfs().AddUsbTty(device, 5, "ttyUSB5");
    world.Sysfs().AddPlatformTty("ttyS0");
    const auto other = world.Sysfs().AddUsbDevice(3, "4321", "0101");
    world.Sysfs().AddUsbTty(other, 0, "ttyUSB7", "LTE Modem");

    auto r = world.Run(CARVEXCTL, {"ports", "--why"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("ttyUSB2 (/dev/ttyUSB2, 7e3b:abcd interface 02): a pcui port (card "
                         "table) that is not in this device root"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("No PC UI interface among the ports: no card found."), std::string::npos);

    ASSERT_EQ(world.Run(CARVEX_UDEV, {}, pcui.Event("add")).exit_code, 0);
    r = world.Run(CARVEXCTL, {"ports", "--why"});
    EXPECT_NE(Line(r.out, "<- the configurator uses").find("COM3  /dev/ttyUSB2"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("ttyUSB2 (/dev/ttyUSB2,"), std::string::npos) << "published now";
    EXPECT_NE(r.out.find("ttyUSB4 (/dev/ttyUSB4, 7e3b:abcd interface 04): no card table line "
                         "for 7e3b:abcd interface 04, no ModemManager tag, interface name "
                         "\"Application Interface\" names no role"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("ttyUSB5 (/dev/ttyUSB5, 7e3b:abcd interface 05): no card table line "
                         "for 7e3b:abcd interface 05, no ModemManager tag, no interface name"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("ttyS0"), std::string::npos) << "not a USB tty";
    EXPECT_NE(r.out.find("ttyUSB7 (/dev/ttyUSB7, 4321:0101 interface 00): not used: another "
                         "maker's modem (interface name \"LTE Modem\"), not in the card table: "
                         "add a line for it to " +
                         (world.ConfigDir() / "cards.d" / "local.conf").string() + " to use it"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(world.CardTable().string() + ":2: expected"), std::string::npos) << r.out;

    r = world.Run(CARVEXCTL, {"ports", "--why", "--json"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const auto document = cardwright::ParseJson(r.out);
    ASSERT_TRUE(document.value) << document.error << r.out;
    const cardwright::Json& unpublished = document.value->at("unpublished");
    EXPECT_EQ(unpublished.at("sysfs"), (world.Sysfs().Root() / "class" / "tty").string());
    std::map<std::string, cardwright::Json> by_tty;
    for (const auto& tty : unpublished.at("ports")) {
        by_tty[tty.at("tty").get<std::string>()] = tty;
    }
    EXPECT_EQ(by_tty.size(), 3u) << unpublished;
    EXPECT_EQ(by_tty["ttyUSB4"],
              (cardwright::Json{{"tty", "ttyUSB4"},
                                {"device", "/dev/ttyUSB4"},
                                {"usb_id", "7e3b:abcd interface 04"},
                                {"role", nullptr},
                                {"why",
                                 "no card table line for 7e3b:abcd interface 04, no "
                                 "ModemManager tag, interface name \"Application "
                                 "Interface\" names no role"}}));
    EXPECT_TRUE(by_tty["ttyUSB7"].at("why").get<std::string>().starts_with("not used: "));
    ASSERT_EQ(unpublished.at("problems").size(), 1u);
    EXPECT_TRUE(unpublished.at("problems")[0].get<std::string>().starts_with(
        world.CardTable().string() + ":2: expected"));
    EXPECT_EQ(document.value->at("pc_ui_port"), "COM3");
}

// The ports as a technician reads them: in the configurator's words, a port that another
// program has open marked, and the columns kept in line when a tty is gone.
TEST(CarvexctlPorts, SpeaksOfWhatTheConfiguratorUsesMarksBusyPortsAndKeepsItsColumns) {
    testsupport::TempDir root;
    carvex::DevicePublisher publisher{carvex::DeviceRoot(root.Path())};
    const cardsim::PtyPair pcui;
    publisher.PublishDeviceList(
        carvex::DeviceClass::kPorts,
        std::vector<std::string>{"TAVRIO Linkwave - 3G Application Interface (COM14)",
                                 kPcUiName + " (COM12)"});
    publisher.PublishDeviceList(carvex::DeviceClass::kModem, std::vector<std::string>{kModemName});
    publisher.PublishComPort("COM12", pcui.SlavePath());
    publisher.PublishComPort("COM14", root.Path() / "ttyUSB14");
    testsupport::RunningProgram holder(
        "/bin/sh", {"-c", "exec 3<>" + pcui.SlavePath().string() + "; echo held; read line"});
    ASSERT_EQ(holder.Read(5), "held\n");

    const auto r = RunProgram(CARVEXCTL, {"ports"}, {"CARVEX_ROOT=" + root.Path().string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(Line(r.out, kPcUiName)
                  .find("\"  <- the configurator uses this port  [busy: in use by sh (pid " +
                        std::to_string(holder.Pid()) + ")]"),
              std::string::npos)
        << r.out;
    EXPECT_NE(Line(r.out, "(COM14)").find(root.Path().string() + "/ttyUSB14 (gone)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("No modem whose COM port is known: the model is asked over DIAG instead."),
              std::string::npos)
        << r.out;
    for (const char* jargon : {"InitCommPort", "class key", "board-type", "DIAG port"}) {
        EXPECT_EQ(r.out.find(jargon), std::string::npos) << jargon << "\n" << r.out;
    }
    // Every row of both lists, and the headings, have their name in one column.
    std::set<size_t> name_columns;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("  #  ")) {
            name_columns.insert(line.find("name"));
        } else if (line.starts_with("  ") && line.find('"') != std::string::npos) {
            name_columns.insert(line.find('"'));
        }
    }
    EXPECT_EQ(name_columns.size(), 1u) << r.out;

    // The same rows as JSON, each text as the system gives it.
    const auto json =
        RunProgram(CARVEXCTL, {"ports", "--json"}, {"CARVEX_ROOT=" + root.Path().string()});
    EXPECT_EQ(json.exit_code, 0) << json.err;
    const auto document = cardwright::ParseJson(json.out);
    ASSERT_TRUE(document.value) << document.error << json.out;
    using cardwright::Json;
    EXPECT_EQ(document.value->at("device_root"), root.Path().string());
    EXPECT_EQ(document.value->at("device_root_exists"), true);
    EXPECT_EQ(document.value->at("ports"),
              (Json{{{"index", 0},
                     {"com", "COM14"},
                     {"tty", (root.Path() / "ttyUSB14").string()},
                     {"gone", true},
                     {"busy", nullptr},
                     {"role", nullptr},
                     {"name", "TAVRIO Linkwave - 3G Application Interface (COM14)"}},
                    {{"index", 1},
                     {"com", "COM12"},
                     {"tty", pcui.SlavePath().string()},
                     {"gone", false},
                     {"busy", "sh (pid " + std::to_string(holder.Pid()) + ")"},
                     {"role", "pc_ui"},
                     {"name", kPcUiName + " (COM12)"}}}));
    EXPECT_EQ(document.value->at("modems"), (Json{{{"index", 0},
                                                   {"com", nullptr},
                                                   {"tty", nullptr},
                                                   {"gone", false},
                                                   {"busy", nullptr},
                                                   {"role", "modem"},
                                                   {"name", kModemName}}}));
    EXPECT_EQ(document.value->at("pc_ui_port"), "COM12");
    EXPECT_EQ(document.value->at("modem_port"), nullptr);
    EXPECT_EQ(document.value->at("unpublished"), nullptr);
}

// A PC UI interface published on a pseudo-terminal that nothing answers on: the tests make it
// unusable in the ways a real port is, and carvexctl has to say which.
class WhyTheCardCannotBeOpened : public ::testing::Test {
  protected:
    WhyTheCardCannotBeOpened() : publisher_{carvex::DeviceRoot(root_.Path())} {
        publisher_.PublishDevice(carvex::DeviceClass::kPorts, 0, kPcUiName + " (COM12)");
    }

    testsupport::ProgramResult Info(std::vector<std::string> wrapper = {}) {
        std::string program = CARVEXCTL;
        if (!wrapper.empty()) {
            program = wrapper.front();
            wrapper.erase(wrapper.begin());
            wrapper.push_back(CARVEXCTL);
        }
        wrapper.push_back("info");
        return RunProgram(program, wrapper, {"CARVEX_ROOT=" + root_.Path().string()});
    }

    testsupport::TempDir root_;
    carvex::DevicePublisher publisher_;
    cardsim::PtyPair pty_;
};

TEST_F(WhyTheCardCannotBeOpened, NotPublishedOrGone) {
    // The list names the port, the root links no tty for it: no error, just not published.
    const auto ports = RunProgram(CARVEXCTL, {"ports"}, {"CARVEX_ROOT=" + root_.Path().string()});
    EXPECT_EQ(ports.exit_code, 0) << ports.err;
    EXPECT_NE(Line(ports.out, "COM12  ").find("COM12  not published  PC UI"), std::string::npos)
        << ports.out;

    auto r = Info();
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("COM12 is not in the device root (" +
                         (root_.Path() / "com" / "COM12").string() + " is missing)"),
              std::string::npos)
        << r.err;

    publisher_.PublishComPort("COM12", root_.Path() / "ttyUSB2");
    r = Info();
    EXPECT_NE(r.err.find("the card's PC UI interface cannot be used: COM12 (" +
                         (root_.Path() / "ttyUSB2").string() +
                         ") is gone: the card was unplugged or is restarting"),
              std::string::npos)
        << r.err;
}

TEST_F(WhyTheCardCannotBeOpened, InUseByTheProcessHoldingItsLock) {
    publisher_.PublishComPort("COM12", pty_.SlavePath());
    // flock(1) takes the lock and says so; it lets go when its standard input closes.
    testsupport::RunningProgram locker(
        "/usr/bin/flock", {pty_.SlavePath().string(), "sh", "-c", "echo locked; read line"});
    const pid_t pid = locker.Pid();
    ASSERT_EQ(locker.Read(7), "locked\n");

    const auto r = Info();
    locker.Wait();
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("COM12 (" + pty_.SlavePath().string() + ") is in use by flock (pid " +
                         std::to_string(pid) + ")"),
              std::string::npos)
        << r.err;
}

TEST_F(WhyTheCardCannotBeOpened, NotPermittedNamesTheGroupToJoin) {
    const group* dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || dialout == nullptr) {
        GTEST_SKIP() << "needs root to run carvexctl as another user, and a dialout group";
    }
    // As a real card's tty is: root's, open to the group dialout.
    ASSERT_EQ(::chown(pty_.SlavePath().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(pty_.SlavePath().c_str(), 0660), 0);
    ASSERT_EQ(::chmod(root_.Path().c_str(), 0755), 0);
    publisher_.PublishComPort("COM12", pty_.SlavePath());

    const auto r =
        Info({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.err.find("you may not open COM12 (" + pty_.SlavePath().string() +
                         "): it is open to the group dialout, which you are not in (sudo usermod "
                         "-aG dialout nobody, then log out and in again)"),
              std::string::npos)
        << r.err;
}

}  // namespace
