#include <systemd/sd-bus.h>

#include <chrono>
#include <cstring>

#include "carvex/link/port_discovery.h"
#include "carvex/platform/modem_manager.h"

namespace carvex {

namespace {

using std::chrono::microseconds;

constexpr const char* kService = "org.freedesktop.ModemManager1";
constexpr const char* kManagerPath = "/org/freedesktop/ModemManager1";
constexpr const char* kModemInterface = "org.freedesktop.ModemManager1.Modem";
// ModemManager answers an inhibition once it has disabled the modem and closed its ports.
constexpr std::chrono::seconds kInhibitTimeout{20};
// Giving the card back needs no waiting: the connection's end gives it back as well.
constexpr std::chrono::seconds kReleaseTimeout{5};

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;

struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

class BusError {
  public:
    BusError() = default;
    ~BusError() { sd_bus_error_free(&error_); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;

    sd_bus_error* Get() { return &error_; }
    bool Is(const char* name) const { return sd_bus_error_has_name(&error_, name) != 0; }
    // The error's name and message, or the system's words for `result`.
    std::string Text(int result) const {
        if (sd_bus_error_is_set(&error_) == 0) {
            return std::strerror(-result);
        }
        std::string text = error_.name;
        if (error_.message != nullptr && *error_.message != '\0') {
            text += ": " + std::string(error_.message);
        }
        return text;
    }

  private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

struct Connection {
    Bus bus;
    std::string why_not;  // set when there is no bus, or no ModemManager on it
};

// The system bus, with ModemManager on it.
Connection ConnectToModemManager() {
    sd_bus* raw = nullptr;
    const int opened = sd_bus_open_system(&raw);
    if (opened < 0) {
        return {nullptr, "no system bus (" + std::string(std::strerror(-opened)) + ")"};
    }
    Bus bus(raw);
    BusError error;
    sd_bus_message* reply_raw = nullptr;
    const int asked = sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                         "org.freedesktop.DBus", "NameHasOwner", error.Get(),
                                         &reply_raw, "s", kService);
    const Message reply(reply_raw);
    int running = 0;
    if (asked < 0 || sd_bus_message_read(reply.get(), "b", &running) < 0) {
        return {nullptr, "the system bus does not answer (" + error.Text(asked) + ")"};
    }
    if (running == 0) {
        return {nullptr, "not running"};
    }
    return {std::move(bus), {}};
}

// A call to ModemManager that does not start it: a card that nobody manages needs no borrowing,
// and a report only looks.
int CallModemManager(sd_bus* bus, const char* path, const char* interface, const char* member,
                     const std::function<int(sd_bus_message*)>& arguments, microseconds timeout,
                     BusError& error, Message& reply) {
    sd_bus_message* call_raw = nullptr;
    int result = sd_bus_message_new_method_call(bus, &call_raw, kService, path, interface, member);
    const Message call(call_raw);
    if (result >= 0) {
        result = arguments(call.get());
    }
    if (result >= 0) {
        result = sd_bus_message_set_auto_start(call.get(), 0);
    }
    if (result < 0) {
        return result;
    }
    sd_bus_message* reply_raw = nullptr;
    result = sd_bus_call(bus, call.get(), static_cast<uint64_t>(timeout.count()), error.Get(),
                         &reply_raw);
    reply.reset(reply_raw);
    return result;
}

int Inhibit(sd_bus* bus, const std::string& device, bool inhibit, microseconds timeout,
            BusError& error) {
    Message reply;
    return CallModemManager(
        bus, kManagerPath, kService, "InhibitDevice",
        [&](sd_bus_message* call) {
            return sd_bus_message_append(call, "sb", device.c_str(), inhibit ? 1 : 0);
        },
        timeout, error, reply);
}

// The line for the log when the card is not borrowed.
std::string NotBorrowed(const std::string& why, bool modem_manager_may_use_it) {
    std::string line = "ModemManager: " + why + "; the card is worked without borrowing it";
    if (modem_manager_may_use_it) {
        line +=
            ", and ModemManager may use its modem port meanwhile (\"modemmanager = block\" in "
            "carvex.conf keeps it off the card's ports)";
    }
    return line;
}

}  // namespace

class ModemManagerBorrow::Loan {
  public:
    Loan(Bus bus, std::string device) : bus_(std::move(bus)), device_(std::move(device)) {}
    ~Loan() {
        BusError ignored;
        Inhibit(bus_.get(), device_, false, kReleaseTimeout, ignored);
    }
    Loan(const Loan&) = delete;
    Loan& operator=(const Loan&) = delete;

