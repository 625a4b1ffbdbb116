#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "cardsim/card_bench.h"
#include "cardsim/card_profile.h"
#include "cardwork/model/setting_file.h"
#include "tests/support/run_program.h"

// What the benchmarks that run carvexctl against simulated cards share: the setting file they
// apply, the cards, and carvexctl run and measured.
namespace cardbench {

namespace fs = std::filesystem;

inline const fs::path kExamples = CARDWRIGHT_EXAMPLES_DIR;

// Two items of the example description changed: a write, the backup and the card's restart.
inline fs::path WriteBenchSettingFile(const fs::path& folder) {
    const fs::path settings = folder / "bench.ini";
    const auto written = cardwright::WriteSettingFile(
        settings, {"LW-X4201", false, {{"NETWORK_MODE", "13"}, {"ACQ_ORDER", "1"}}});
    if (!written.Ok()) {
        throw std::runtime_error(written.error);
    }
    return settings;
}

// `cards` cards of the example profile, keeping their NV items under `state`.
inline cardsim::CardBench::Options CardOptions(int cards, const fs::path& state) {
    cardsim::CardBench::Options options;
    options.profile = cardsim::LoadProfile(kExamples / "card.profile");
    options.cards = cards;
    options.state_file = state / "card.nv";
    return options;
}

// What carvexctl needs to find the bench's cards and to keep its run folders under `state`.
inline std::vector<std::string> CardEnvironment(const cardsim::CardBench& bench,
                                                const fs::path& state) {
    return {"CARVEX_ROOT=" + bench.Root().Path().string(), "XDG_STATE_HOME=" + state.string()};
}

struct ProgramRun {
    int exit_code = -1;
    double seconds = 0;
    long peak_kib = 0;  // the program's peak resident set
};

// Runs carvexctl with its output discarded: how it ended, how long it took, its peak memory.
inline ProgramRun RunCarvexctl(const std::vector<std::string>& args,
                               const std::vector<std::string>& env) {
    testsupport::TextList argv = testsupport::Arguments(CARVEXCTL, args);
    testsupport::TextList envp = testsupport::Environment(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, CARVEXCTL, &actions, nullptr, argv.Get(), envp.Get());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + std::string(CARVEXCTL));
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    ProgramRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peak_kib = usage.ru_maxrss;
    return run;
}

// carvexctl apply of `settings` onto `cards` cards plugged in together.
inline ProgramRun ApplyOnCards(int cards, const fs::path& settings, const fs::path& state) {
    cardsim::CardBench bench(CardOptions(cards, state));
    return RunCarvexctl(
        {"apply", settings.string(), "--description", (kExamples / "Config_Info.ini").string(),
         "--records", (state / "records.db").string()},
        CardEnvironment(bench, state));
}

}  // namespace cardbench
