// How a simulated card comes and goes: plugged in with its interfaces published, away for a
// restart, pulled out and put back, or gone for good.
#include "cardsim/simulated_card.h"

#include <sys/inotify.h>

#include <future>

namespace cardsim {

std::string_view PresenceName(CardPresence presence) {
    switch (presence) {
        case CardPresence::kPlugged:
            return "plugged";
        case CardPresence::kRestarting:
            return "restarting";
        case CardPresence::kUnplugged:
            return "unplugged";
        case CardPresence::kGone:
            return "gone";
    }
    return "gone";
}

void SimulatedCard::Connect() {
    // Both interfaces made before either is taken: a card that cannot get them stays as it was.
    PtyPair pcui(stop_.Get());
    PtyPair modem(stop_.Get());
    pcui_.emplace(std::move(pcui));
    modem_.emplace(std::move(modem));
    // Reads of the PC UI interface tell the card that the PC has taken what it sent.
    pcui_watch_ = inotify_add_watch(inotify_.Get(), pcui_->SlavePath().c_str(),
                                    IN_OPEN | IN_CLOSE | IN_ACCESS);
    modem_watch_ =
        inotify_add_watch(inotify_.Get(), modem_->SlavePath().c_str(), IN_OPEN | IN_CLOSE);
    diag_mode_ = false;
    after_switch_ = AfterSwitch::kFrames;
    writer_.Reset();
    pcui_line_.Reset();
    modem_line_.Reset();
    decoder_.Reset();
    state_.mode = options_.profile.mode;
    try {
        Publish();
    } catch (...) {
        Disconnect();  // takes back what was published
        throw;
    }
    presence_ = CardPresence::kPlugged;
}

void SimulatedCard::Disconnect() {
    ++departures_;
    Unpublish();
    if (pcui_watch_ >= 0) {
        inotify_rm_watch(inotify_.Get(), pcui_watch_);
    }
    if (modem_watch_ >= 0) {
        inotify_rm_watch(inotify_.Get(), modem_watch_);
    }
    pcui_watch_ = modem_watch_ = -1;
    pcui_.reset();
    modem_.reset();
}

void SimulatedCard::Publish() {
    const CardProfile& p = options_.profile;
    CardEntries entries;
    entries.other_ports = p.other_ports;
    entries.pcui_name = p.pcui_name + " (" + carvex::ComName(p.pcui_port) + ")";
    entries.pcui_port = p.pcui_port;
    entries.pcui_device = pcui_->SlavePath();
    entries.modem_name = p.modem_name;
    entries.modem_port = p.modem_port;
    entries.modem_device = modem_->SlavePath();
    entries.usb_device = p.usb_device;
    publisher_->Publish(options_.card_number, std::move(entries));
    changed_.notify_all();
}

void SimulatedCard::Unpublish() {
    publisher_->Withdraw(options_.card_number);
    changed_.notify_all();
}

// A hang-up discards what the PC has not read yet: the card goes only once its answer was taken
// (or the PC has had ample time to take it). An answer is on its way to the PC's side for a moment
// after it is written, so nothing waiting there is not enough: the PC must also have read since.
// A card that went away meanwhile (pulled out) has nothing left to do.
void SimulatedCard::GoOnceRead(Clock::time_point give_up, uint64_t reads_before, bool comes_back,
                               uint64_t departures) {
    if (departures != departures_) {
        return;
    }
    const bool taken = pcui_ && pcui_reads_ > reads_before && pcui_->Unread() == 0;
    if (pcui_ && !taken && Clock::now() < give_up) {
        scheduled_.push_back({Clock::now() + std::chrono::milliseconds(1),
                              [this, give_up, reads_before, comes_back, departures] {
                                  HandleInotify();
                                  GoOnceRead(give_up, reads_before, comes_back, departures);
                              }});
        return;
    }
    Disconnect();
    presence_ = comes_back ? CardPresence::kRestarting : CardPresence::kGone;
    if (comes_back) {
        // Unplugged meanwhile (and maybe put back since), the card does not come back from this.
        Schedule(std::chrono::milliseconds(options_.profile.reset_gone_ms),
                 [this, departures = departures_] {
                     if (departures == departures_ && presence_ == CardPresence::kRestarting) {
                         Connect();
                     }
                 });
    }
}

bool SimulatedCard::Present() const {
    std::lock_guard lock(mutex_);
    return pcui_.has_value();
}

CardPresence SimulatedCard::Presence() const {
    std::lock_guard lock(mutex_);
    return presence_;
}

bool SimulatedCard::WaitForPresence(bool present, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pcui_.has_value() == present; });
}

void SimulatedCard::Vanish() {
    Post([this] {
        Disconnect();
        presence_ = CardPresence::kGone;
    });
}

// Runs on the card's thread, in turn with what the card does, and waits for it there.
CardPresence SimulatedCard::OnCardThread(std::function<CardPresence()> work) {
    auto task = std::make_shared<std::packaged_task<CardPresence()>>(std::move(work));
    std::future<CardPresence> done = task->get_future();
    Post([task] { (*task)(); });
    return done.get();
}

CardPresence SimulatedCard::Unplug() {
    return OnCardThread([this] {
        const CardPresence before = presence_;
        if (before != CardPresence::kUnplugged) {
            Disconnect();  // also what keeps a restart under way from coming back
            presence_ = CardPresence::kUnplugged;
        }
        return before;
    });
}

CardPresence SimulatedCard::Replug() {
    return OnCardThread([this] {
        const CardPresence before = presence_;
        if (before == CardPresence::kUnplugged || before == CardPresence::kGone) {
            Connect();
        }
        return before;
    });
}

}  // namespace cardsim
