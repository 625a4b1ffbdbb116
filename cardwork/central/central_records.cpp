#include "cardwork/central/central_records.h"

#include <array>
#include <cstdio>

#include "cardwork/batch/utc_text.h"
#include "cardwork/central/pg_connection.h"
#include "cardwork/json/json_document.h"

namespace cardwright {

namespace {

// The columns a record is sent and read with, in the order of their parameters ($1 on).
constexpr std::string_view kColumns =
    "uuid, imei, station, port, operator, work_order, setting_file, setting_crc, setting_sha256, "
    "description_sha256, model, firmware, card_type, started, ended, seconds, result, outcome, "
    "step, defaults_left, nv_written, mismatches, retries, snapshot, tool_version, after_hook";
constexpr int kColumnCount = 26;

// Times are read back in the form the local records give them.
constexpr std::string_view kReadColumns =
    "uuid::text, imei, station, port, operator, work_order, setting_file, setting_crc, "
    "setting_sha256, description_sha256, model, firmware, card_type, "
    R"(to_char(started AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS"Z"'), )"
    R"(to_char(ended AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS"Z"'), )"
    "seconds, result, outcome, step, defaults_left::text, nv_written, mismatches::text, retries, "
    "snapshot, tool_version, after_hook";

// The server refuses a text that is not UTF-8 (a file name or an operator typed in another
// encoding): such bytes go as U+FFFD, as the JSON output writes them.
std::optional<std::string> TextOrNone(const std::string& text) {
    return text.empty() ? std::nullopt : std::optional(ValidUtf8(text));
}

// bytea in PostgreSQL's hex form.
std::optional<std::string> ByteaText(const std::optional<std::vector<uint8_t>>& bytes) {
    if (!bytes) {
        return std::nullopt;
    }
    static constexpr std::string_view kDigits = "0123456789abcdef";
    std::string text = "\\x";
    for (const uint8_t byte : *bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

PgParams RecordParams(const StoredRecord& record) {
    std::optional<std::string> seconds;
    if (record.seconds) {
        std::array<char, 32> text{};
        std::snprintf(text.data(), text.size(), "%.17g", *record.seconds);
        seconds = text.data();
    }
    return {
        record.uuid,
        TextOrNone(record.imei),
        TextOrNone(record.station),
        TextOrNone(record.port),
        TextOrNone(record.operator_name),
        TextOrNone(record.work_order),
        TextOrNone(record.setting_file),
        record.setting_crc ? std::optional(std::to_string(*record.setting_crc)) : std::nullopt,
        TextOrNone(record.setting_sha256),
        TextOrNone(record.description_sha256),
        TextOrNone(record.model),
        TextOrNone(record.firmware),
        TextOrNone(record.card_type),
        UtcText(record.started),
        record.ended ? std::optional(UtcText(*record.ended)) : std::nullopt,
        seconds,
        TextOrNone(record.result),
        record.outcome ? std::optional(std::string(OutcomeName(*record.outcome))) : std::nullopt,
        TextOrNone(record.step),
        record.defaults_left ? std::optional(ListText(*record.defaults_left)) : std::nullopt,
        std::to_string(record.nv_written),
        ListText(record.mismatches),
        std::to_string(record.retries),
        TextOrNone(record.snapshot),
        TextOrNone(record.tool_version),
        record.after_hook ? std::optional(ValidUtf8(*record.after_hook)) : std::nullopt,
    };
}

std::string Placeholders(int from, int count) {
    std::string text;
    for (int i = from; i < from + count; ++i) {
        text += (i == from ? "$" : ", $") + std::to_string(i);
    }
    return text;
}

std::chrono::system_clock::time_point TimeOf(const std::string& text) {
    return ParseUtcText(text).value_or(std::chrono::system_clock::time_point{});
}

StoredRecord ReadRecord(const PgResult& rows, int row) {
    StoredRecord record;
    int at = 0;
    const auto next = [&] { return rows.Text(row, at++); };
    record.uuid = next();
    record.imei = next();
    record.station = next();
    record.port = next();
    record.operator_name = next();
    record.work_order = next();
    record.setting_file = next();
    if (const auto crc = rows.Value(row, at++)) {
        record.setting_crc = static_cast<uint16_t>(std::stoul(*crc));
    }
    record.setting_sha256 = next();
    record.description_sha256 = next();
    record.model = next();
    record.firmware = next();
    record.card_type = next();
    record.started = TimeOf(next());
    if (const auto ended = rows.Value(row, at++)) {
        record.ended = TimeOf(*ended);
    }
    if (const auto seconds = rows.Value(row, at++)) {
        record.seconds = std::stod(*seconds);
    }
    record.result = next();
    record.outcome = OutcomeNamed(next());
    record.step = next();
    if (const auto defaults = rows.Value(row, at++)) {
        record.defaults_left = ListOf(*defaults);
    }
    record.nv_written = static_cast<size_t>(std::stoull(rows.Value(row, at++).value_or("0")));
    record.mismatches = ListOf(next());
    record.retries = std::stoi(rows.Value(row, at++).value_or("0"));
    record.snapshot = next();
    record.tool_version = next();
    record.after_hook = rows.Value(row, at++);
    return record;
}

}  // namespace

void SendRecord(PgConnection& connection, const StoredRecord& record) {
    PgTransaction transaction(connection);
    const PgResult inserted = connection.Exec(
        "INSERT INTO carvex_records (" + std::string(kColumns) + ") VALUES (" +
            Placeholders(1, kColumnCount) + ") ON CONFLICT (uuid) DO NOTHING RETURNING 1",
        RecordParams(record));
    if (inserted.Rows() == 1 && !record.items.empty()) {
        // The items in one statement: a round trip each would make the record's transaction
        // as slow as the way to the server is long.
        std::string sql =
            "INSERT INTO carvex_record_items (record, position, item, before, after) VALUES ";
        PgParams params = {record.uuid};
        int position = 0;
        for (const RecordItem& item : record.items) {
            const int at = static_cast<int>(params.size()) + 1;
            sql += std::string(position == 0 ? "" : ", ") + "($1, $" + std::to_string(at) +
                   "::integer, " + Placeholders(at + 1, 3) + ")";
            params.insert(params.end(), {std::to_string(position++), ValidUtf8(item.item),
                                         ByteaText(item.before), ByteaText(item.after)});
        }
        connection.Exec(sql, params);
    } else if (record.after_hook) {
        connection.Exec(
            "UPDATE carvex_records SET after_hook = $2 WHERE uuid = $1 AND after_hook IS NULL",
            {record.uuid, ValidUtf8(*record.after_hook)});
    }
    transaction.Commit();
}

std::vector<StoredRecord> FindCentral(PgConnection& connection, const RecordFilter& filter) {
    // A database no station forwarded to yet has no records, rather than no table.
    if (connection.Exec("SELECT to_regclass('carvex_records') IS NULL").Text(0, 0) == "t") {
        return {};
    }
    const PgResult rows = connection.Exec(
        "SELECT " + std::string(kReadColumns) +
            " FROM carvex_records WHERE ($1::text IS NULL OR imei = $1) AND ($2::timestamptz IS "
            "NULL OR started >= $2) AND ($3::text IS NULL OR outcome = $3) AND ($4::text IS NULL "
            "OR station = $4) ORDER BY started, arrival",
        {TextOrNone(filter.imei),
         filter.since ? std::optional(UtcText(*filter.since)) : std::nullopt,
         filter.outcome ? std::optional(std::string(OutcomeName(*filter.outcome))) : std::nullopt,
         TextOrNone(filter.station)});
    std::vector<StoredRecord> records;
    records.reserve(static_cast<size_t>(rows.Rows()));
    for (int row = 0; row < rows.Rows(); ++row) {
        records.push_back(ReadRecord(rows, row));
    }
    return records;
}

}  // namespace cardwright
