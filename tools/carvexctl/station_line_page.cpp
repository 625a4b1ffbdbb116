#include "tools/carvexctl/station_line_page.h"

#include <utility>

#include "carvex/platform/clock.h"
#include "carvex/platform/environment.h"
#include "carvex/platform/whole_file.h"
#include "tools/carvexctl/command_failure.h"

namespace carvexctl {

namespace {

// A token file holds the token on its first line.
std::string TokenOf(const LinePageOptions& options) {
    // Taken out of the environment at once, used or not: the hooks the station runs inherit it.
    std::string variable = carvex::EnvironmentValue(kHttpTokenVariable).value_or("");
    carvex::RemoveEnvironmentValue(kHttpTokenVariable);
    if (!options.token.empty()) {
        return options.token;
    }
    if (!options.token_file.empty()) {
        const carvex::WholeFile file = carvex::ReadWholeFile(options.token_file, 4096);
        if (file.stamp.kind != carvex::FileStamp::Kind::kFile || file.error) {
            throw Refusal("--http-token-file " + options.token_file + ": cannot be read" +
                          (file.error ? ": " + file.error.message() : std::string()));
        }
        // The token is the file's first line; what follows it (a comment, a note) is not read.
        std::string token = file.content.substr(0, file.content.find('\n'));
        if (token.ends_with('\r')) {
            token.pop_back();
        }
        return token;
    }
    return variable;
}

}  // namespace

std::optional<LinePageAddress> CheckLinePage(const LinePageOptions& options) {
    if (options.http.empty()) {
        if (!options.token.empty() || !options.token_file.empty()) {
            throw Refusal("--http-token and --http-token-file need --http");
        }
        return std::nullopt;
    }
    const auto address = cardwright::ParseHttpAddress(options.http);
    if (!address) {
        throw Refusal("--http " + options.http +
                      ": not ADDR:PORT with a numeric address (127.0.0.1:8080, [::1]:8080, "
                      "0.0.0.0:8080)");
    }
    if (address->ipv6 && !cardwright::ServesIpv6()) {
        throw Refusal("--http " + options.http +
                      ": this build serves the line page on IPv4 addresses only (127.0.0.1:8080, "
                      "0.0.0.0:8080)");
    }
    LinePageAddress where{*address, TokenOf(options)};
    if (where.token.empty() && !address->Loopback()) {
        throw Refusal("--http " + options.http +
                      " can be reached from other machines: give a token (--http-token, "
                      "--http-token-file or " +
                      kHttpTokenVariable + ")");
    }
    if (!where.token.empty()) {
        if (const std::string why = cardwright::TokenRefusal(where.token); !why.empty()) {
            throw Refusal("the token of the line page cannot be used: " + why);
        }
    }
    return where;
}

StationLinePage::StationLinePage(const LinePageAddress& where, const cardwright::RunFacts& facts,
                                 const std::filesystem::path& records)
    : where_(where),
      records_(records),
      state_(
          [&] {
              cardwright::LineFacts line;
              line.station = facts.station;
              line.operator_name = facts.operator_name;
              line.setting_file = std::filesystem::path(facts.settings_file).filename().string();
              line.setting_crc = facts.settings_crc;
              return line;
          }(),
          cardwright::CountsOf(
              records_.Find({.since = cardwright::LocalDayStart(carvex::GetClock().WallNow()),
                             .station = facts.station})),
          [&] {
              std::vector<cardwright::LineRecord> recent;
              for (const auto& record : records_.Find({.station = facts.station,
                                        .latest = cardwright::LineState::kRecordsShown})) {
                  recent.push_back(cardwright::LineRecordOf(record));
              }
              return recent;
          }(),
          [&] {
              // Begun up to two hours ago: a card begun before the hour may have ended in it.
              const auto now = carvex::GetClock().WallNow();
              return cardwright::EndsInLastHour(
                  records_.Find({.since = now - std::chrono::hours(2), .station = facts.station}),
                  now);
          }()) {}

void StationLinePage::Serve(std::function<void(const std::string&)> notice) {
    cardwright::LineServerOptions options;
    options.address = where_.address;
    options.token = where_.token;
    options.notice = std::move(notice);
    try {
        server_ = std::make_unique<cardwright::LineServer>(state_, records_, options);
    } catch (const cardwright::LineServerError& error) {
        throw Refusal(error.what());
    }
}

void BothListeners::SlotChanged(const cardwright::SlotView& slot) {
    first_.SlotChanged(slot);
    second_.SlotChanged(slot);
}

void BothListeners::Progress(const cardwright::SlotView& slot,
                             const cardwright::WorkProgress& progress) {
    first_.Progress(slot, progress);
    second_.Progress(slot, progress);
}

void BothListeners::CardEnded(const cardwright::SlotView& slot,
                              const cardwright::CardRecord& record,
                              const cardwright::StationCounts& counts) {
    first_.CardEnded(slot, record, counts);
    second_.CardEnded(slot, record, counts);
}

void BothListeners::Notice(const std::string& text) {
    first_.Notice(text);
    second_.Notice(text);
}

}  // namespace carvexctl
