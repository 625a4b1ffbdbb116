#include <set>
#include <string>
#include <system_error>

#include "carvex/platform/device_users.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvex-udev/sysfs_tty.h"
#include "tools/carvex-udev/tty_classifier.h"
#include "tools/carvex-udev/udev_settings.h"
#include "tools/carvexctl/ports_source.h"

namespace carvexctl {

namespace fs = std::filesystem;
using carvex::PrintableText;

std::string WhereCardsAreFound() {
    return "The card is looked up under $CARVEX_ROOT (default /run/carvex).";
}

void PrintSource(std::ostream& out, const carvex::DeviceRoot& root) {
    out << "Device root " << PrintableText(root.Path().string()) << "\n";
    std::error_code error;
    if (!fs::exists(root.Path(), error)) {
        out << "It does not exist: with a real card, install the udev rule or run carvex-udev "
               "--scan.\n";
    }
}

// What com/COMn points to, whether it is still there, and who else has it open.
PortPlace PlaceOf(const carvex::DeviceRoot& root, int com) {
    const std::string name = carvex::ComName(com);
    const fs::path link = root.ComDirectory() / name;
    std::error_code error;
    fs::path target = fs::read_symlink(link, error);
    if (error) {
        return {"not published", {}};
    }
    PortPlace place{PrintableText(target.string()), {}};
    if (!fs::exists(link, error)) {
        place.target += " (gone)";
        return place;
    }
    if (target.is_relative()) {
        target = link.parent_path() / target;
    }
    const carvex::DeviceUsers users = carvex::FindDeviceUsers(target);
    auto busy = users.holders.empty() ? users.lockers : users.holders;
    if (!busy.empty()) {
        for (carvex::ProcessInfo& process : busy) {
            process.name = PrintableText(process.name);
        }
        place.users = carvex::DescribeProcesses(busy);
    }
    return place;
}

// The USB ttys of this machine that the root does not point to.
void PrintUnlisted(std::ostream& out, const carvex::DeviceRoot& root) {
    carvexudev::Problems problems;
    const auto settings = carvexudev::LoadSettings(carvexudev::ProgramDirectory(), problems);
    const auto table = carvexudev::LoadCardTable(settings, problems);

    std::set<fs::path> published;
    std::error_code error;
    for (fs::directory_iterator it(root.ComDirectory(), error), end; !error && it != end;
         it.increment(error)) {
        std::error_code link_error;
        const fs::path target = fs::read_symlink(it->path(), link_error);
        if (!link_error) {
            published.insert(target.lexically_normal());
        }
    }

    out << "\nUSB serial ports not published ("
        << PrintableText((settings.sysfs / "class" / "tty").string()) << "):\n";
    const std::string local_table =
        PrintableText((settings.config_dir / "cards.d" / "local.conf").string());
    int count = 0;
    for (auto& entry : carvexudev::ListTtys(settings.sysfs)) {
        if (!entry.usb) {
            continue;
        }
        carvexudev::UsbTty& tty = *entry.usb;
        if (published.contains(tty.devnode.lexically_normal())) {
            continue;
        }
        if (tty.major >= 0 && tty.minor >= 0) {
            carvexudev::ApplyUdevProperties(
                carvexudev::PropertiesFromDatabase(settings.udev_data, tty.major, tty.minor), tty);
        }
        const auto classification = carvexudev::Classify(table, tty);
        std::string text =
            tty.name + " (" + tty.devnode.string() + ", " + carvexudev::Describe(tty.id) + "): ";
        if (classification.role != carvexudev::PortRole::kNone) {
            text += "a " + std::string(carvexudev::RoleName(classification.role)) + " port (" +
                    classification.why +
                    ") that is not in this device root: install the udev rule, or run "
                    "carvex-udev --scan with CARVEX_ROOT=" +
                    root.Path().string();
        } else if (!classification.listed) {
            text += "not used: " + classification.why + ": add a line for it to " + local_table +
                    " to use it";
        } else {
            text += classification.why;
        }
        out << "  " << PrintableText(text) << "\n";
        ++count;
    }
    if (count == 0) {
        out << "  (none)\n";
    }
    for (const std::string& problem : problems) {
        out << "card table or settings: " << PrintableText(problem) << " (skipped)\n";
    }
}

std::string NoCardHint(const carvex::DeviceRoot& root) {
    std::error_code error;
    return fs::exists(root.Path(), error)
               ? "; \"carvexctl ports --why\" tells what was found"
               : "; the device root does not exist: with a real card, install the udev rule or run "
                 "carvex-udev --scan";
}

}  // namespace carvexctl
