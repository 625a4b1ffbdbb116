#include "cardsim/simulated_card.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include "cardsim/card_state_file.h"
#include "carvex/platform/ascii_case.h"

namespace cardsim {

namespace {

constexpr std::chrono::seconds kAcknowledgementGrace{2};
constexpr uint8_t kBackupFailed = 1;  // the result byte of a backup answer

}  // namespace

SimulatedCard::SimulatedCard(Options options)
    : options_(std::move(options)),
      publisher_(options_.bench ? options_.bench
                                : std::make_shared<BenchPublisher>(carvex::DeviceRoot(
                                      options_.root ? *options_.root : MakeTemporaryRoot()))),
      state_(options_.profile),
      frame_buffer_(carvex::kFrameBufferSize),
      decoder_(frame_buffer_),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      inotify_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    if (!options_.root && !options_.bench) {
        owned_root_ = publisher_->Root().Path();
    }
    if (!inotify_) {
        const int error = errno;
        // A user has few inotify instances (128 by default), and every card takes one.
        throw std::runtime_error(
            "cannot watch the card's interfaces: " + std::string(std::strerror(error)) +
            (error == EMFILE ? " (every card takes an inotify instance of the user's; see "
                               "sysctl fs.inotify.max_user_instances)"
                             : ""));
    }
    if (!wake_ || !stop_) {
        throw std::runtime_error("cannot create the card's event descriptors");
    }
    for (const auto& [command, fault] : options_.profile.faults) {
        faults_.emplace(command, fault);
    }
    if (options_.state_file) {
        LoadCardState(*options_.state_file, state_);
    }
    Connect();
    service_ = std::thread([this] { Run(); });
}

SimulatedCard::~SimulatedCard() {
    Stop();
    service_.join();
    if (owned_root_) {
        std::error_code ignored;
        std::filesystem::remove_all(*owned_root_, ignored);
    }
}

std::chrono::milliseconds SimulatedCard::Scaled(std::chrono::milliseconds named) const {
    return named / std::max(1, options_.time_scale);
}

void SimulatedCard::Stop() {
    Post([this] { stopping_ = true; });
    const uint64_t one = 1;
    (void)!::write(stop_.Get(), &one, sizeof one);
}

void SimulatedCard::Post(std::function<void()> action) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(action));
    }
    const uint64_t one = 1;
    (void)!::write(wake_.Get(), &one, sizeof one);
}

void SimulatedCard::Schedule(std::chrono::milliseconds delay, std::function<void()> action) {
    scheduled_.push_back({Clock::now() + Scaled(delay), std::move(action)});
}

// A reply the card scheduled goes with the card: one due after the card went away is never sent,
// not even on the interfaces it comes back with.
void SimulatedCard::ScheduleReply(std::chrono::milliseconds delay, std::function<void()> reply) {
    Schedule(delay, [this, departures = departures_, reply = std::move(reply)] {
        if (departures == departures_) {
            reply();
        }
    });
}

