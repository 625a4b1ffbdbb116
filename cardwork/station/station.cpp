#include "cardwork/station/station.h"

#include <set>
#include <system_error>

#include "carvex/link/port_discovery.h"
#include "carvex/platform/clock.h"

namespace cardwright {

namespace fs = std::filesystem;

namespace {

// How often a station short of disk space looks again while cards wait.
constexpr std::chrono::milliseconds kDiskLookAgain{5000};
constexpr std::chrono::milliseconds kNoLimit{-1};

std::string Megabytes(uint64_t bytes) {
    return std::to_string(bytes / uint64_t{1000000}) + " MB";
}

}  // namespace

std::string LowDiskSpace(const std::vector<std::pair<std::string, fs::path>>& folders,
                         uint64_t min_free) {
    for (const auto& [holds, folder] : folders) {
        std::error_code error;
        fs::path judged = fs::absolute(folder, error);
        while (!fs::exists(judged, error) && judged.has_relative_path()) {
            judged = judged.parent_path();
        }
        const fs::space_info space = fs::space(judged, error);
        if (!error && space.available < min_free) {
            return Megabytes(space.available) + " free in " + folder.string() + " (" + holds +
                   "), less than " + Megabytes(min_free);
        }
    }
    return {};
}

Station::Station(carvex::DeviceRoot root, const BatchApply& apply, RecordStore& store,
                 StationRequest request, StationListener& listener)
    : root_(std::move(root)),
      apply_(apply),
      request_(std::move(request)),
      listener_(listener),
      cards_(store, root_, request_, *this),
      watch_(root_),
      start_(carvex::GetClock().SteadyNow()) {}

Station::~Station() {
    // Run awaits every card; a station left by an exception still must not leave a thread.
    for (auto& [port, worker] : workers_) {
        worker.join();
    }
    // Their notices come here.
    cards_.AwaitAfterHooks();
}

void Station::Wake() {
    watch_.Wake();
}

SlotView& Station::View(int port) {
    auto [view, made] = views_.try_emplace(port);
    if (made) {
        view->second.port = carvex::ComName(port);
        view->second.text = "idle";
    }
    return view->second;
}

void Station::Show(int port, std::string text) {
    SlotView& view = View(port);
    view.state = slots_.StateOf(port);
    if (view.state == SlotState::kIdle) {
        view.imei.clear();
    }
    view.text = std::move(text);
    listener_.SlotChanged(view);
}

std::optional<int> Station::PortOf(const std::string& com_name) const {
    for (const auto& [port, view] : views_) {
        if (view.port == com_name) {
            return port;
        }
    }
    return std::nullopt;
}

void Station::LookAtRoot() {
    const std::vector<carvex::DiagPortEntry> entries = carvex::ListDiagPorts(root_);
    std::set<int> present;
    for (size_t index = 0; index < entries.size(); ++index) {
        const int port = entries[index].com;
        if (!request_.ports.empty() &&
            std::find(request_.ports.begin(), request_.ports.end(), port) == request_.ports.end()) {
            continue;
        }
        present.insert(port);
        SlotView& view = View(port);
        if (view.modem.empty()) {
            if (const auto modem =
                    carvex::FindModemPortFor(root_, carvex::ModemMarkFor(entries, index))) {
                view.modem = carvex::ComName(*modem);
            }
        }
    }
    std::map<int, SlotState> before;
    for (const int port : slots_.Ports()) {
        before[port] = slots_.StateOf(port);
    }
    slots_.Listed(present);
    for (const int port : slots_.Ports()) {
        const SlotState now = slots_.StateOf(port);
        const auto was = before.find(port);
        if (was != before.end() && was->second == now) {
            continue;
        }
        if (now == SlotState::kIdle) {
            Show(port, "idle");
        } else if (now == SlotState::kWaiting) {
            Show(port, "plugged in");
        }
    }
}

void Station::JoinEnded() {
    for (const int port : ended_) {
        if (const auto worker = workers_.find(port); worker != workers_.end()) {
            worker->second.join();
            workers_.erase(worker);
        }
    }
    ended_.clear();
}

bool Station::BeginWaiting(const WorkStop& stop) {
    while (const auto port = slots_.NextWaiting()) {
        // A slot whose last worker has not been joined yet is begun at the next turn.
        if (workers_.contains(*port) || (request_.jobs != 0 && slots_.Working() >= request_.jobs)) {
            if (View(*port).text != "waiting for a free job" && !workers_.contains(*port)) {
                Show(*port, "waiting for a free job");
            }
            return true;
        }
        const std::string low = LowDiskSpace(request_.folders, request_.min_free_bytes);
        if (low != low_disk_) {
            low_disk_ = low;
            listener_.Notice(low.empty() ? std::string("there is room on the disk again")
                                         : "no new card is started: " + low);
        }
        if (!low.empty()) {
            if (View(*port).text != "waiting for room on the disk") {
                Show(*port, "waiting for room on the disk");
            }
            return false;
        }
        slots_.Begin(*port);
        Show(*port, "beginning");
        const int card = *port;
        workers_[card] = std::thread([this, card, &stop] {
            const CardRecord record = apply_.ApplyTo(card, cards_.Hooks(stop));
            {
                const std::lock_guard lock(mutex_);
                // A card whose work could not even begin was told to nobody.
                if (slots_.StateOf(card) == SlotState::kWorking) {
                    slots_.End(card, SlotState::kFail);
                    ++counts_.failed;
                    Show(card, record.result.Text());
                }
                ended_.push_back(card);
            }
            watch_.Wake();
        });
    }
    return true;
}

StationCounts Station::Run(const WorkStop& stop) {
    std::unique_lock lock(mutex_);
    start_ = carvex::GetClock().SteadyNow();
    for (const int port : request_.ports) {
        listener_.SlotChanged(View(port));
    }
    for (;;) {
        LookAtRoot();
        JoinEnded();
        bool room = true;
        if (stop.Stopping()) {
            if (workers_.empty()) {
                break;
            }
        } else {
            room = BeginWaiting(stop);
        }
        lock.unlock();
        watch_.Wait(room ? kNoLimit : kDiskLookAgain);
        lock.lock();
    }
    lock.unlock();
    cards_.AwaitAfterHooks();
    const std::lock_guard relock(mutex_);
    return counts_;
}

void Station::Stepped(const CardRecord& record, const WorkProgress& progress) {
    const std::lock_guard lock(mutex_);
    const auto port = PortOf(record.port);
    if (!port) {
        return;
    }
    slots_.Step(*port, progress.step);
    SlotView& view = View(*port);
    view.state = slots_.StateOf(*port);
    view.text = ProgressText(progress);
    view.imei = record.imei;
    listener_.Progress(view, progress);
}

void Station::Ended(const CardRecord& record, SlotState state) {
    const std::lock_guard lock(mutex_);
    const auto port = PortOf(record.port);
    if (!port) {
        return;
    }
    if (state == SlotState::kDoneEarlier) {
        ++counts_.done_earlier;
    } else if (record.result.Ok()) {
        ++counts_.ok;
    } else if (record.result.outcome == WorkOutcome::kRefused) {
        ++counts_.refused;
    } else {
        ++counts_.failed;
    }
    const double hours =
        std::chrono::duration<double, std::ratio<3600>>(carvex::GetClock().SteadyNow() - start_)
            .count();
    const size_t worked = counts_.ok + counts_.failed + counts_.refused;
    counts_.cards_per_hour = hours > 0 ? static_cast<double>(worked) / hours : 0;

    slots_.End(*port, state);
    SlotView& view = View(*port);
    view.state = state;
    view.imei = record.imei;
    // A refusal shows as its reason alone ("no IMEI: use apply --port"); the record keeps
    // "refused: " before it.
    if (state == SlotState::kDoneEarlier) {
        view.text = StationCards::kDoneEarlier;
    } else if (record.result.outcome == WorkOutcome::kRefused) {
        view.text = record.result.reason;
    } else {
        view.text = record.result.Text();
    }
    listener_.CardEnded(view, record, counts_);
    // Gone already, or pulled out during its work and plugged in again.
    if (slots_.StateOf(*port) == SlotState::kIdle) {
        Show(*port, "idle");
    } else if (slots_.StateOf(*port) == SlotState::kWaiting) {
        Show(*port, "plugged in again");
        watch_.Wake();
    }
}

void Station::Notice(const std::string& text) {
    const std::lock_guard lock(mutex_);
    listener_.Notice(text);
}

}  // namespace cardwright
