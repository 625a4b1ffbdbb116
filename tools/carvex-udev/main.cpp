// carvex-udev: publishes the serial ports of USB data cards into the device root, with the names
// and COM numbers the card's Windows driver would give them. udev runs it on the tty events of
// USB interfaces; `--scan` publishes what is plugged in now, without udev.
#include <sys/stat.h>
#include <syslog.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "carvex/platform/printable_text.h"
#include "tools/carvex-udev/com_numbers.h"
#include "tools/carvex-udev/root_publication.h"
#include "tools/carvex-udev/sysfs_tty.h"
#include "tools/carvex-udev/tty_classifier.h"
#include "tools/carvex-udev/udev_settings.h"

namespace {

namespace fs = std::filesystem;
using namespace carvexudev;

bool g_to_syslog = false;

// Under udev nobody reads standard error, so messages go to the system log as well. Names in
// them come from sysfs and udev (a USB device names its own interfaces): control characters are
// escaped on the way out.
void Report(const std::string& text, int priority = LOG_NOTICE) {
    const std::string line = carvex::PrintableText(text);
    std::cerr << "carvex-udev: " << line << std::endl;
    if (g_to_syslog) {
        syslog(priority, "%s", line.c_str());
    }
}

struct Setup {
    Settings settings;
    CardTable table;
};

Setup LoadSetup() {
    Problems problems;
    Setup setup;
    setup.settings = LoadSettings(ProgramDirectory(), problems);
    setup.table = LoadCardTable(setup.settings, problems);
    for (const std::string& problem : problems) {
        Report(problem + " (line skipped)");
    }
    return setup;
}

bool RecordExists(const carvex::DeviceRoot& root) {
    std::error_code error;
    return fs::exists(root.Path() / RootPublication::kRecordFileName, error);
}

void Unpublish(const carvex::DeviceRoot& root, const std::string& devpath, const char* why) {
    if (!RecordExists(root)) {
        return;
    }
    RootPublication publication(root);
    if (publication.Remove(devpath)) {
        publication.Commit();
        Report("removed " + devpath + " (" + why + ")");
    }
}

// What udev's database knows of a tty whose event is not the one being handled.
void ApplyUdevDatabase(const Setup& setup, UsbTty& tty) {
    if (tty.major >= 0 && tty.minor >= 0) {
        ApplyUdevProperties(PropertiesFromDatabase(setup.settings.udev_data, tty.major, tty.minor),
                            tty);
    }
}

struct ClassifiedTty {
    UsbTty tty;
    Classification classification;
};

// The ttys of the same USB device as `tty` that have a role.
std::vector<ClassifiedTty> OtherPortsOfCard(const Setup& setup, const UsbTty& tty) {
    std::vector<ClassifiedTty> ports;
    for (TtyEntry& entry : ListTtys(setup.settings.sysfs)) {
        if (!entry.usb || entry.usb->usb_device != tty.usb_device ||
            entry.usb->devpath == tty.devpath) {
            continue;
        }
        ApplyUdevDatabase(setup, *entry.usb);
        Classification classification = Classify(setup.table, *entry.usb);
        if (classification.role != PortRole::kNone) {
            ports.push_back({std::move(*entry.usb), std::move(classification)});
        }
    }
    return ports;
}

// add, change and remove of one tty, as udev describes it in the environment.
int HandleEvent(const Setup& setup, const Properties& event) {
    const auto action = Find(event, "ACTION");
    const auto devpath = Find(event, "DEVPATH");
    if (!action || !devpath) {
        Report(
            "no udev event in the environment (ACTION, DEVPATH); --scan publishes the cards "
            "plugged in now");
        return 2;
    }
    if (Find(event, "SUBSYSTEM") != "tty") {
        return 0;
    }
    const auto root = carvex::DeviceRoot::FromEnvironment();
    if (*action == "remove") {
        Unpublish(root, *devpath, "unplugged");
        return 0;
    }
    if (*action != "add" && *action != "change") {
        return 0;
    }
    auto tty = DescribeUsbTty(setup.settings.sysfs, *devpath);
    if (!tty) {
        Unpublish(root, *devpath, "no longer on a USB interface");
        return 0;
    }
    ApplyUdevProperties(event, *tty);
    const Classification classification = Classify(setup.table, *tty);
    if (classification.role == PortRole::kNone) {
        Unpublish(root, *devpath, "it has no role any more");
        return 0;
    }
    RootPublication publication(root);
    std::vector<ClassifiedTty> ports{{std::move(*tty), classification}};
    if (classification.role == PortRole::kPcUi && !classification.listed) {
        // A device the card table does not list is a card by its PC UI interface alone. udev
        // may have handled its other ttys before that interface existed, when nothing said the
        // device is a card: those not published are judged again now.
        for (ClassifiedTty& sibling : OtherPortsOfCard(setup, ports.front().tty)) {
            if (std::none_of(publication.Ports().begin(), publication.Ports().end(),
                             [&](const PublishedPort& published) {
                                 return published.devpath == sibling.tty.devpath;
                             })) {
                ports.push_back(std::move(sibling));
            }
        }
    }
    std::vector<std::string> keys;
    keys.reserve(ports.size());
    for (const ClassifiedTty& port : ports) {
        keys.push_back(PortKey(port.tty));
    }
    const std::vector<int> numbers = ComNumbers(setup.settings.state_dir).NumbersFor(keys);
    for (size_t i = 0; i < ports.size(); ++i) {
        const UsbTty& port = ports[i].tty;
        publication.Put({port.devpath, port.devnode, port.usb_device, ports[i].classification.role,
                         numbers[i], 0});
    }
    publication.Commit();
    for (size_t i = 0; i < ports.size(); ++i) {
        Report("published " + ports[i].tty.devnode.string() + " as COM" +
               std::to_string(numbers[i]) + " (" +
               std::string(RoleName(ports[i].classification.role)) + ", from " +
               ports[i].classification.why + ")");
    }
    return 0;
}

// For the rule's IMPORT{program}: the port's role, and ModemManager told to leave it alone.
int PrintClassification(const Setup& setup, const Properties& event) {
    const auto devpath = Find(event, "DEVPATH");
    auto tty = devpath ? DescribeUsbTty(setup.settings.sysfs, *devpath) : std::nullopt;
    if (!tty) {
        return 0;
    }
    ApplyUdevProperties(event, *tty);
    const Classification classification = Classify(setup.table, *tty);
    if (classification.role == PortRole::kNone) {
        return 0;
    }
    std::cout << "CARVEX_ROLE=" << RoleName(classification.role) << "\n";
    // Only a card the table lists: a device that is ours by its interface's name alone may still
    // be a modem that ModemManager serves. Under "borrow" its modem port stays ModemManager's
    // (the card's programs borrow the card while they work it); its probing would spoil the DIAG
    // traffic of the PC UI port at any time.
    using carvex::ModemManagerMode;
    const ModemManagerMode mode = setup.settings.modemmanager;
    if (classification.listed &&
        (mode == ModemManagerMode::kBlock ||
         (mode == ModemManagerMode::kBorrow && classification.role == PortRole::kPcUi))) {
        std::cout << "ID_MM_PORT_IGNORE=1\n";
    }
    return 0;
}

// Publishes every card port plugged in now, in place of what was published before.
int Scan(const Setup& setup) {
    std::vector<UsbTty> found;
    std::vector<PortRole> roles;
    for (TtyEntry& entry : ListTtys(setup.settings.sysfs)) {
        if (!entry.usb) {
            continue;
        }
        UsbTty& tty = *entry.usb;
        ApplyUdevDatabase(setup, tty);
        const Classification classification = Classify(setup.table, tty);
        if (classification.role == PortRole::kNone) {
            std::cerr << carvex::PrintableText(tty.name + ": not published: " + classification.why)
                      << "\n";
            continue;
        }
        found.push_back(std::move(tty));
        roles.push_back(classification.role);
    }
    std::vector<std::string> keys;
    keys.reserve(found.size());
    for (const UsbTty& tty : found) {
        keys.push_back(PortKey(tty));
    }
    const std::vector<int> numbers = ComNumbers(setup.settings.state_dir).NumbersFor(keys);
    std::vector<PublishedPort> ports;
    ports.reserve(found.size());
    for (size_t i = 0; i < found.size(); ++i) {
        ports.push_back(
            {found[i].devpath, found[i].devnode, found[i].usb_device, roles[i], numbers[i], 0});
    }

    const auto root = carvex::DeviceRoot::FromEnvironment();
    RootPublication publication(root);
    publication.ReplaceAll(std::move(ports));
    publication.Commit();
    std::vector<PublishedPort> published = publication.Ports();
    std::sort(published.begin(), published.end(),
              [](const PublishedPort& a, const PublishedPort& b) { return a.com < b.com; });
    for (const PublishedPort& port : published) {
        std::cout << "COM" << port.com << "  " << carvex::PrintableText(port.devnode.string())
                  << "  " << RoleName(port.role) << "  " << FriendlyName(port) << "\n";
    }
    const std::string root_path = carvex::PrintableText(root.Path().string());
    std::cout << publication.Ports().size() << " port(s) published in " << root_path << "\n";
    if (root.Path() != carvex::DeviceRoot::kDefaultPath) {
        std::cout << "Use it with: export CARVEX_ROOT=" << root_path << "\n";
    }
    return 0;
}

}  // namespace