void SimulatedCard::Run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        int timeout_ms = -1;
        if (!scheduled_.empty()) {
            const auto next = std::min_element(scheduled_.begin(), scheduled_.end(),
                                               [](auto& a, auto& b) { return a.due < b.due; });
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(next->due - Clock::now()).count();
            timeout_ms = static_cast<int>(std::max<long>(0, left));
        }
        const int pcui_fd = pcui_ ? pcui_->MasterFd() : -1;
        const int modem_fd = modem_ ? modem_->MasterFd() : -1;
        const bool stream = streaming_ && diag_mode_ && pcui_;
        pollfd fds[4] = {{wake_.Get(), POLLIN, 0},
                         {inotify_.Get(), POLLIN, 0},
                         {pcui_fd, static_cast<short>(POLLIN | (stream ? POLLOUT : 0)), 0},
                         {modem_fd, POLLIN, 0}};
        lock.unlock();
        const int ready = ::poll(fds, 4, timeout_ms);
        lock.lock();
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            (void)!::read(wake_.Get(), &count, sizeof count);
        }
        if (fds[1].revents & POLLIN) {
            Guarded([this] { HandleInotify(); });
        }
        // A device replaced meanwhile is read on the next round.
        if ((fds[2].revents & POLLIN) && pcui_ && pcui_->MasterFd() == pcui_fd) {
            Guarded([this] { HandlePcUi(pcui_->Read(std::chrono::milliseconds(0))); });
        }
        if ((fds[2].revents & POLLOUT) && pcui_ && pcui_->MasterFd() == pcui_fd) {
            Guarded([this] {
                if (streaming_ && diag_mode_) {
                    writer_.ContinueStream(*pcui_);
                }
            });
        }
        if ((fds[3].revents & POLLIN) && modem_ && modem_->MasterFd() == modem_fd) {
            Guarded([this] { HandleModem(modem_->Read(std::chrono::milliseconds(0))); });
        }
        const auto now = Clock::now();
        std::vector<Scheduled> due;
        for (auto it = scheduled_.begin(); it != scheduled_.end();) {
            if (it->due <= now) {
                due.push_back(std::move(*it));
                it = scheduled_.erase(it);
            } else {
                ++it;
            }
        }
        std::sort(due.begin(), due.end(), [](auto& a, auto& b) { return a.due < b.due; });
        for (auto& item : due) {
            Guarded(item.action);
        }
        auto posted = std::move(posted_);
        posted_.clear();
        for (auto& action : posted) {
            Guarded(action);
        }
    }
    // Many cards that stop together hang up their interfaces each on its own thread, at once.
    Guarded([this] { Disconnect(); });
}

// The card's thread serves every event on its own: what goes wrong with one (a pseudo-terminal
// that cannot be made when the card comes back) is told and ends neither the thread nor, through
// it, the process with every other card in it.
void SimulatedCard::Guarded(const std::function<void()>& work) noexcept {
    try {
        work();
    } catch (const std::exception& e) {
        std::cerr << "cardsim: card " << options_.card_number << ": " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "cardsim: card " << options_.card_number << ": unknown failure" << std::endl;
    }
}

void SimulatedCard::HandleInotify() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(inotify_.Get(), buffer, sizeof buffer);
        if (length <= 0) {
            return;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->wd != pcui_watch_ && event->wd != modem_watch_) {
                continue;
            }
            const Channel channel = event->wd == pcui_watch_ ? Channel::kPcUi : Channel::kModem;
            if (channel == Channel::kPcUi && (event->mask & IN_ACCESS)) {
                ++pcui_reads_;
            }
            if (event->mask & IN_OPEN) {
                port_events_.push_back({channel, true});
            }
            if (event->mask & IN_CLOSE) {
                port_events_.push_back({channel, false});
            }
        }
        changed_.notify_all();
    }
}

std::optional<Fault> SimulatedCard::TakeFault(Command command, std::span<const uint8_t> request) {
    const auto it = faults_.find(command);
    if (it == faults_.end()) {
        return std::nullopt;
    }
    // Other bytes answer a read-back only: a read before the write leaves the fault for it.
    if (it->second.kind == Fault::Kind::kOtherBytes && command == Command::kNvRead &&
        !IsReadBack(request, state_)) {
        return std::nullopt;
    }
    Fault fault = it->second;
    if (it->second.times > 0 && --it->second.times == 0) {
        faults_.erase(it);
    }
    return fault;
}

void SimulatedCard::Record(Channel channel, Command command, Packet bytes) {
    requests_.push_back({channel, command, std::move(bytes)});
    changed_.notify_all();
}

