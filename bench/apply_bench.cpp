// carvexctl apply on eight simulated cards against apply on one, in the same run and on the real
// clock (the cards' own timings: DIAG switches, replies, the backup, the restart): the eight are
// worked at once, each on its own connection, so the whole should take little longer than one
// card alone (the aim: within 1.3 times). Also the peak resident memory of carvexctl for eight.
//
// Each card's time moves by up to a second with every model query (the modem is polled on whole
// seconds), and eight cards wait for the slowest: rounds vary, so several are run and the median
// ratio is the result.
//
//   apply_bench [--rounds N]     (default 3; one round: one card, then eight; about 45 s a round)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "cardwork/model/setting_file.h"
#include "cardsim/card_bench.h"
#include "cardsim/card_profile.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Run {
    int exit_code = -1;
    double seconds = 0;
    long peak_kib = 0;  // the program's peak resident set
};

// Runs carvexctl with its output discarded, and measures it.
Run RunCarvexctl(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<std::string> texts = {CARVEXCTL};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    // The inherited environment, but for the variables given, which replace theirs.
    std::vector<std::string> env_texts;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('=') + 1);
        if (std::none_of(env.begin(), env.end(),
                         [&](const std::string& given) { return given.starts_with(name); })) {
            env_texts.push_back(entry);
        }
    }
    env_texts.insert(env_texts.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& text : env_texts) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, CARVEXCTL, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + std::string(CARVEXCTL));
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peak_kib = usage.ru_maxrss;
    return run;
}

// apply of one setting file onto `cards` simulated cards plugged in together.
Run ApplyOnCards(int cards, const fs::path& settings, const fs::path& folder) {
    const fs::path state = folder / ("state-" + std::to_string(cards));
    cardsim::CardBench::Options options;
    options.profile = cardsim::LoadProfile(fs::path(CARDWRIGHT_EXAMPLES_DIR) / "card.profile");
    options.cards = cards;
    options.state_file = state / "card.nv";
    cardsim::CardBench bench(std::move(options));
    return RunCarvexctl(
        {"apply", settings.string(), "--description",
         (fs::path(CARDWRIGHT_EXAMPLES_DIR) / "Config_Info.ini").string()},
        {"CARVEX_ROOT=" + bench.Root().Path().string(), "XDG_STATE_HOME=" + state.string()});
}

double LoadAverage() {
    double load[1] = {0};
    return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
        rounds = std::max(1, std::atoi(argv[2]));
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: apply_bench [--rounds N]\n");
        return 2;
    }
    const testsupport::TempDir folder;
    const fs::path settings = folder.Path() / "bench.ini";
    const auto written = cardwright::WriteSettingFile(
        settings, {"LW-X4201", false, {{"NETWORK_MODE", "13"}, {"ACQ_ORDER", "1"}}});
    if (!written.Ok()) {
        std::fprintf(stderr, "apply_bench: %s\n", written.error.c_str());
        return 1;
    }

    std::printf("load average before: %.2f\n", LoadAverage());
    std::printf("%-6s %12s %12s %10s %14s\n", "round", "1 card (s)", "8 cards (s)", "ratio",
                "peak RSS (KiB)");
    bool all_ok = true;
    std::vector<double> ratios;
    for (int round = 1; round <= rounds; ++round) {
        const Run one = ApplyOnCards(1, settings, folder.Path() / std::to_string(round));
        const Run eight = ApplyOnCards(8, settings, folder.Path() / std::to_string(round));
        all_ok = all_ok && one.exit_code == 0 && eight.exit_code == 0;
        ratios.push_back(eight.seconds / one.seconds);
        std::printf("%-6d %12.2f %12.2f %10.3f %14ld%s\n", round, one.seconds, eight.seconds,
                    eight.seconds / one.seconds, eight.peak_kib,
                    one.exit_code == 0 && eight.exit_code == 0 ? "" : "  (an apply failed)");
    }
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios[ratios.size() / 2];
    std::printf("median ratio: %.3f (%s 1.3)\n", median, median <= 1.3 ? "within" : "above");
    std::printf("load average after: %.2f\n", LoadAverage());
    return all_ok ? 0 : 1;
}