  private:
    Bus bus_;  // ModemManager keeps the card let go of while this connection lives
    std::string device_;
};

ModemManagerBorrow::ModemManagerBorrow(const DeviceRoot& root, std::optional<int> port,
                                       ModemManagerMode mode, const Say& say) {
    if (mode != ModemManagerMode::kBorrow) {
        return;
    }
    // Without a card there is nothing to borrow; opening it will say so.
    const std::optional<int> com = port ? port : FindDiagPort(root);
    if (!com) {
        return;
    }
    Connection connection = ConnectToModemManager();
    if (!connection.bus) {
        say(NotBorrowed(connection.why_not, false));
        return;
    }
    const std::string card = "the card on " + ComName(*com);
    const std::optional<std::string> device = PublishedUsbDevice(root, *com);
    if (!device) {
        say(NotBorrowed("the device root names no USB device for " + card, true));
        return;
    }
    BusError error;
    const int inhibited = Inhibit(connection.bus.get(), *device, true,
                                  std::chrono::duration_cast<microseconds>(kInhibitTimeout), error);
    if (inhibited >= 0) {
        loan_ = std::make_unique<Loan>(std::move(connection.bus), *device);
        say("ModemManager lends " + card + " (" + *device +
            ") to this program until its work ends");
        return;
    }
    if (error.Is("org.freedesktop.ModemManager1.Error.Core.NotFound")) {
        say(NotBorrowed("it manages no device " + *device + " (" + card + ")", false));
    } else if (error.Is("org.freedesktop.ModemManager1.Error.Core.Unauthorized") ||
               error.Is(SD_BUS_ERROR_ACCESS_DENIED) ||
               error.Is(SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED)) {
        say(NotBorrowed("it refuses to lend " + card + " (" + error.Text(inhibited) + ")", true));
    } else {
        say(NotBorrowed("it did not lend " + card + " (" + error.Text(inhibited) + ")", true));
    }
}

ModemManagerBorrow::~ModemManagerBorrow() = default;

bool ModemManagerBorrow::Borrowed() const {
    return loan_ != nullptr;
}

namespace {

// The Device and Ports properties of a modem's interface; every other property is skipped.
int ReadModemProperties(sd_bus_message* reply, ManagedModem& modem) {
    int result = sd_bus_message_enter_container(reply, 'a', "{sv}");
    while (result >= 0 && (result = sd_bus_message_enter_container(reply, 'e', "sv")) > 0) {
        const char* name = nullptr;
        const char* contents = nullptr;
        result = sd_bus_message_read(reply, "s", &name);
        if (result >= 0) {
            result = sd_bus_message_peek_type(reply, nullptr, &contents);
        }
        if (result < 0) {
            return result;
        }
        const std::string_view type = contents != nullptr ? contents : "";
        if (std::strcmp(name, "Device") == 0 && type == "s") {
            const char* device = nullptr;
            result = sd_bus_message_read(reply, "v", "s", &device);
            modem.device = device != nullptr ? device : "";
        } else if (std::strcmp(name, "Ports") == 0 && type == "a(su)") {
            result = sd_bus_message_enter_container(reply, 'v', "a(su)");
            if (result >= 0) {
                result = sd_bus_message_enter_container(reply, 'a', "(su)");
            }
            const char* port = nullptr;
            uint32_t port_type = 0;
            while (result >= 0 &&
                   (result = sd_bus_message_read(reply, "(su)", &port, &port_type)) > 0) {
                modem.ports.emplace_back(port);
            }
            if (result >= 0) {
                result = sd_bus_message_exit_container(reply);
            }
            if (result >= 0) {
                result = sd_bus_message_exit_container(reply);
            }
        } else {
            result = sd_bus_message_skip(reply, "v");
        }
        if (result >= 0) {
            result = sd_bus_message_exit_container(reply);
        }
    }
    return result < 0 ? result : sd_bus_message_exit_container(reply);
}

// GetManagedObjects' a{oa{sa{sv}}}: the objects that have the modem interface.
int ReadModems(sd_bus_message* reply, std::vector<ManagedModem>& modems) {
    int result = sd_bus_message_enter_container(reply, 'a', "{oa{sa{sv}}}");
    while (result >= 0 && (result = sd_bus_message_enter_container(reply, 'e', "oa{sa{sv}}")) > 0) {
        const char* path = nullptr;
        ManagedModem modem;
        bool is_modem = false;
        result = sd_bus_message_read(reply, "o", &path);
        if (result >= 0) {
            modem.object_path = path;
            result = sd_bus_message_enter_container(reply, 'a', "{sa{sv}}");
        }
        while (result >= 0 && (result = sd_bus_message_enter_container(reply, 'e', "sa{sv}")) > 0) {
            const char* interface = nullptr;
            result = sd_bus_message_read(reply, "s", &interface);
            if (result >= 0 && std::strcmp(interface, kModemInterface) == 0) {
                is_modem = true;
                result = ReadModemProperties(reply, modem);
            } else if (result >= 0) {
                result = sd_bus_message_skip(reply, "a{sv}");
            }
            if (result >= 0) {
                result = sd_bus_message_exit_container(reply);
            }
        }
        if (result >= 0) {
            result = sd_bus_message_exit_container(reply);
        }
        if (result >= 0) {
            result = sd_bus_message_exit_container(reply);
        }
        if (result >= 0 && is_modem) {
            modems.push_back(std::move(modem));
        }
    }
    return result < 0 ? result : sd_bus_message_exit_container(reply);
}

}  // namespace

ModemManagerView AskModemManager() {
    ModemManagerView view;
    Connection connection = ConnectToModemManager();
    if (!connection.bus) {
        view.why_not = connection.why_not;
        return view;
    }
    BusError error;
    Message reply;
    int result = CallModemManager(
        connection.bus.get(), kManagerPath, "org.freedesktop.DBus.ObjectManager",
        "GetManagedObjects", [](sd_bus_message*) { return 0; },
        std::chrono::duration_cast<microseconds>(kReleaseTimeout), error, reply);
    if (result >= 0) {
        result = ReadModems(reply.get(), view.modems);
    }
    if (result < 0) {
        view.modems.clear();
        view.why_not = "ModemManager's modems cannot be listed (" + error.Text(result) + ")";
        return view;
    }
    view.reached = true;
    return view;
}

}  // namespace carvex
