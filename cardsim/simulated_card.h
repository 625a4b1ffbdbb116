#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "cardsim/at_line_reader.h"
#include "cardsim/bench_publisher.h"
#include "cardsim/card_profile.h"
#include "cardsim/diag_responder.h"
#include "cardsim/fault.h"
#include "cardsim/pcui_writer.h"
#include "cardsim/pty_pair.h"
#include "carvex/link/frame_codec.h"
#include "carvex/platform/unique_fd.h"

namespace cardsim {

enum class Channel { kPcUi, kModem };

struct ReceivedRequest {
    Channel channel;
    Command command;
    Packet bytes;  // DIAG: the unframed packet without FCS; AT: the bytes of the line
};

// Where a card is: plugged in; away for its restart, coming back by itself after the profile's
// reset_gone_ms; pulled out (unplugged); or gone by itself for good (it vanished, or never came
// back from a restart) until it is plugged back in.
enum class CardPresence { kPlugged, kRestarting, kUnplugged, kGone };

// "plugged", "restarting", "unplugged", "gone".
std::string_view PresenceName(CardPresence presence);

struct PortEvent {
    Channel channel;
    bool opened;  // false: closed
    friend bool operator==(const PortEvent&, const PortEvent&) = default;
};

// A data card on pseudo-terminals, published in a device root as its driver would publish it:
// the PC UI interface (AT until switched to DIAG, then DIAG frames) and the modem interface
// (AT commands). A thread of its own answers both.
class SimulatedCard {
  public:
    struct Options {
        CardProfile profile;
        std::optional<std::filesystem::path> root;        // default: a temporary one of its own
        std::optional<std::filesystem::path> state_file;  // where a backup keeps the NV items
        int time_scale = 1;                               // the card's delays divided by this
        // With other cards in one root: their shared publisher (`root` is then its root) and
        // this card's place in the device lists.
        std::shared_ptr<BenchPublisher> bench;
        int card_number = 1;
    };

    explicit SimulatedCard(Options options);
    ~SimulatedCard();
    SimulatedCard(const SimulatedCard&) = delete;
    SimulatedCard& operator=(const SimulatedCard&) = delete;

    const carvex::DeviceRoot& Root() const { return publisher_->Root(); }
    // The card's profile as it was plugged in (its NV items as they change: Nv).
    const CardProfile& Profile() const { return options_.profile; }
    int PcUiPort() const { return options_.profile.pcui_port; }
    int ModemPort() const { return options_.profile.modem_port; }

    // The fault for a command, in place of those it had.
    void SetFault(Command command, Fault fault);
    // One more fault for a command, after those it has: each hits until it is used up (its
    // count of requests), then the next one does.
    void AddFault(Command command, Fault fault);
    void ClearFaults();

    std::vector<ReceivedRequest> Requests() const;
    void ClearRequests();
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;

    // Opens and closes of the two devices by anyone but the card itself.
    std::vector<PortEvent> PortEvents() const;
    bool WaitForPortEvents(size_t count, std::chrono::milliseconds timeout) const;

    bool InDiagMode() const;
    bool Present() const;
    CardPresence Presence() const;
    bool WaitForPresence(bool present, std::chrono::milliseconds timeout) const;
    int Resets() const;

    std::optional<NvValue> Nv(uint16_t item) const;
    void SetNv(uint16_t item, const NvValue& value);
    uint16_t Mode() const;
    std::pair<uint8_t, uint8_t> PortSetting() const;

    // The device goes away and does not come back.
    void Vanish();

    // The card pulled out of its slot: its interfaces go at once, answers under way are never
    // sent, and a restart under way never comes back. Returns once its entries have left the
    // device root; does nothing to a card unplugged already. The presence it had.
    CardPresence Unplug();
    // The card put back into its slot, unplugged or gone: new interfaces under its COM numbers
    // and names, in AT mode, its NV items and faults as it had them. Returns once it is
    // published; does nothing to a card that is plugged in or restarting. The presence it had.
    // Throws when its interfaces cannot be made.
    CardPresence Replug();

    // The card's thread begins to end (the destructor waits for it): for many cards that end
    // together.
    void Stop();

    // While on, the PC UI interface in DIAG mode sends unrequested event reports without pause,
    // as fast as the PC takes them; answers still arrive whole, between two reports.
    void StreamUnsolicited(bool on);

  private:
    struct Scheduled {
        std::chrono::steady_clock::time_point due;
        std::function<void()> action;
    };
    using Clock = std::chrono::steady_clock;

    void Run();
    void Guarded(const std::function<void()>& work) noexcept;
    void Publish();
    void Unpublish();
    void Disconnect();
    void Connect();
    void Post(std::function<void()> action);
    CardPresence OnCardThread(std::function<CardPresence()> work);
    void Schedule(std::chrono::milliseconds delay, std::function<void()> action);
    void ScheduleReply(std::chrono::milliseconds delay, std::function<void()> reply);
    std::chrono::milliseconds Scaled(std::chrono::milliseconds named) const;

    // The fault that hits this request, if any, counted off as it does.
    std::optional<Fault> TakeFault(Command command, std::span<const uint8_t> request = {});
    void Record(Channel channel, Command command, Packet bytes);
    void HandlePcUi(std::span<const uint8_t> bytes);
    void HandleAtLine(const std::string& line);
    void HandleDiagFrame(std::span<const uint8_t> frame);
    void HandleModem(std::span<const uint8_t> bytes);
    void HandleModemLine(const std::string& line);
    void Deliver(const Packet& reply, const std::optional<Fault>& fault);
    void HandleInotify();
    void GoOnceRead(std::chrono::steady_clock::time_point give_up, uint64_t reads_before,
                    bool comes_back, uint64_t departures);

    Options options_;
    std::shared_ptr<BenchPublisher> publisher_;
    std::optional<std::filesystem::path> owned_root_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    CardState state_;
    std::multimap<Command, Fault> faults_;
    std::vector<ReceivedRequest> requests_;
    std::vector<PortEvent> port_events_;
    std::vector<Scheduled> scheduled_;
    std::vector<std::function<void()>> posted_;

    std::optional<PtyPair> pcui_;
    std::optional<PtyPair> modem_;
    int pcui_watch_ = -1;
    uint64_t pcui_reads_ = 0;  // reads of the PC UI interface by the PC
    int modem_watch_ = -1;
    bool diag_mode_ = false;
    // What may still come of the switch before the first frame: its line's LF, a flag.
    enum class AfterSwitch { kLineFeed, kFlag, kFrames };
    AfterSwitch after_switch_ = AfterSwitch::kFrames;
    AtLineReader pcui_line_;
    AtLineReader modem_line_;
    std::vector<uint8_t> frame_buffer_;
    carvex::FrameDecoder decoder_;
    int resets_ = 0;
    uint64_t departures_ = 0;  // how often the card went away (its interfaces withdrawn)
    CardPresence presence_ = CardPresence::kPlugged;
    bool stopping_ = false;
    bool streaming_ = false;
    PcUiWriter writer_;

    carvex::UniqueFd wake_;
    carvex::UniqueFd stop_;  // readable once the card stops, for writes that wait on the PC
    carvex::UniqueFd inotify_;
    std::thread service_;
};

}  // namespace cardsim
