#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/card/work_result.h"

namespace cardwright {

// How a card's work ended, as the records are searched by it.
enum class RecordOutcome { kOk, kRefused, kFailed, kCancelled, kMismatch, kInterrupted };

// "ok", "refused", "failed", "cancelled", "mismatch", "interrupted".
std::string_view OutcomeName(RecordOutcome outcome);
std::optional<RecordOutcome> OutcomeNamed(std::string_view name);

// One thing the work wrote on the card: the bytes it held before and those it holds after.
struct RecordItem {
    std::string item;                            // an NV item's number ("550"), "port setting"
    std::optional<std::vector<uint8_t>> before;  // nullopt: the card did not hold it
    std::optional<std::vector<uint8_t>> after;   // nullopt: not known (never read back)
    friend bool operator==(const RecordItem&, const RecordItem&) = default;
};

// What one attempt at a card came to, as the records database keeps it: which card, where, by
// whom, with which file, when, and how it ended, in the texts a query gives back. An empty text
// is one not known (or not given), as is a nullopt.
struct StoredRecord {
    std::string uuid;  // made when the work begins (given, or by RecordStore::Begin)
    std::string imei;
    std::string station;
    std::string port;  // "COM12"
    std::string operator_name;
    std::string work_order;
    std::string setting_file;
    std::optional<uint16_t> setting_crc;  // the file's own seal
    std::string setting_sha256;           // lowercase hex
    std::string description_sha256;
    std::string model;
    std::string firmware;
    std::string card_type;
    std::chrono::system_clock::time_point started;  // kept to the second
    std::optional<std::chrono::system_clock::time_point> ended;
    std::optional<double> seconds;
    // The end, as WorkResult::Text() words it; empty while the work goes on.
    std::string result;
    std::optional<RecordOutcome> outcome;
    // The step the work is at, as WorkResult names steps ("writing"): an interrupted record says
    // where it was broken off.
    std::string step;
    // The captions of the items the setting file left to their defaults; nullopt when the card
    // did not get as far as the write.
    std::optional<std::vector<std::string>> defaults_left;
    size_t nv_written = 0;
    std::vector<std::string> mismatches;  // as the report names them: "550", "port setting"
    int retries = 0;
    std::string snapshot;
    std::string tool_version;
    // What the station's after-hook came to; nullopt when none ran.
    std::optional<std::string> after_hook;
    std::vector<RecordItem> items;

    // Sets the result, its outcome and the step it ended at.
    void End(const WorkResult& work);

    friend bool operator==(const StoredRecord&, const StoredRecord&) = default;
};

RecordOutcome OutcomeOf(WorkOutcome outcome);

// How the records keep a list of texts (the defaults left, the mismatches): a JSON array on one
// line; a text that is no such array reads as an empty list.
std::string ListText(const std::vector<std::string>& list);
std::vector<std::string> ListOf(const std::string& text);

}  // namespace cardwright
