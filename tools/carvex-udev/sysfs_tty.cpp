#include "tools/carvex-udev/sysfs_tty.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "carvex/platform/whole_file.h"
#include "tools/carvex-udev/text_lines.h"

namespace carvexudev {

namespace fs = std::filesystem;

namespace {

// A sysfs attribute is at most a page; more than that is not an attribute.
constexpr uint64_t kMaxAttributeBytes = 4096;

// A sysfs attribute without its closing newline; nullopt when the file is not there or cannot be
// read.
std::optional<std::string> Attribute(const fs::path& path) {
    carvex::WholeFile file = carvex::ReadWholeFile(path, kMaxAttributeBytes);
    if (file.stamp.kind != carvex::FileStamp::Kind::kFile || file.error) {
        return std::nullopt;
    }
    std::string text = std::move(file.content);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

std::optional<int> Decimal(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The tty's uevent as the kernel writes it: MAJOR, MINOR and DEVNAME (relative to /dev).
void ReadUevent(const fs::path& device, UsbTty& tty) {
    const std::string uevent = Attribute(device / "uevent").value_or("");
    for (const std::string_view line : Lines(uevent)) {
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = line.substr(0, equals);
        const std::string value(line.substr(equals + 1));
        if (key == "DEVNAME" && !value.empty()) {
            tty.devnode = value.front() == '/' ? fs::path(value) : fs::path("/dev") / value;
        } else if (key == "MAJOR") {
            tty.major = Decimal(value).value_or(-1);
        } else if (key == "MINOR") {
            tty.minor = Decimal(value).value_or(-1);
        }
    }
}

// The interfaces of a USB device are the folders below it with a bInterfaceNumber.
std::vector<std::string> InterfaceNames(const fs::path& device) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(device, error), end; !error && it != end; it.increment(error)) {
        if (!Attribute(it->path() / "bInterfaceNumber")) {
            continue;
        }
        if (auto name = Attribute(it->path() / "interface"); name && !name->empty()) {
            names.push_back(std::move(*name));
        }
    }
    return names;
}

bool SafeDevpath(std::string_view devpath) {
    return devpath.starts_with("/") && devpath.find("/../") == std::string_view::npos &&
           !devpath.ends_with("/..");
}

}  // namespace

std::optional<UsbTty> DescribeUsbTty(const fs::path& sysfs, std::string_view devpath) {
    std::error_code error;
    if (!SafeDevpath(devpath) || !fs::is_directory(sysfs / devpath.substr(1), error)) {
        return std::nullopt;
    }
    std::string ancestor(devpath);
    for (size_t slash = ancestor.rfind('/'); slash != 0 && slash != std::string::npos;
         slash = ancestor.rfind('/')) {
        ancestor.resize(slash);
        const fs::path interface = sysfs / ancestor.substr(1);
        const auto number = Attribute(interface / "bInterfaceNumber");
        if (!number) {
            continue;
        }
        const std::string usb_device = ancestor.substr(0, ancestor.rfind('/'));
        const fs::path device = sysfs / usb_device.substr(1);
        const auto vendor = Attribute(device / "idVendor");
        const auto product = Attribute(device / "idProduct");
        const auto interface_number = ParseHex(*number, 2);
        const auto vendor_id = vendor ? ParseHex(*vendor, 4) : std::nullopt;
        const auto product_id = product ? ParseHex(*product, 4) : std::nullopt;
        if (usb_device.empty() || !vendor_id || !product_id || !interface_number) {
            return std::nullopt;
        }
        UsbTty tty;
        tty.devpath = devpath;
        tty.name = tty.devpath.substr(tty.devpath.rfind('/') + 1);
        tty.devnode = fs::path("/dev") / tty.name;
        tty.usb_device = usb_device;
        tty.id =
            UsbInterfaceId{static_cast<uint16_t>(*vendor_id), static_cast<uint16_t>(*product_id),
                           static_cast<uint8_t>(*interface_number)};
        tty.interface_name = Attribute(interface / "interface");
        if (tty.interface_name && tty.interface_name->empty()) {
            tty.interface_name.reset();
        }
        tty.device_interface_names = InterfaceNames(device);
        ReadUevent(sysfs / devpath.substr(1), tty);
        return tty;
    }
    return std::nullopt;
}

void ApplyUdevProperties(const Properties& properties, UsbTty& tty) {
    if (const auto devname = Find(properties, "DEVNAME"); devname && !devname->empty()) {
        tty.devnode = devname->front() == '/' ? fs::path(*devname) : fs::path("/dev") / *devname;
    }
    if (const auto vendor = Find(properties, "ID_VENDOR_ID")) {
        tty.id.vendor = static_cast<uint16_t>(ParseHex(*vendor, 4).value_or(tty.id.vendor));
    }
    if (const auto product = Find(properties, "ID_MODEL_ID")) {
        tty.id.product = static_cast<uint16_t>(ParseHex(*product, 4).value_or(tty.id.product));
    }
    if (const auto number = Find(properties, "ID_USB_INTERFACE_NUM")) {
        tty.id.interface_number =
            static_cast<uint8_t>(ParseHex(*number, 2).value_or(tty.id.interface_number));
    }
    if (const auto id_path = Find(properties, "ID_PATH")) {
        tty.id_path = *id_path;
    }
    tty.mm_at_primary = Find(properties, "ID_MM_PORT_TYPE_AT_PRIMARY") == "1";
    tty.mm_at_secondary = Find(properties, "ID_MM_PORT_TYPE_AT_SECONDARY") == "1";
}

std::vector<TtyEntry> ListTtys(const fs::path& sysfs) {
    std::vector<TtyEntry> entries;
    std::error_code error;
    const fs::path root = fs::canonical(sysfs, error);
    if (error) {
        return entries;
    }
    for (fs::directory_iterator it(sysfs / "class" / "tty", error), end; !error && it != end;
         it.increment(error)) {
        std::error_code resolve_error;
        const fs::path device = fs::canonical(it->path(), resolve_error);
        if (resolve_error) {
            continue;
        }
        const fs::path relative = device.lexically_relative(root);
        if (relative.empty() || relative.begin()->string() == "..") {
            continue;
        }
        TtyEntry entry;
        entry.name = it->path().filename().string();
        entry.devpath = "/" + relative.string();
        entry.usb = DescribeUsbTty(sysfs, entry.devpath);
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const TtyEntry& a, const TtyEntry& b) { return a.name < b.name; });
    return entries;
}

}  // namespace carvexudev
