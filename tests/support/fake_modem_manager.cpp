#include "tests/support/fake_modem_manager.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <stdexcept>

namespace testsupport {

namespace {

constexpr const char* kService = "org.freedesktop.ModemManager1";
constexpr const char* kPath = "/org/freedesktop/ModemManager1";

void Check(int result, const char* what) {
    if (result < 0) {
        throw std::runtime_error(std::string("fake ModemManager: ") + what +
                                 " failed: " + std::strerror(-result));
    }
}

// A modem object as ModemManager lists it: its modem interface among others.
void AppendModem(sd_bus_message* reply, const carvex::ManagedModem& modem) {
    Check(sd_bus_message_open_container(reply, 'e', "oa{sa{sv}}"), "a modem");
    Check(sd_bus_message_append(reply, "o", modem.object_path.c_str()), "its path");
    Check(sd_bus_message_open_container(reply, 'a', "{sa{sv}}"), "its interfaces");
    Check(sd_bus_message_append(reply, "{sa{sv}}", "org.freedesktop.ModemManager1.Modem.Simple", 0),
          "an interface");
    Check(sd_bus_message_open_container(reply, 'e', "sa{sv}"), "the modem interface");
    Check(sd_bus_message_append(reply, "s", "org.freedesktop.ModemManager1.Modem"), "its name");
    Check(sd_bus_message_open_container(reply, 'a', "{sv}"), "its properties");
    Check(sd_bus_message_append(reply, "{sv}", "Model", "s", "LW-X4201"), "Model");
    Check(sd_bus_message_append(reply, "{sv}", "Device", "s", modem.device.c_str()), "Device");
    Check(sd_bus_message_open_container(reply, 'e', "sv"), "Ports");
    Check(sd_bus_message_append(reply, "s", "Ports"), "Ports");
    Check(sd_bus_message_open_container(reply, 'v', "a(su)"), "Ports");
    Check(sd_bus_message_open_container(reply, 'a', "(su)"), "Ports");
    for (const std::string& port : modem.ports) {
        Check(sd_bus_message_append(reply, "(su)", port.c_str(), 3u), "a port");
    }
    for (int close = 0; close < 7; ++close) {
        Check(sd_bus_message_close_container(reply), "the modem");
    }
}

}  // namespace

struct FakeModemManager::Bus {
    ~Bus() { sd_bus_flush_close_unref(bus); }
    sd_bus* bus = nullptr;
};

FakeModemManager::FakeModemManager(std::string address, std::vector<carvex::ManagedModem> modems,
                                   Answer answer,
                                   std::function<size_t(const std::string& device)> note)
    : address_(std::move(address)),
      modems_(std::move(modems)),
      answer_(answer),
      note_(std::move(note)),
      stop_(::eventfd(0, EFD_CLOEXEC)) {
    std::promise<void> ready;
    std::future<void> started = ready.get_future();
    service_ = std::thread([this, &ready] {
        Bus bus;
        try {
            Check(sd_bus_new(&bus.bus), "sd_bus_new");
            Check(sd_bus_set_address(bus.bus, address_.c_str()), "setting the address");
            Check(sd_bus_set_bus_client(bus.bus, 1), "becoming a bus client");
            Check(sd_bus_start(bus.bus), "connecting");
            Serve(bus);
        } catch (...) {
            ready.set_exception(std::current_exception());
            return;
        }
        ready.set_value();
        Run(bus);
    });
    try {
        started.get();
    } catch (...) {
        service_.join();
        throw;
    }
}

FakeModemManager::~FakeModemManager() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stop_.Get(), &one, sizeof one);
    service_.join();
}

void FakeModemManager::Serve(Bus& bus) {
    const auto on_call = [](sd_bus_message* message, void* self, sd_bus_error*) {
        return static_cast<FakeModemManager*>(self)->Reply(message);
    };
    const auto on_owner_changed = [](sd_bus_message* message, void* self, sd_bus_error*) {
        return static_cast<FakeModemManager*>(self)->OwnerChanged(message);
    };
    // Watching callers before taking the name: a caller cannot leave unseen.
    Check(sd_bus_match_signal(bus.bus, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "NameOwnerChanged", on_owner_changed, this),
          "watching names");
    Check(sd_bus_add_object(bus.bus, nullptr, kPath, on_call, this), "serving the manager");
    Check(sd_bus_request_name(bus.bus, kService, 0), "taking the name");
}

