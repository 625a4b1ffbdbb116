#include <algorithm>
#include <iomanip>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>

#include "cardwork/batch/utc_text.h"
#include "cardwork/central/central_records.h"
#include "cardwork/central/central_schema.h"
#include "cardwork/central/forwarder.h"
#include "cardwork/central/pg_connection.h"
#include "cardwork/json/json_document.h"
#include "cardwork/records/record_output.h"
#include "cardwork/records/record_store.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/central_forwarding.h"
#include "tools/carvexctl/command_failure.h"
#include "tools/carvexctl/records_command.h"

namespace carvexctl {

namespace {

namespace fs = std::filesystem;
using cardwright::RecordStore;
using cardwright::RecordStoreError;
using cardwright::StoredRecord;

cardwright::RecordFilter FilterOf(const RecordsQuery& query) {
    cardwright::RecordFilter filter;
    filter.imei = query.imei;
    filter.station = query.station;
    if (!query.since.empty()) {
        filter.since = cardwright::ParseUtcText(query.since);
        if (!filter.since) {
            throw Refusal("--since " + query.since +
                          ": not a UTC day or time (2026-03-14, 2026-03-14T09:05Z, "
                          "2026-03-14T09:05:31Z)");
        }
    }
    if (!query.result.empty()) {
        filter.outcome = cardwright::OutcomeNamed(query.result);
    }
    return filter;
}

// One line per record: when, which card, where, and how it ended.
void PrintTable(std::ostream& out, const std::vector<StoredRecord>& records) {
    if (records.empty()) {
        out << "no records\n";
        return;
    }
    const auto shown = [](const std::string& text) {
        return text.empty() ? std::string("-") : carvex::PrintableText(text);
    };
    size_t imei = 4;
    size_t station = 7;
    size_t port = 4;
    for (const StoredRecord& record : records) {
        imei = std::max(imei, shown(record.imei).size());
        station = std::max(station, shown(record.station).size());
        port = std::max(port, shown(record.port).size());
    }
    const auto row = [&](const std::string& started, const std::string& a, const std::string& b,
                         const std::string& c, const std::string& result) {
        out << std::left << std::setw(22) << started << std::setw(static_cast<int>(imei + 2)) << a
            << std::setw(static_cast<int>(station + 2)) << b
            << std::setw(static_cast<int>(port + 2)) << c << result << "\n";
    };
    row("STARTED", "IMEI", "STATION", "PORT", "RESULT");
    for (const StoredRecord& record : records) {
        row(cardwright::UtcText(record.started), shown(record.imei), shown(record.station),
            shown(record.port), record.outcome ? shown(record.result) : "in progress");
    }
}

void Print(const RecordsQuery& query, const std::vector<StoredRecord>& records, std::ostream& out) {
    if (query.json) {
        cardwright::PrintJsonDocument(out, cardwright::RecordsJson(records));
    } else if (query.csv) {
        out << cardwright::RecordsCsv(records);
    } else {
        PrintTable(out, records);
    }
}

bool Passes(const cardwright::RecordFilter& filter, const StoredRecord& record) {
    return (filter.imei.empty() || record.imei == filter.imei) &&
           (filter.station.empty() || record.station == filter.station) &&
           (!filter.since || record.started >= *filter.since) &&
           (!filter.outcome || record.outcome == filter.outcome);
}

// The local records database, when there is one to read: nothing worked here yet, no records,
// and no database made for the asking. A database named on the command line must be there.
std::unique_ptr<RecordStore> LocalStore(const RecordsQuery& query) {
    const fs::path db = RecordsPath(query.records);
    std::error_code error;
    if (query.records.empty() && !fs::exists(db, error)) {
        return nullptr;
    }
    std::unique_ptr<RecordStore> store;
    try {
        store = std::make_unique<RecordStore>(db, RecordStore::IfMissing::kRefuse);
    } catch (const RecordStoreError& failure) {
        throw Failure(failure.what());
    }
    if (store->MarkedInterrupted() > 0) {
        std::cerr << "carvexctl: " << store->MarkedInterrupted()
                  << " record(s) of programs that ended without completing them are "
                     "now marked interrupted\n";
    }
    return store;
}

void Forward(const RecordsQuery& query, const cardwright::CentralAddress& address,
             std::ostream& out) {
    const std::unique_ptr<RecordStore> store = LocalStore(query);
    if (!store) {
        out << "no records here to forward\n";
        return;
    }
    uint64_t sent = 0;
    try {
        cardwright::PgConnection connection(address.Conninfo());
        cardwright::MigrateCentralSchema(connection);
        sent = cardwright::ForwardQueued(*store, connection);
    } catch (const cardwright::CentralError& error) {
        throw Failure("central records: " + std::to_string(store->WaitingCount()) + " waiting (" +
                      error.what() + ")");
    } catch (const RecordStoreError& error) {
        throw Failure(error.what());
    }
    out << sent << " record(s) forwarded to " << address.Description() << "\n";
}

}  // namespace

void RunRecordsCommand(const RecordsQuery& query, std::ostream& out) {
    const cardwright::RecordFilter filter = FilterOf(query);
    std::vector<StoredRecord> records;
    if (!query.central.empty()) {
        const cardwright::CentralAddress address = CentralAddressOf(query.central);
        if (query.forward) {
            Forward(query, address, out);
            return;
        }
        try {
            cardwright::PgConnection connection(address.Conninfo());
            records = cardwright::FindCentral(connection, filter);
        } catch (const cardwright::CentralError& error) {
            throw Failure(address.Description() + ": " + error.what());
        }
    } else if (const std::unique_ptr<RecordStore> store = LocalStore(query)) {
        try {
            if (query.pending) {
                for (cardwright::QueuedRecord& queued :
                     store->Waiting(static_cast<size_t>(std::numeric_limits<int64_t>::max()))) {
                    if (Passes(filter, queued.record)) {
                        records.push_back(std::move(queued.record));
                    }
                }
            } else {
                records = store->Find(filter);
            }
        } catch (const RecordStoreError& failure) {
            throw Failure(failure.what());
        }
    }
    Print(query, records, out);
}

size_t RemoveRecordsBegunBefore(const fs::path& db, std::chrono::system_clock::time_point cutoff) {
    try {
        RecordStore store(db, RecordStore::IfMissing::kRefuse);
        return store.RemoveBegunBefore(cutoff);
    } catch (const RecordStoreError& failure) {
        throw Failure(failure.what());
    }
}

std::vector<std::string> SnapshotsStillNeeded(const fs::path& db) {
    std::error_code error;
    if (!fs::exists(db, error)) {
        return {};
    }
    try {
        const RecordStore store(db, RecordStore::IfMissing::kRefuse);
        return store.SnapshotsOfUnfinishedWrites();
    } catch (const RecordStoreError& failure) {
        throw Failure(std::string("cannot tell which snapshots the records still need: ") +
                      failure.what());
    }
}

}  // namespace carvexctl