void SimulatedCard::HandlePcUi(std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        // The switch's line may end in CR LF, and a flag may follow it before the first frame:
        // both belong to the switch, not to the first frame.
        if (after_switch_ != AfterSwitch::kFrames) {
            const uint8_t c = bytes.front();
            const bool belongs =
                (after_switch_ == AfterSwitch::kLineFeed && c == '\n') || c == carvex::kFrameFlag;
            after_switch_ = belongs && c == '\n' ? AfterSwitch::kFlag : AfterSwitch::kFrames;
            if (belongs) {
                if (!requests_.empty()) {
                    requests_.back().bytes.push_back(c);
                }
                bytes = bytes.subspan(1);
                continue;
            }
        }
        if (!diag_mode_) {
            const uint8_t c = bytes.front();
            bytes = bytes.subspan(1);
            if (auto line = pcui_line_.Feed(c)) {
                HandleAtLine(*line);
            }
            continue;
        }
        size_t consumed = 0;
        const auto result = decoder_.Feed(bytes, consumed);
        bytes = bytes.subspan(consumed);
        if (result == carvex::FrameDecoder::Result::kFrame) {
            HandleDiagFrame(decoder_.Frame());
        }
    }
}

void SimulatedCard::HandleAtLine(const std::string& line) {
    const bool is_switch = carvex::AsciiUpperCase(line) == "AT$QCDMG\r";
    const Command command = is_switch ? Command::kDiagSwitch : Command::kOther;
    const auto fault = TakeFault(command);
    const bool no_reply = fault && fault->kind == Fault::Kind::kNoReply;
    // Many cards say "OK" to the switch, others nothing; what follows is DIAG frames either way.
    // The answer is under way before the request is seen as received.
    if (!no_reply && (!is_switch || options_.profile.qcdmg_ok) && pcui_) {
        const std::string reply = "\r\nOK\r\n";
        pcui_->Write({reinterpret_cast<const uint8_t*>(reply.data()), reply.size()});
    }
    Record(Channel::kPcUi, command, Packet(line.begin(), line.end()));
    if (is_switch && !no_reply) {
        diag_mode_ = true;
        after_switch_ = AfterSwitch::kLineFeed;
    }
}

void SimulatedCard::HandleDiagFrame(std::span<const uint8_t> frame) {
    if (frame.size() <= 2 || carvex::Fcs16(frame) != carvex::kFcsGoodResidue) {
        return;  // the card drops what does not check out, as the PC does
    }
    const auto request = frame.first(frame.size() - 2);
    const Command command = ClassifyDiag(request, state_.profile);
    Record(Channel::kPcUi, command, Packet(request.begin(), request.end()));
    const auto fault = TakeFault(command, request);
    if (fault && fault->kind == Fault::Kind::kNoReply) {
        return;
    }
    if (fault && fault->kind == Fault::Kind::kVanish) {
        Disconnect();
        presence_ = CardPresence::kGone;
        return;
    }
    Overrides overrides;
    if (fault && fault->kind == Fault::Kind::kNvStatus) {
        overrides.nv_status = static_cast<uint16_t>(fault->value);
    }
    if (fault && fault->kind == Fault::Kind::kResult) {
        overrides.result = static_cast<uint8_t>(fault->value);
    }
    if (fault && fault->kind == Fault::Kind::kOtherBytes) {
        overrides.other_byte = static_cast<size_t>(fault->value);
    }
    DiagAnswer answer = fault && fault->kind == Fault::Kind::kErrorReply
                            ? DiagAnswer{command, ErrorReply(request), DiagAnswer::Action::kNone}
                            : AnswerDiag(request, state_, overrides);
    if (fault && fault->kind == Fault::Kind::kLength) {
        answer.reply.resize(static_cast<size_t>(std::max(0, fault->value)), 0);
    }
    const bool never_back = fault && fault->kind == Fault::Kind::kNeverBack;
    auto act = [this, answer, fault, never_back]() mutable {
        // The card answers its backup once the items are kept, or with "failed" when they
        // cannot be.
        if (answer.action == DiagAnswer::Action::kSaveNv && options_.state_file &&
            !SaveCardState(*options_.state_file, state_) && answer.reply.size() > 1) {
            answer.reply[1] = kBackupFailed;
        }
        HandleInotify();  // reads counted from here on are reads of the answer
        const uint64_t reads_before = pcui_reads_;
        Deliver(answer.reply, fault);
        if (answer.action == DiagAnswer::Action::kReset) {
            // The card restarts: its interfaces go away and come back under the same names.
            ++resets_;
        }
        if (answer.action == DiagAnswer::Action::kReset || never_back) {
            GoOnceRead(Clock::now() + kAcknowledgementGrace, reads_before, !never_back,
                       departures_);
        }
    };
    if (fault && fault->kind == Fault::Kind::kLateReply) {
        ScheduleReply(std::chrono::milliseconds(fault->value), act);
    } else {
        act();
    }
}

