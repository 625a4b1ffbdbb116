#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

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

void PutSourceJson(cardwright::Json& document, const carvex::DeviceRoot& root) {
    std::error_code error;
    document["device_root"] = root.Path().string();
    document["device_root_exists"] = fs::exists(root.Path(), error);
}

// What com/COMn points to, whether it is still there, and who else has it open.
PortPlace PlaceOf(const carvex::DeviceRoot& root, int com) {
    const std::string name = carvex::ComName(com);
    const fs::path link = root.ComDirectory() / name;
    std::error_code error;
    fs::path target = fs::read_symlink(link, error);
    if (error) {
        return {};
    }
    PortPlace place{target.string(), false, {}};
    if (!fs::exists(link, error)) {
        place.gone = true;
        return place;
    }
    if (target.is_relative()) {
        target = link.parent_path() / target;
    }
    const carvex::DeviceUsers users = carvex::FindDeviceUsers(target);
    const auto& busy = users.holders.empty() ? users.lockers : users.holders;
    if (!busy.empty()) {
        place.users = carvex::DescribeProcesses(busy);
    }
    return place;
}

namespace {

// A USB tty of this machine that the root does not point to, and why.
struct UnlistedTty {
    std::string name;  // "ttyUSB2"
    std::string device;
    std::string usb_id;  // "7e3b:abcd interface 02"
    std::optional<std::string> role;
    std::string why;
};

struct Unlisted {
    fs::path sysfs_ttys;
    std::vector<UnlistedTty> ttys;
    carvexudev::Problems problems;  // of the card table and the settings, skipped
};

Unlisted FindUnlisted(const carvex::DeviceRoot& root) {
    Unlisted unlisted;
    const auto settings =
        carvexudev::LoadSettings(carvexudev::ProgramDirectory(), unlisted.problems);
    const auto table = carvexudev::LoadCardTable(settings, unlisted.problems);
    unlisted.sysfs_ttys = settings.sysfs / "class" / "tty";

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

    const std::string local_table = (settings.config_dir / "cards.d" / "local.conf").string();
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
        UnlistedTty& found = unlisted.ttys.emplace_back(
            UnlistedTty{tty.name, tty.devnode.string(), carvexudev::Describe(tty.id), {}, {}});
        if (classification.role != carvexudev::PortRole::kNone) {
            found.role = std::string(carvexudev::RoleName(classification.role));
            found.why = "a " + *found.role + " port (" + classification.why +
                        ") that is not in this device root: install the udev rule, or run "
                        "carvex-udev --scan with CARVEX_ROOT=" +
                        root.Path().string();
        } else if (!classification.listed) {
            found.why = "not used: " + classification.why + ": add a line for it to " +
                        local_table + " to use it";
        } else {
            found.why = classification.why;
        }
    }
    return unlisted;
}

}  // namespace

void PrintUnlisted(std::ostream& out, const carvex::DeviceRoot& root) {
    const Unlisted unlisted = FindUnlisted(root);
    out << "\nUSB serial ports not published (" << PrintableText(unlisted.sysfs_ttys.string())
        << "):\n";
    for (const UnlistedTty& tty : unlisted.ttys) {
        out << "  "
            << PrintableText(tty.name + " (" + tty.device + ", " + tty.usb_id + "): " + tty.why)
            << "\n";
    }
    if (unlisted.ttys.empty()) {
        out << "  (none)\n";
    }
    for (const std::string& problem : unlisted.problems) {
        out << "card table or settings: " << PrintableText(problem) << " (skipped)\n";
    }
}

cardwright::Json UnlistedJson(const carvex::DeviceRoot& root) {
    const Unlisted unlisted = FindUnlisted(root);
    cardwright::Json ttys = cardwright::Json::array();
    for (const UnlistedTty& tty : unlisted.ttys) {
        ttys.push_back({{"tty", tty.name},
                        {"device", tty.device},
                        {"usb_id", tty.usb_id},
                        {"role", tty.role ? cardwright::Json(*tty.role) : cardwright::Json()},
                        {"why", tty.why}});
    }
    return {
        {"sysfs", unlisted.sysfs_ttys.string()}, {"ports", ttys}, {"problems", unlisted.problems}};
}

std::string NoCardHint(const carvex::DeviceRoot& root) {
    std::error_code error;
    return fs::exists(root.Path(), error)
               ? "; \"carvexctl ports --why\" tells what was found"
               : "; the device root does not exist: with a real card, install the udev rule or run "
                 "carvex-udev --scan";
}

}  // namespace carvexctl
