#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cardwork/central/pg_connection.h"
#include "cardwork/records/sqlite_database.h"
#include "tests/station/station_fixture.h"
#include "tests/support/pg_server.h"

namespace stationtest {

// Stations and apply forwarding their records to a PostgreSQL server the suite starts, a
// database of each test's own on it.
class CentralStationTest : public StationTest {
  protected:
    static void SetUpTestSuite() {
        if (testsupport::PgServer::Missing().empty()) {
            server_ = new testsupport::PgServer();  // NOLINT: ended in TearDownTestSuite
        }
    }
    static void TearDownTestSuite() {
        delete server_;  // NOLINT
        server_ = nullptr;
    }
    void SetUp() override {
        if (server_ == nullptr) {
            GTEST_SKIP() << testsupport::PgServer::Missing();
        }
        static int databases = 0;
        database_ = "station_" + std::to_string(::getpid()) + "_" + std::to_string(++databases);
        server_->CreateDatabase(database_);
    }

    std::string Conninfo() const { return server_->Conninfo(database_); }
    // What a query of the central database gives, its rows a line each ("a|b").
    std::string Central(const std::string& sql) const {
        cardwright::PgConnection connection(Conninfo());
        const cardwright::PgResult rows = connection.Exec(sql);
        std::string text;
        for (int row = 0; row < rows.Rows(); ++row) {
            text += (row == 0 ? "" : "\n") + rows.Text(row, 0);
        }
        return text;
    }
    // The UUIDs of a station's records as they arrived, or as its database holds them.
    std::string Arrived(const std::string& station) const {
        return Central(
            "SELECT string_agg(uuid::text, ',' ORDER BY arrival) FROM carvex_records "
            "WHERE station = '" +
            station + "'");
    }
    // The UUIDs of a records database's records in the order it queued them for forwarding.
    static std::string Queued(const std::filesystem::path& db) {
        cardwright::SqliteDatabase records(db, false);
        cardwright::SqliteStatement query = records.Prepare(
            "SELECT uuid FROM records JOIN outbox ON id = record_id ORDER BY place");
        std::string text;
        while (query.Step()) {
            text += (text.empty() ? "" : ",") + query.Text(0);
        }
        return text;
    }
    static size_t Items(const std::filesystem::path& db) {
        const cardwright::RecordStore store(db, cardwright::RecordStore::IfMissing::kRefuse);
        size_t items = 0;
        for (const auto& record : store.Find({}, true)) {
            items += record.items.size();
        }
        return items;
    }
    // Every file under `folder` (and the file itself) that holds `text`.
    static std::vector<std::string> FilesHolding(const std::filesystem::path& folder,
                                                 const std::string& text) {
        std::vector<std::string> found;
        std::error_code error;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
            if (!entry.is_regular_file(error)) {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), {}};
            if (bytes.find(text) != std::string::npos) {
                found.push_back(entry.path().string());
            }
        }
        return found;
    }

    // The central event that says `waiting` records wait, skipping the others.
    static std::optional<Json> Waiting(RunningStation& station, size_t waiting) {
        for (;;) {
            auto event = station.Next("central", std::chrono::seconds(60));
            if (!event || (*event)["waiting"] == waiting) {
                return event;
            }
        }
    }

    // Cards worked while the server is down, and the station killed while their records wait;
    // the server back `outage` later, and the station started again.
    void ForwardThroughAnOutage(std::chrono::seconds outage) {
        Plug(2);
        server_->Stop();
        auto station = Start({"--central", Conninfo(), "--central-retry-max", "1"});
        for (int card = 0; card < 2; ++card) {
            const auto ended = station->NextCard();
            ASSERT_TRUE(ended);
            EXPECT_EQ((*ended)["result"], "ok") << ended->dump();
        }
        const auto waiting = Waiting(*station, 2);
        ASSERT_TRUE(waiting);
        EXPECT_EQ((*waiting)["text"].get<std::string>().rfind("central records: 2 waiting (", 0),
                  0u)
            << waiting->dump();
        station->Signal(SIGKILL);
        station->Wait();
        station.reset();

        // The outage lasts as long as it lasts: the station is gone meanwhile.
        std::this_thread::sleep_for(outage);
        server_->Start();
        auto again = Start({"--central", Conninfo(), "--central-retry-max", "1"});
        for (int card = 0; card < 2; ++card) {
            const auto ended = again->NextCard();
            ASSERT_TRUE(ended);
            EXPECT_EQ((*ended)["state"], "done_earlier");
        }
        again->Signal(SIGTERM);
        EXPECT_EQ(again->Wait(), 0);

        const auto records = StoredRecords();
        ASSERT_EQ(records.size(), 4u);
        EXPECT_EQ(Central("SELECT count(DISTINCT uuid) || '/' || count(*) FROM carvex_records"),
                  "4/4");
        EXPECT_EQ(Arrived("line-7"), Queued(Records()));
    }

    static testsupport::PgServer* server_;
    std::string database_;
};

inline testsupport::PgServer* CentralStationTest::server_ = nullptr;

}  // namespace stationtest
