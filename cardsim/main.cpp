// cardsim: a simulated data card for trying the library and the configurator without hardware.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>

#include "cardsim/simulated_card.h"

namespace {

std::filesystem::path DefaultStateFile(const std::filesystem::path& profile) {
    const char* home = std::getenv("HOME");
    const std::filesystem::path base = home != nullptr ? home : "/tmp";
    return base / ".local" / "state" / "cardsim" / (profile.stem().string() + ".nv");
}

}  // namespace

int Run(int argc, char** argv) {
    CLI::App app{"A simulated 3G data card on pseudo-terminals, published in a device root."};
    std::filesystem::path profile_path;
    std::optional<std::filesystem::path> root;
    std::optional<std::filesystem::path> state_file;
    int time_scale = 1;
    app.add_option("--profile", profile_path, "card profile (identity, versions, NV items)")
        ->required()
        ->check(CLI::ExistingFile);
    app.add_option("--root", root,
                   "device root to publish the card in (default: a new temporary one)");
    app.add_option("--state", state_file,
                   "where an NV backup keeps the card's items (default: ~/.local/state/cardsim/)");
    app.add_option("--time-scale", time_scale, "divide the card's delays by this")
        ->check(CLI::PositiveNumber);
    CLI11_PARSE(app, argc, argv);

    // Signals are taken synchronously below, so the card shuts down in an orderly way.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        cardsim::SimulatedCard::Options options;
        options.profile = cardsim::LoadProfile(profile_path);
        options.root = root;
        options.state_file = state_file ? *state_file : DefaultStateFile(profile_path);
        options.time_scale = time_scale;
        cardsim::SimulatedCard card(std::move(options));

        std::cout << "cardsim: card published in " << card.Root().Path().string() << "\n"
                  << "  PC UI interface: COM" << card.PcUiPort() << "\n"
                  << "  modem interface: COM" << card.ModemPort() << "\n"
                  << "Use it with:\n  export CARVEX_ROOT=" << card.Root().Path().string() << "\n"
                  << "Press Ctrl-C to unplug the card." << std::endl;

        int signal = 0;
        sigwait(&signals, &signal);
        std::cout << "cardsim: card unplugged" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "cardsim: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return 1;
    }
}
