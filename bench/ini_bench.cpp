// INI reads as the configurator makes them: a description of n items read item by item and key
// by key (one IniFile per command, so its first read parses the file), a stored solution of n
// values read key by key, and one value written into that solution's file.
#include <benchmark/benchmark.h>

#include <string>

#include "cardwork/model/config_item.h"
#include "cardwork/model/ini_file.h"
#include "bench/generated_description.h"
#include "tests/support/temp_dir.h"

namespace {

using benchsupport::ItemName;
using benchsupport::WriteDescription;
using benchsupport::WriteSolution;

void BM_ReadDescription(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    testsupport::TempDir dir;
    const auto path = dir.Path() / "Config_Info.ini";
    WriteDescription(path, items);
    for (auto _ : state) {
        const cardwright::IniFile description(path);
        auto read = cardwright::ReadConfigItems(description);
        if (!read || read->size() != static_cast<size_t>(items)) {
            state.SkipWithError("the description did not read back");
            return;
        }
        benchmark::DoNotOptimize(read);
    }
    state.SetItemsProcessed(state.iterations() * items);
}
BENCHMARK(BM_ReadDescription)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_ReadSolution(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    testsupport::TempDir dir;
    const auto path = dir.Path() / "config_value.ini";
    WriteSolution(path, items);
    for (auto _ : state) {
        const cardwright::IniFile values(path);
        int sum = 0;
        for (int i = 0; i < items; ++i) {
            sum += values.ReadInteger("Stored", ItemName(i), 0);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * items);
}
BENCHMARK(BM_ReadSolution)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_WriteOneValue(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    testsupport::TempDir dir;
    const auto path = dir.Path() / "config_value.ini";
    WriteSolution(path, items);
    cardwright::IniFile values(path);
    int round = 0;
    for (auto _ : state) {
        if (!values.WriteString("Stored", ItemName(items / 2), std::to_string(round++ % 3))) {
            state.SkipWithError("the write failed");
            return;
        }
    }
}
BENCHMARK(BM_WriteOneValue)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
