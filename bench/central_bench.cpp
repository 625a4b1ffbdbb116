// Forwarding 10,000 queued records to a local PostgreSQL server (started in a temporary folder,
// as the tests start theirs) through the forwarder a station runs: records per second, and the
// resident memory of this benchmark's own process, in which the forwarder runs (the server's is
// not counted), while it forwards (sampled every 10 ms) against before. Skipped with a line when
// no server is installed.
#include <benchmark/benchmark.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "cardwork/central/central_address.h"
#include "cardwork/central/forwarder.h"
#include "cardwork/records/record_store.h"
#include "tests/support/pg_server.h"
#include "tests/support/sample_record.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kRecords = 10000;

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// A record as a card's write leaves it: twenty NV items written.
cardwright::StoredRecord Written(int number) {
    cardwright::StoredRecord record =
        testsupport::SampleRecord(std::to_string(356938035000000LL + number), "line-3");
    record.started = std::chrono::system_clock::now();
    record.ended = record.started + std::chrono::seconds(40);
    record.seconds = 40.0;
    record.nv_written = 20;
    for (int item = 0; item < 20; ++item) {
        record.items.push_back({std::to_string(550 + item), std::vector<uint8_t>(16, 0),
                                std::vector<uint8_t>(16, static_cast<uint8_t>(item))});
    }
    record.End(cardwright::WorkResult::Done());
    return record;
}

void BM_ForwardQueuedRecords(benchmark::State& state) {
    if (const std::string missing = testsupport::PgServer::Missing(); !missing.empty()) {
        state.SkipWithError(("skipped: " + missing).c_str());
        return;
    }
    const testsupport::PgServer server;
    for (auto _ : state) {
        state.PauseTiming();
        const testsupport::TempDir dir;
        static int round = 0;
        const std::string database = "bench_" + std::to_string(++round);
        server.CreateDatabase(database);
        cardwright::RecordStore store(dir.Path() / "records.db");
        store.QueueForForwarding();
        for (int i = 0; i < kRecords; ++i) {
            cardwright::StoredRecord record = Written(i);
            store.Begin(record);
            store.Complete(record);
        }
        const long before = ResidentKb();
        std::atomic<long> peak = before;
        std::atomic<bool> sampling = true;
        std::thread sampler([&] {
            while (sampling) {
                peak = std::max(peak.load(), ResidentKb());
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        state.ResumeTiming();

        const auto start = std::chrono::steady_clock::now();
        cardwright::ForwarderStatus left;
        {
            cardwright::Forwarder forwarder(
                store, cardwright::CentralAddress(server.Conninfo(database)), {});
            left = forwarder.Drain(std::chrono::minutes(10));
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        state.PauseTiming();
        sampling = false;
        sampler.join();
        if (left.waiting != 0) {
            state.SkipWithError(("records left waiting: " + left.reason).c_str());
        }
        state.counters["records_per_s"] = kRecords / seconds;
        state.counters["bench_process_rss_before_kb"] = static_cast<double>(before);
        state.counters["bench_process_rss_peak_kb"] = static_cast<double>(peak.load());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ForwardQueuedRecords)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