void SimulatedCard::StreamUnsolicited(bool on) {
    Post([this, on] { streaming_ = on; });
}

void SimulatedCard::Deliver(const Packet& reply, const std::optional<Fault>& fault) {
    if (pcui_ && !reply.empty()) {
        writer_.Deliver(*pcui_, reply, fault ? fault->kind : Fault::Kind::kNone);
    }
}

void SimulatedCard::HandleModem(std::span<const uint8_t> bytes) {
    for (uint8_t c : bytes) {
        if (auto line = modem_line_.Feed(c)) {
            HandleModemLine(*line);
        }
    }
}

void SimulatedCard::HandleModemLine(const std::string& line) {
    const std::string upper = carvex::AsciiUpperCase(line);
    const Command command = upper == "AT+CGMM\r" ? Command::kModel : Command::kOther;
    Record(Channel::kModem, command, Packet(line.begin(), line.end()));
    const auto fault = TakeFault(command);
    if (fault && fault->kind == Fault::Kind::kNoReply) {
        return;
    }
    std::string reply = options_.profile.at_echo ? line : std::string();
    if (fault && fault->kind == Fault::Kind::kErrorReply) {
        reply += "\r\n" + (fault->text.empty() ? std::string("ERROR") : fault->text) + "\r\n";
    } else if (command == Command::kModel) {
        reply += "\r\n" + options_.profile.model + "\r\n\r\nOK\r\n";
    } else if (upper == "AT\r" || upper.starts_with("ATE") || upper.starts_with("AT+CMEE")) {
        reply += "\r\nOK\r\n";
    } else {
        reply += "\r\nERROR\r\n";
    }
    auto send = [this, reply] {
        if (modem_) {
            modem_->Write({reinterpret_cast<const uint8_t*>(reply.data()), reply.size()});
        }
    };
    if (fault && fault->kind == Fault::Kind::kLateReply) {
        ScheduleReply(std::chrono::milliseconds(fault->value), send);
    } else {
        send();
    }
}

void SimulatedCard::SetFault(Command command, Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.erase(command);
    faults_.emplace(command, std::move(fault));
}

void SimulatedCard::AddFault(Command command, Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.emplace(command, std::move(fault));
}

void SimulatedCard::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::vector<ReceivedRequest> SimulatedCard::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void SimulatedCard::ClearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

bool SimulatedCard::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

std::vector<PortEvent> SimulatedCard::PortEvents() const {
    std::lock_guard lock(mutex_);
    return port_events_;
}

bool SimulatedCard::WaitForPortEvents(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return port_events_.size() >= count; });
}

bool SimulatedCard::InDiagMode() const {
    std::lock_guard lock(mutex_);
    return diag_mode_;
}

int SimulatedCard::Resets() const {
    std::lock_guard lock(mutex_);
    return resets_;
}

std::optional<NvValue> SimulatedCard::Nv(uint16_t item) const {
    std::lock_guard lock(mutex_);
    const auto it = state_.nv.find(item);
    return it == state_.nv.end() ? std::nullopt : std::optional(it->second);
}

void SimulatedCard::SetNv(uint16_t item, const NvValue& value) {
    std::lock_guard lock(mutex_);
    state_.nv[item] = value;
}

uint16_t SimulatedCard::Mode() const {
    std::lock_guard lock(mutex_);
    return state_.mode;
}

std::pair<uint8_t, uint8_t> SimulatedCard::PortSetting() const {
    std::lock_guard lock(mutex_);
    return {state_.port_state, state_.port_mask};
}

}  // namespace cardsim
