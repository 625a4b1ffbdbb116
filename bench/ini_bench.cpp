// INI reads as the configurator makes them: a description of n items read item by item and key
// by key (one IniFile per command, so its first read parses the file), a stored solution of n
// values read key by key, and one value written into that solution's file.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "app/model/config_item.h"
#include "app/model/ini_file.h"
#include "tests/support/temp_dir.h"

namespace {

std::string ItemName(int i) {
    return "ITEM_" + std::to_string(i);
}

void WriteDescription(const std::filesystem::path& path, int items) {
    std::ofstream out(path, std::ios::binary);
    out << "; generated description\r\n[CONFIG_PAGE]\r\n";
    for (int page = 0; page < 5; ++page) {
        out << "PAGE_" << page << "=Page " << page << "\r\n";
    }
    out << "\r\n[CONFIG_ITEM]\r\n";
    for (int i = 0; i < items; ++i) {
        out << ItemName(i) << "=1\r\n";
    }
    for (int i = 0; i < items; ++i) {
        out << "\r\n[" << ItemName(i) << "]\r\n"
            << "ALONG_PAGE=PAGE_" << i % 5 << "\r\n"
            << "DISPLAY=Generated item " << i << "\r\n"
            << "RANGE=Off,On,Automatic\r\nRANGE_VALUE=0,1,2\r\n"
            << "NV_ID=" << 1000 + i << "\r\nNV_BYTE=" << i % 4 << "\r\nNV_BIT=-1\r\n"
            << "TYPE=BYTE\r\nDEFAULT_VALUE=Off\r\nVISIBLE=1\r\nUSER_INPUT=0\r\n"
            << "SCARDTYPE_ITEM=1\r\nVALUECOUNT=1\r\nNEW_VERSION=1\r\nITEM_WIDTH=120\r\n";
    }
}

void WriteSolution(const std::filesystem::path& path, int items) {
    std::ofstream out(path, std::ios::binary);
    out << "[MAIN]\r\ncurrent=Stored\r\n\r\n[DEFAULT]\r\nConfigLed=1\r\n\r\n[Stored]\r\n";
    for (int i = 0; i < items; ++i) {
        out << ItemName(i) << "=" << i % 3 << "\r\n";
    }
}

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
