#include "tools/carvexctl/summary_table.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <numeric>
#include <string>

#include "cardwork/batch/utc_text.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/display_width.h"

namespace carvexctl {

namespace {

constexpr size_t kGap = 2;
constexpr size_t kResult = 4;
// The columns that give way when the table is too wide, in this order, each down to its
// narrowest: the snapshot's name, the firmware, the mismatches, the card type (whatever the card
// calls itself), the result; and when that is not enough, the card type and the result down to
// their headings.
struct Shrinkable {
    size_t column;
    size_t narrowest;
};
constexpr size_t kCardType = 3;
constexpr std::array<Shrinkable, 7> kShrinkable = {
    {{7, 8}, {2, 8}, {6, 10}, {kCardType, 16}, {kResult, 20}, {kCardType, 9}, {kResult, 6}}};
constexpr std::string_view kCut = "...";

using Line = std::array<std::string, 10>;

Line Fields(const cardwright::CardRecord& card) {
    return {card.port,
            card.imei,
            card.firmware,
            card.card_type,
            card.result.Text(),
            std::to_string(card.nv_written),
            cardwright::MismatchesText(card),
            std::filesystem::path(card.snapshot).filename().string(),
            std::to_string(card.retries),
            cardwright::SecondsText(card.seconds)};
}

}  // namespace

void PrintSummary(std::ostream& out, const std::vector<cardwright::CardRecord>& cards) {
    std::vector<Line> table{{"PORT", "IMEI", "FIRMWARE", "CARD TYPE", "RESULT", "NV WRITTEN",
                             "MISMATCHES", "SNAPSHOT", "RETRIES", "SECONDS"}};
    for (const cardwright::CardRecord& card : cards) {
        Line& line = table.emplace_back(Fields(card));
        for (std::string& field : line) {
            field = field.empty() ? "-" : carvex::PrintableText(field);
        }
    }
    std::array<size_t, std::tuple_size_v<Line>> widths{};
    for (const Line& line : table) {
        for (size_t i = 0; i < line.size(); ++i) {
            widths[i] = std::max(widths[i], DisplayWidth(line[i]));
        }
    }
    size_t total = std::accumulate(widths.begin(), widths.end(), kGap * (widths.size() - 1));
    for (const Shrinkable& shrinkable : kShrinkable) {
        size_t& width = widths[shrinkable.column];
        const size_t over = total > kSummaryColumns ? total - kSummaryColumns : 0;
        const size_t taken =
            std::min(over, width > shrinkable.narrowest ? width - shrinkable.narrowest : size_t{0});
        width -= taken;
        total -= taken;
    }
    // A result cut in the table is given whole below it.
    std::vector<std::string> whole;
    for (size_t row = 1; row < table.size(); ++row) {
        Line& line = table[row];
        if (DisplayWidth(line[kResult]) > widths[kResult]) {
            whole.push_back(line[0] + ": " + line[kResult]);
        }
        for (const Shrinkable& shrinkable : kShrinkable) {
            std::string& field = line[shrinkable.column];
            if (DisplayWidth(field) > widths[shrinkable.column]) {
                field = CutToColumns(field, widths[shrinkable.column] - kCut.size()) +
                        std::string(kCut);
            }
        }
    }
    for (const Line& line : table) {
        std::string text;
        for (size_t i = 0; i < line.size(); ++i) {
            text += i + 1 < line.size() ? PadToColumns(line[i], widths[i] + kGap) : line[i];
        }
        out << text << "\n";
    }
    const auto ok =
        std::count_if(cards.begin(), cards.end(),
                      [](const cardwright::CardRecord& card) { return card.result.Ok(); });
    for (const std::string& result : whole) {
        out << result << "\n";
    }
    out << ok << " of " << cards.size() << (cards.size() == 1 ? " card" : " cards") << " ok\n";
}

cardwright::Json SummaryJson(const cardwright::RunReport& report,
                             const cardwright::Json& about_run) {
    using cardwright::Json;
    using cardwright::TextOrNull;
    // Every card carries the run's facts; a run works at least one card.
    const cardwright::RunFacts facts =
        report.cards.empty() ? cardwright::RunFacts{} : report.cards.front().run;
    Json document = {{"run_started", cardwright::UtcText(report.started)},
                     {"run_ended", cardwright::UtcText(report.ended)},
                     {"tool_version", TextOrNull(facts.tool_version)},
                     {"station", TextOrNull(facts.station)},
                     {"operator", TextOrNull(facts.operator_name)},
                     {"work_order", TextOrNull(facts.work_order)},
                     {"settings_file", TextOrNull(facts.settings_file)},
                     {"settings_crc", TextOrNull(facts.settings_crc)},
                     {"settings_sha256", TextOrNull(facts.settings_sha256)},
                     {"description_sha256", TextOrNull(facts.description_sha256)}};
    for (auto member = about_run.begin(); member != about_run.end(); ++member) {
        document[member.key()] = member.value();
    }
    document["cards"] = cardwright::ReportCardsJson(report);
    document["cards_ok"] =
        std::count_if(report.cards.begin(), report.cards.end(),
                      [](const cardwright::CardRecord& card) { return card.result.Ok(); });
    return document;
}

}  // namespace carvexctl
