#include "cardwork/batch/card_job.h"

#include <array>

#include "cardwork/batch/status_words.h"
#include "cardwork/card/card_reader.h"
#include "cardwork/model/imei.h"
#include "carvex/carvex.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/printable_text.h"

namespace cardwright {

const WorkStop CardJob::kNeverStopped;
CardObserver CardJob::kNobody;

CardJob::CardJob(const carvex::DeviceRoot& root, int port, const std::filesystem::path& folder,
                 const RunFacts& facts, const CardHooks& hooks)
    : root_(root),
      port_(port),
      observer_(hooks.observer),
      records_(hooks.records),
      stop_(hooks.stop),
      start_(carvex::GetClock().SteadyNow()),
      log_(folder, carvex::ComName(port)),
      borrow_(root, port, [this](const std::string& line) { log_.AddLog(line); }),
      connection_(root, port),
      stoppable_(connection_, Stop(), log_),
      held_(stoppable_) {
    record.uuid = NewUuid();
    record.run = facts;
    record.port = carvex::ComName(port);
    record.started = carvex::GetClock().WallNow();
    record.log = log_.Path().string();
}

void CardJob::Begin() {
    if (records_ != nullptr) {
        records_->Begin(record);
        begun_ = true;
    }
    Observer().Begun(record);
}

void CardJob::Identified(std::string imei, std::string firmware, std::string card_type) {
    record.imei = std::move(imei);
    record.firmware = std::move(firmware);
    record.card_type = std::move(card_type);
    log_.NameAfter(record.imei);
    record.log = log_.Path().string();
}

CardRecord CardJob::Finish(WorkResult result) {
    if (finished_) {
        return record;
    }
    finished_ = true;
    held_.Release();
    const bool broken_off = Stop().BrokenOff();
    if (broken_off && !result.Ok() && result.outcome != WorkOutcome::kRefused) {
        const WorkStep step = result.step.value_or(WorkStep::kOpeningCard);
        result = WorkResult::Interrupted(step);
        log_.AddLog("Interrupted at " + std::string(StepName(step)) + " (" + Stop().Why() + ")" +
                    (record.nv_written > 0 ? ": what was written before stays on the card" : "") +
                    "...");
    }
    record.result = std::move(result);
    record.ended = carvex::GetClock().WallNow();
    record.seconds = std::chrono::duration<double>(carvex::GetClock().SteadyNow() - start_).count();
    record.retries = connection_.NvRetries();
    record.log = log_.Path().string();
    // The record is the card's whatever its sink or observer make of it: what they throw is the
    // log's, and the run's other cards go on.
    const auto told = [this](std::string_view who, const auto& tell) {
        try {
            tell();
        } catch (const std::exception& e) {
            log_.AddLog(std::string(who) + " could not be told the card's record: " + e.what() +
                        "...");
        }
    };
    if (begun_) {
        told("The record sink", [this] { records_->Complete(record); });
    }
    told("The observer", [this] { Observer().Ended(record); });
    return record;
}

CardPortSetting ReadCardPortSetting(CardAccess& card) {
    // A state the card cannot give (it keeps one byte): still there when the card gave none.
    constexpr int32_t kNoSetting = -1;
    DeviceState setting{kNoSetting, kNoSetting};
    CardPortSetting read;
    read.answered = card.ReadPortSetting(setting, read.status);
    if (read.answered && setting.state != kNoSetting) {
        read.setting = DeviceState{setting.state & 0xFF, setting.mask & 0xFF};
    }
    return read;
}

CardIdentity ReadCardIdentity(CardAccess& card) {
    CardIdentity identity;
    int32_t status = 0;
    std::array<uint8_t, CARVEX_IMEI_LENGTH> imei{};
    if (card.ReadImei(imei, status)) {
        identity.imei = carvex::PrintableText(DecodeImei(imei));
    }
    if (const auto firmware = card.FirmwareVersion(status)) {
        identity.firmware = carvex::PrintableText(CardText(*firmware));
    }
    if (const auto type = card.BoardType()) {
        identity.card_type = carvex::PrintableText(CardText(*type));
    }
    return identity;
}

namespace {

// Reads back what was written; the first item that cannot be read ends it with the reason.
std::optional<std::string> ReadBack(CardJob& job, const CardWrites& written) {
    CardAccess& card = job.Card();
    size_t done = 0;
    for (const int32_t item : written.order) {
        const std::string caption = "NV item " + std::to_string(item);
        job.Progress().Report({WorkStep::kReadingBack, ++done, written.order.size(), caption});
        NvData data{};
        int32_t status = 0;
        if (!card.ReadNv(item, data, status)) {
            return caption + " could not be read back: " + DescribeStatus(status, item);
        }
        if (data != written.nv.at(item)) {
            job.Log().AddLog(caption + " reads back other bytes than were written...");
            job.record.mismatches.push_back(std::to_string(item));
        }
    }
    if (written.port_setting) {
        const CardPortSetting back = ReadCardPortSetting(card);
        if (!back.answered) {
            return "the port setting could not be read back: " + DescribeStatus(back.status);
        }
        // The card keeps one byte of each.
        if (!back.setting) {
            job.Log().AddLog("The card reports no valid port setting after one was written...");
            job.record.mismatches.emplace_back("port setting");
        } else if (back.setting->state != (written.port_setting->state & 0xFF) ||
                   back.setting->mask != (written.port_setting->mask & 0xFF)) {
            job.Log().AddLog("The port setting reads back otherwise than it was written...");
            job.record.mismatches.emplace_back("port setting");
        }
    }
    return std::nullopt;
}

// Whether the card back on the job's port is another than the one written, in words. A card
// whose IMEI could be read before is told by it; a card without one (a blank card, its IMEI item
// not active) by its port and what it reports of itself, its firmware and card type.
std::optional<std::string> OtherCardBack(CardJob& job) {
    const CardRecord& before = job.record;
    const std::string back_on = "another card came back on " + before.port;
    const CardIdentity after = ReadCardIdentity(job.Card());
    if (!before.imei.empty()) {
        if (after.imei.empty()) {
            return std::string("the card's IMEI could not be read after its restart");
        }
        if (after.imei != before.imei) {
            return back_on + " (IMEI " + after.imei + ")";
        }
        return std::nullopt;
    }
    if (after.firmware != before.firmware || after.card_type != before.card_type) {
        return back_on + " (firmware \"" + after.firmware + "\", card type \"" + after.card_type +
               "\")";
    }
    job.Log().AddLog(
        "The card has no IMEI to tell it by: its port, firmware and card type are "
        "those it had...");
    return std::nullopt;
}

}  // namespace

WorkResult AwaitAndReadBack(CardJob& job, const CardWrites& written, bool restart,
                            const ReturnLimits& limits) {
    if (restart) {
        if (!written.restarted) {
            return WorkResult::Failed(WorkStep::kRestarting,
                                      "the card did not acknowledge the restart");
        }
        job.Card().Release();
        job.Progress().Step(WorkStep::kAwaitingReturn);
        const CardReturn back =
            WaitForReturn(job.Root(), job.Port(), job.Card(), limits, job.Stop());
        if (back.outcome != CardReturn::Outcome::kBack) {
            job.Log().AddLog(ReturnWords(back, limits) + "...");
            return WorkResult::Failed(WorkStep::kAwaitingReturn, ReturnWords(back, limits));
        }
        job.Log().AddLog("The card is back after its restart...");
        if (auto other = OtherCardBack(job)) {
            return WorkResult::Failed(WorkStep::kReadingBack, *other);
        }
    }
    if (const auto failure = ReadBack(job, written)) {
        job.Log().AddLog(*failure + "...");
        return WorkResult::Failed(WorkStep::kReadingBack, *failure);
    }
    const bool same = job.record.mismatches.empty();
    job.Log().AddLog(same ? "Read back: every written byte is on the card..."
                          : "Read back: the card holds other bytes than were written...");
    return same ? WorkResult::Done() : WorkResult::Mismatch();
}

}  // namespace cardwright
