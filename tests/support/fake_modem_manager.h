#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "carvex/platform/modem_manager.h"
#include "carvex/platform/unique_fd.h"

struct sd_bus_message;

namespace testsupport {

// ModemManager as the card's programs meet it on the bus, on a thread of the test: it owns
// org.freedesktop.ModemManager1, lists its modems (ObjectManager's GetManagedObjects, the
// Device and Ports of each) and answers InhibitDevice as ModemManager does: an inhibited
// device's modem leaves the list until the program that inhibited it gives it back or leaves
// the bus; a device it does not know, or one inhibited already, is refused. Every call is
// recorded.
class FakeModemManager {
  public:
    enum class Answer {
        kLend,    // as a ModemManager that lets the caller control it
        kRefuse,  // as one whose polkit says no
    };

    struct Call {
        enum class Kind { kInhibit, kUninhibit, kCallerLeft };
        Kind kind;
        std::string device;
        std::string caller;  // the unique bus name of the program
        bool granted = false;
        // What `note` gave for the device when the call came (its card's requests so far, say).
        size_t noted = 0;
    };

    FakeModemManager(std::string address, std::vector<carvex::ManagedModem> modems,
                     Answer answer = Answer::kLend,
                     std::function<size_t(const std::string& device)> note = {});
    ~FakeModemManager();
    FakeModemManager(const FakeModemManager&) = delete;
    FakeModemManager& operator=(const FakeModemManager&) = delete;

    std::vector<Call> Calls() const;
    // Waits until `count` calls are recorded, for at most `limit`.
    bool WaitForCalls(size_t count, std::chrono::milliseconds limit) const;

  private:
    struct Bus;
    void Serve(Bus& bus);  // takes the name and starts answering
    void Run(Bus& bus);    // until the object goes
    int Reply(sd_bus_message* message);
    int OwnerChanged(sd_bus_message* message);
    void Record(Call call);

    std::string address_;
    std::vector<carvex::ManagedModem> modems_;
    Answer answer_;
    std::function<size_t(const std::string& device)> note_;

    mutable std::mutex mutex_;
    mutable std::condition_variable recorded_;
    std::vector<Call> calls_;
    std::map<std::string, std::string> inhibited_;  // device -> caller; the service thread's
    carvex::UniqueFd stop_;
    std::thread service_;
};

}  // namespace testsupport
