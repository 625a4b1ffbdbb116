#include "cardwork/records/run_records.h"

#include <charconv>

namespace cardwright {

namespace {

std::vector<uint8_t> Bytes(const NvData& data) {
    return {data.begin(), data.end()};
}

// The port setting as the card keeps it: the state, then the mask, a byte each.
std::vector<uint8_t> Bytes(const DeviceState& setting) {
    return {static_cast<uint8_t>(setting.state), static_cast<uint8_t>(setting.mask)};
}

std::optional<uint16_t> Seal(const std::string& text) {
    uint16_t seal = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seal);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return seal;
}

}  // namespace

StoredRecord StoredOf(const CardRecord& record) {
    StoredRecord stored;
    stored.uuid = record.uuid;
    stored.imei = record.imei;
    stored.station = record.run.station;
    stored.port = record.port;
    stored.operator_name = record.run.operator_name;
    stored.work_order = record.run.work_order;
    stored.setting_file = record.run.settings_file;
    stored.setting_crc = Seal(record.run.settings_crc);
    stored.setting_sha256 = record.run.settings_sha256;
    stored.description_sha256 = record.run.description_sha256;
    // The card names its model (AT+CGMM); that is the card type a setting file is checked
    // against.
    stored.model = record.card_type;
    stored.firmware = record.firmware;
    stored.card_type = record.card_type;
    stored.started = record.started;
    stored.ended = record.ended;
    stored.seconds = record.seconds;
    stored.End(record.result);
    stored.defaults_left = record.left_to_defaults;
    stored.nv_written = record.nv_written;
    stored.mismatches = record.mismatches;
    stored.retries = static_cast<int>(record.retries);
    stored.snapshot = record.snapshot;
    stored.tool_version = record.run.tool_version;
    for (const ItemChange& change : record.items) {
        stored.items.push_back({std::to_string(change.item),
                                change.before ? std::optional(Bytes(*change.before)) : std::nullopt,
                                Bytes(change.after)});
    }
    if (record.port_setting) {
        const PortSettingChange& change = *record.port_setting;
        stored.items.push_back({"port setting",
                                change.before ? std::optional(Bytes(*change.before)) : std::nullopt,
                                Bytes(change.after)});
    }
    return stored;
}

RunRecords::RunRecords(RecordStore& store, CardObserver* next) : store_(store), next_(next) {}

void RunRecords::Begin(const CardRecord& record) {
    StoredRecord stored = StoredOf(record);
    stored.result.clear();
    stored.outcome.reset();
    stored.items.clear();
    try {
        store_.Begin(stored);
    } catch (const RecordStoreError& error) {
        const std::lock_guard lock(mutex_);
        unbegun_[record.uuid] = error.what();
    }
}

void RunRecords::Complete(const CardRecord& record) {
    Save(record);
}

std::optional<std::string> RunRecords::Save(const CardRecord& record) {
    std::optional<std::string> why;
    {
        const std::lock_guard lock(mutex_);
        steps_.erase(record.uuid);
        if (const auto unbegun = unbegun_.find(record.uuid); unbegun != unbegun_.end()) {
            why = unbegun->second;
            unbegun_.erase(unbegun);
        }
    }
    if (!why) {
        try {
            store_.Complete(StoredOf(record));
            return std::nullopt;
        } catch (const RecordStoreError& error) {
            why = error.what();
        }
    }
    const std::lock_guard lock(mutex_);
    failures_.push_back(record.port + ": " + *why);
    return why;
}

void RunRecords::Begun(const CardRecord& record) {
    if (next_ != nullptr) {
        next_->Begun(record);
    }
}

void RunRecords::Progress(const CardRecord& record, const WorkProgress& progress) {
    const std::string step(StepName(progress.step));
    bool changed = false;
    {
        const std::lock_guard lock(mutex_);
        if (!unbegun_.contains(record.uuid)) {
            std::string& noted = steps_[record.uuid];
            changed = noted != step;
            noted = step;
        }
    }
    if (changed) {
        StoredRecord stored = StoredOf(record);
        stored.step = step;
        try {
            store_.Note(stored);
        } catch (const RecordStoreError&) {
            // Only the step of a record broken off is lost: its completion says it again.
        }
    }
    if (next_ != nullptr) {
        next_->Progress(record, progress);
    }
}

std::optional<WorkResult> RunRecords::Admit(const CardRecord& record) {
    return next_ != nullptr ? next_->Admit(record) : std::nullopt;
}

std::string RunRecords::EarlierSnapshot(const CardRecord& record) {
    return next_ != nullptr ? next_->EarlierSnapshot(record) : std::string();
}

std::optional<WorkResult> RunRecords::BeforeWrite(const CardRecord& record) {
    {
        const std::lock_guard lock(mutex_);
        if (const auto unbegun = unbegun_.find(record.uuid); unbegun != unbegun_.end()) {
            return WorkResult::Refused(WorkStep::kTakingSnapshot,
                                       "its record could not be begun: " + unbegun->second);
        }
    }
    return next_ != nullptr ? next_->BeforeWrite(record) : std::nullopt;
}

void RunRecords::Ended(const CardRecord& record) {
    if (next_ != nullptr) {
        next_->Ended(record);
    }
}

std::vector<std::string> RunRecords::Failures() const {
    const std::lock_guard lock(mutex_);
    return failures_;
}

}  // namespace cardwright
