#include "tools/carvexctl/card_job.h"

#include <array>
#include <cerrno>
#include <cstring>

#include "cardwork/card/card_reader.h"
#include "cardwork/model/imei.h"
#include "carvex/carvex.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/card_session.h"

namespace carvexctl {

using cardwright::NvData;
using cardwright::WorkResult;
using cardwright::WorkStep;

namespace {

// The log file opened for adding lines; `failure` gets why it could not be.
std::ofstream OpenLog(const std::filesystem::path& path, std::string& failure) {
    errno = 0;
    std::ofstream file(path, std::ios::app);
    if (!file) {
        const int reason = errno;
        std::error_code error;
        failure = "cannot write " + path.string();
        if (std::filesystem::is_directory(path, error)) {
            failure += ": it is a folder";
        } else if (reason != 0) {
            failure += ": " + std::string(std::strerror(reason));
        }
    }
    return file;
}

}  // namespace

void BoardProgress::Report(const cardwright::WorkProgress& progress) {
    board_.Show(line_, cardwright::ProgressText(progress));
}

CardJob::CardJob(const carvex::DeviceRoot& root, int port, const std::filesystem::path& log,
                 ProgressBoard& board, size_t line)
    : root_(root),
      port_(port),
      start_(carvex::GetClock().SteadyNow()),
      log_file_(OpenLog(log, log_failure_)),
      log_(log_file_),
      borrow_(root, port, [this](const std::string& line) { log_.AddLog(line); }),
      connection_(root, port),
      held_(connection_),
      progress_(board, line) {
    row.port = carvex::ComName(port);
}

ReportRow CardJob::Finish(cardwright::WorkResult result) {
    held_.Release();
    row.result = std::move(result);
    row.seconds = std::chrono::duration<double>(carvex::GetClock().SteadyNow() - start_).count();
    progress_.Say(row.result.Text());
    return row;
}

CardPortSetting ReadCardPortSetting(cardwright::CardAccess& card) {
    // A state the card cannot give (it keeps one byte): still there when the card gave none.
    constexpr int32_t kNoSetting = -1;
    cardwright::DeviceState setting{kNoSetting, kNoSetting};
    CardPortSetting read;
    read.answered = card.ReadPortSetting(setting, read.status);
    if (read.answered && setting.state != kNoSetting) {
        read.setting = cardwright::DeviceState{setting.state & 0xFF, setting.mask & 0xFF};
    }
    return read;
}

namespace {

// Reads back what was written; the first item that cannot be read ends it with the reason.
std::optional<std::string> ReadBack(CardJob& job, const CardWrites& written) {
    cardwright::CardAccess& card = job.Card();
    size_t done = 0;
    for (const int32_t item : written.order) {
        job.Progress().Say("Reading back " + std::to_string(++done) + " of " +
                           std::to_string(written.order.size()) + ": NV item " +
                           std::to_string(item));
        NvData data{};
        int32_t status = 0;
        if (!card.ReadNv(item, data, status)) {
            return "NV item " + std::to_string(item) +
                   " could not be read back: " + DescribeStatus(status, item);
        }
        if (data != written.nv.at(item)) {
            job.Log().AddLog("NV item " + std::to_string(item) +
                             " reads back other bytes than were written...");
            job.row.mismatches.push_back(std::to_string(item));
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
            job.row.mismatches.emplace_back("port setting");
        } else if (back.setting->state != (written.port_setting->state & 0xFF) ||
                   back.setting->mask != (written.port_setting->mask & 0xFF)) {
            job.Log().AddLog("The port setting reads back otherwise than it was written...");
            job.row.mismatches.emplace_back("port setting");
        }
    }
    return std::nullopt;
}

// Whether the card back on the job's port is another than the one written, in words. A card
// whose IMEI could be read before is told by it; a card without one (a blank card, its IMEI item
// not active) by its port and what it reports of itself, its firmware and card type.
std::optional<std::string> OtherCardBack(CardJob& job) {
    cardwright::CardAccess& card = job.Card();
    const std::string back_on = "another card came back on " + job.row.port;
    int32_t status = 0;
    if (!job.row.imei.empty()) {
        std::array<uint8_t, CARVEX_IMEI_LENGTH> imei{};
        if (!card.ReadImei(imei, status)) {
            return "the card's IMEI could not be read after its restart: " +
                   DescribeStatus(status, CARVEX_IMEI_ITEM);
        }
        if (const std::string after = cardwright::DecodeImei(imei); after != job.row.imei) {
            return back_on + " (IMEI " + after + ")";
        }
        return std::nullopt;
    }
    const CardIdentity after = ReadCardIdentity(card);
    if (after.firmware != job.row.firmware || after.card_type != job.row.card_type) {
        return back_on + " (firmware \"" + after.firmware + "\", card type \"" + after.card_type +
               "\")";
    }
    job.Log().AddLog(
        "The card has no IMEI to tell it by: its port, firmware and card type are "
        "those it had...");
    return std::nullopt;
}

}  // namespace

CardIdentity ReadCardIdentity(cardwright::CardAccess& card) {
    CardIdentity identity;
    int32_t status = 0;
    if (const auto firmware = card.FirmwareVersion(status)) {
        identity.firmware = carvex::PrintableText(cardwright::CardText(*firmware));
    }
    if (const auto type = card.BoardType()) {
        identity.card_type = carvex::PrintableText(cardwright::CardText(*type));
    }
    return identity;
}

cardwright::WorkResult AwaitAndReadBack(CardJob& job, const CardWrites& written, bool restart,
                                        const ReturnLimits& limits) {
    if (restart) {
        if (!written.restarted) {
            return WorkResult::Failed(WorkStep::kRestarting,
                                      "the card did not acknowledge the restart");
        }
        job.Card().Release();
        job.Progress().Say("Waiting for the card to come back...");
        const CardReturn back = WaitForReturn(job.Root(), job.Port(), job.Card(), limits);
        if (back.outcome != CardReturn::Outcome::kBack) {
            job.Log().AddLog(ReturnWords(back, limits) + "...");
            return WorkResult::Failed(WorkStep::kRestarting, ReturnWords(back, limits));
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
    job.Log().AddLog(job.row.mismatches.empty() ? "Read back: every written byte is on the card..."
                                                : "Read back: the card holds other bytes than "
                                                  "were written...");
    return job.row.mismatches.empty() ? WorkResult::Done() : WorkResult::Mismatch();
}

}  // namespace carvexctl