// Options are listed with their descriptions alone; which ones go together is said in words.
class HelpFormatter : public CLI::Formatter {
  public:
    HelpFormatter() { column_width(14); }
    std::string make_option_opts(const CLI::Option*) const override { return {}; }
    std::string make_usage(const CLI::App*, std::string) const override {
        return "\nUsage: carvex-udev [--scan | --classify]\n";
    }
};

int Run(int argc, char** argv) {
    CLI::App app{
        "carvex-udev: publishes the serial ports of USB data cards into the Carvex device root\n"
        "($CARVEX_ROOT, default /run/carvex), as the card's Windows driver registers them."};
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_help_flag("-h,--help", "show this help and exit");
    app.footer(
        "Without an option it handles the udev event in its environment (ACTION, DEVPATH, ...),\n"
        "as its udev rule runs it. Which port is which comes from the card table\n"
        "(/usr/share/carvex/cards.conf, local lines in /etc/carvex/cards.d/*.conf).");
    bool scan = false;
    bool classify = false;
    auto* scan_flag = app.add_flag(
        "--scan", scan,
        "publish the cards plugged in now, walking /sys/class/tty (not with --classify)");
    app.add_flag("--classify", classify,
                 "print the port's role for the udev rule's IMPORT{program} and publish\n"
                 "nothing (not with --scan)")
        ->excludes(scan_flag);
    CLI11_PARSE(app, argc, argv);

    // Everything in the device root is for every user to read.
    ::umask(022);
    const Properties event = PropertiesFromEnvironment();
    g_to_syslog = !scan && !classify && event.contains("SEQNUM");
    if (g_to_syslog) {
        openlog("carvex-udev", LOG_PID, LOG_DAEMON);
    }
    const Setup setup = LoadSetup();
    if (scan) {
        return Scan(setup);
    }
    if (classify) {
        return PrintClassification(setup, event);
    }
    return HandleEvent(setup, event);
}

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const carvex::DevicePublisherLock::Timeout& e) {
        Report(std::string("nothing published: ") + e.what(), LOG_ERR);
        return 1;
    } catch (const carvex::UnsafeFolder& e) {
        Report(std::string("nothing published: ") + e.what(), LOG_ERR);
        return 1;
    } catch (const std::exception& e) {
        Report(e.what(), LOG_ERR);
        return 1;
    }
}