void FakeModemManager::Run(Bus& bus) {
    for (;;) {
        const int processed = sd_bus_process(bus.bus, nullptr);
        if (processed < 0) {
            break;
        }
        if (processed > 0) {
            continue;
        }
        uint64_t until = 0;
        int timeout_ms = -1;
        if (sd_bus_get_timeout(bus.bus, &until) >= 0 && until != UINT64_MAX) {
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            const uint64_t now_us = static_cast<uint64_t>(now.tv_sec) * 1000000 +
                                    static_cast<uint64_t>(now.tv_nsec) / 1000;
            timeout_ms = until > now_us ? static_cast<int>((until - now_us + 999) / 1000) : 0;
        }
        pollfd fds[2] = {
            {sd_bus_get_fd(bus.bus), static_cast<short>(sd_bus_get_events(bus.bus)), 0},
            {stop_.Get(), POLLIN, 0}};
        if (::poll(fds, 2, timeout_ms) < 0 || (fds[1].revents & POLLIN) != 0) {
            break;
        }
    }
    // Given up before the object goes, so a ModemManager started next finds the name free.
    sd_bus_release_name(bus.bus, kService);
}

int FakeModemManager::Reply(sd_bus_message* message) {
    if (sd_bus_message_is_method_call(message, "org.freedesktop.DBus.ObjectManager",
                                      "GetManagedObjects") > 0) {
        sd_bus_message* reply = nullptr;
        Check(sd_bus_message_new_method_return(message, &reply), "a reply");
        Check(sd_bus_message_open_container(reply, 'a', "{oa{sa{sv}}}"), "the objects");
        for (const carvex::ManagedModem& modem : modems_) {
            if (!inhibited_.contains(modem.device)) {
                AppendModem(reply, modem);
            }
        }
        Check(sd_bus_message_close_container(reply), "the objects");
        const int sent = sd_bus_send(nullptr, reply, nullptr);
        sd_bus_message_unref(reply);
        return sent < 0 ? sent : 1;
    }
    if (sd_bus_message_is_method_call(message, kService, "InhibitDevice") <= 0) {
        return 0;
    }
    const char* device_text = nullptr;
    int inhibit = 0;
    if (sd_bus_message_read(message, "sb", &device_text, &inhibit) < 0) {
        return sd_bus_reply_method_errorf(message, SD_BUS_ERROR_INVALID_ARGS, "expected (sb)");
    }
    const std::string device = device_text;
    Call call{inhibit != 0 ? Call::Kind::kInhibit : Call::Kind::kUninhibit, device,
              sd_bus_message_get_sender(message), false, note_ ? note_(device) : 0};
    const bool known = std::any_of(modems_.begin(), modems_.end(),
                                   [&](const auto& modem) { return modem.device == device; });
    const auto held = inhibited_.find(device);
    const char* error = nullptr;
    std::string words;
    if (answer_ == Answer::kRefuse) {
        error = "org.freedesktop.ModemManager1.Error.Core.Unauthorized";
        words = "Not authorized to control the modem";
    } else if (inhibit != 0 && !known) {
        error = "org.freedesktop.ModemManager1.Error.Core.NotFound";
        words = "No device found with uid '" + device + "'";
    } else if (inhibit != 0 && held != inhibited_.end()) {
        error = "org.freedesktop.ModemManager1.Error.Core.InProgress";
        words = "Device '" + device + "' is already inhibited";
    } else if (inhibit == 0 && (held == inhibited_.end() || held->second != call.caller)) {
        error = "org.freedesktop.ModemManager1.Error.Core.NotFound";
        words = "No inhibition found for uid '" + device + "'";
    } else if (inhibit != 0) {
        inhibited_[device] = call.caller;
    } else {
        inhibited_.erase(held);
    }
    call.granted = error == nullptr;
    Record(std::move(call));
    return error == nullptr ? sd_bus_reply_method_return(message, "")
                            : sd_bus_reply_method_errorf(message, error, "%s", words.c_str());
}

int FakeModemManager::OwnerChanged(sd_bus_message* message) {
    const char* name = nullptr;
    const char* old_owner = nullptr;
    const char* new_owner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &old_owner, &new_owner) < 0 ||
        *new_owner != '\0') {
        return 0;
    }
    // As ModemManager does: an inhibition lasts only while its caller is on the bus.
    for (auto held = inhibited_.begin(); held != inhibited_.end();) {
        if (held->second == name) {
            Record(
                {Call::Kind::kCallerLeft, held->first, name, true, note_ ? note_(held->first) : 0});
            held = inhibited_.erase(held);
        } else {
            ++held;
        }
    }
    return 0;
}

void FakeModemManager::Record(Call call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
    recorded_.notify_all();
}

std::vector<FakeModemManager::Call> FakeModemManager::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

bool FakeModemManager::WaitForCalls(size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return recorded_.wait_for(lock, limit, [&] { return calls_.size() >= count; });
}

}  // namespace testsupport
