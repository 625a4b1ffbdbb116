#include "cardwork/records/record_output.h"

#include <cmath>

#include "cardwork/batch/run_summary.h"
#include "cardwork/batch/utc_text.h"

namespace cardwright {

namespace {

std::string FieldText(const Json& value) {
    if (value.is_null()) {
        return {};
    }
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_array()) {
        std::string joined;
        for (const Json& entry : value) {
            joined += (joined.empty() ? "" : "; ") + FieldText(entry);
        }
        return joined;
    }
    return value.dump();
}

}  // namespace

Json RecordJson(const StoredRecord& record) {
    Json object = Json::object();
    object["uuid"] = record.uuid;
    object["imei"] = TextOrNull(record.imei);
    object["station"] = TextOrNull(record.station);
    object["port"] = TextOrNull(record.port);
    object["operator"] = TextOrNull(record.operator_name);
    object["work_order"] = TextOrNull(record.work_order);
    object["setting_file"] = TextOrNull(record.setting_file);
    object["setting_crc"] = record.setting_crc ? Json(*record.setting_crc) : Json(nullptr);
    object["setting_sha256"] = TextOrNull(record.setting_sha256);
    object["description_sha256"] = TextOrNull(record.description_sha256);
    object["model"] = TextOrNull(record.model);
    object["firmware"] = TextOrNull(record.firmware);
    object["card_type"] = TextOrNull(record.card_type);
    object["started"] = UtcText(record.started);
    object["ended"] = record.ended ? Json(UtcText(*record.ended)) : Json(nullptr);
    object["seconds"] =
        record.seconds ? Json(std::round(*record.seconds * 10) / 10) : Json(nullptr);
    object["result"] = TextOrNull(record.result);
    object["defaults_left"] = record.defaults_left ? Json(*record.defaults_left) : Json(nullptr);
    object["nv_written"] = record.nv_written;
    object["mismatches"] = record.mismatches;
    object["retries"] = record.retries;
    object["snapshot"] = TextOrNull(record.snapshot);
    object["tool_version"] = TextOrNull(record.tool_version);
    object["after_hook"] = record.after_hook ? Json(*record.after_hook) : Json(nullptr);
    return object;
}

Json RecordsJson(const std::vector<StoredRecord>& records) {
    Json array = Json::array();
    for (const StoredRecord& record : records) {
        array.push_back(RecordJson(record));
    }
    return array;
}

std::string RecordsCsv(const std::vector<StoredRecord>& records) {
    // The names come from the JSON of a record, so the two cannot come apart.
    std::string text;
    const Json names = RecordJson(StoredRecord{});
    for (auto member = names.begin(); member != names.end(); ++member) {
        text += (text.empty() ? "" : ",") + member.key();
    }
    text += "\r\n";
    for (const StoredRecord& record : records) {
        const Json fields = RecordJson(record);
        const char* between = "";
        for (const Json& field : fields) {
            text += between + CsvField(FieldText(field));
            between = ",";
        }
        text += "\r\n";
    }
    return text;
}

}  // namespace cardwright
