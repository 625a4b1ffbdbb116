// cardsim: simulated data cards for trying the library and the configurator without hardware.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>

#include "cardsim/card_bench.h"
#include "cardsim/card_identity.h"
#include "cardsim/control_channel.h"
#include "cardsim/control_command.h"
#include "carvex/platform/unique_fd.h"

namespace {

std::filesystem::path DefaultStateFile(const std::filesystem::path& profile) {
    const char* home = std::getenv("HOME");
    const std::filesystem::path base = home != nullptr ? home : "/tmp";
    return base / ".local" / "state" / "cardsim" / (profile.stem().string() + ".nv");
}

// Standard input carries commands unless it is a terminal that another program reads (cardsim
// started in the background of a shell): reading it would stop cardsim.
bool InputIsOurs() {
    return !::isatty(STDIN_FILENO) || ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
}

std::string FaultHelp() {
    return "CARD:COMMAND:KIND[:ARG], a fault of one card as a profile's [faults] line gives it "
           "(3:nv_write:nv_status:1, 2:nv_read:no_reply:x1); CARD:never_back (acknowledges the "
           "reset, never returns) and CARD:other_bytes[:BYTE] (the read-back of a written NV item "
           "answered with a byte inverted) need no command; may be repeated, the faults of one "
           "command hitting in turn. Commands: " +
           cardsim::CommandNameList() + ". Kinds: " + cardsim::FaultKindList() +
           "; \" xN\" after ARG (or as ARG) limits a fault to the first N requests";
}

void PrintCards(cardsim::CardBench& bench) {
    const int cards = bench.Size();
    const std::string indent = cards == 1 ? "  " : "    ";
    for (int number = 1; number <= cards; ++number) {
        const cardsim::SimulatedCard& card = bench.Card(number);
        std::cout << (cards == 1 ? "" : "  card " + std::to_string(number) + ":\n") << indent
                  << "PC UI interface: COM" << card.PcUiPort() << "\n"
                  << indent << "modem interface: COM" << card.ModemPort() << "\n";
        if (const auto imei = cardsim::ProfileImei(card.Profile())) {
            std::cout << indent << "IMEI:            " << *imei << "\n";
        }
    }
}

}  // namespace

int Run(int argc, char** argv) {
    CLI::App app{"Simulated 3G data cards on pseudo-terminals, published in a device root."};
    std::filesystem::path profile_path;
    std::optional<std::filesystem::path> root;
    std::optional<std::filesystem::path> state_file;
    std::optional<std::filesystem::path> control;
    bool json = false;
    int time_scale = 1;
    int cards = 1;
    std::vector<std::string> fault_texts;
    std::optional<std::string> usb_device;
    app.add_option("--profile", profile_path, "card profile (identity, versions, NV items)")
        ->required()
        ->check(CLI::ExistingFile);
    app.add_option("--root", root,
                   "device root to publish the cards in (default: a new temporary one)");
    app.add_option("--state", state_file,
                   "where an NV backup keeps the first card's items (default: "
                   "~/.local/state/cardsim/<profile>.nv); card k keeps its own in <name>-k.nv");
    app.add_option("--time-scale", time_scale, "divide the cards' delays by this")
        ->check(CLI::PositiveNumber);
    app.add_option("--cards", cards,
                   "how many cards to plug in; card k answers with the profile's IMEI serial "
                   "number plus k-1 and COM numbers plus (k-1) times 10 (20, 30, ... when the "
                   "profile's COM numbers span more than ten), and its driver names end in \" #k\"")
        ->check(CLI::Range(1, cardsim::CardBench::kMaxCards));
    app.add_option(
        "--usb-device", usb_device,
        "publish the card as plugged into this USB device (\"/sys/devices/...\", as "
        "ModemManager names it; a further card k: PATH.k), so that a program borrows it from "
        "ModemManager; the profile's usb_device, else none");
    app.add_option("--fault", fault_texts, FaultHelp());
    app.add_option("--control", control,
                   "also take commands on a Unix socket made at this path (one line each, "
                   "answered with one line)");
    app.add_flag("--json", json, "answer commands with one JSON object a line");
    app.footer(
        "Commands, one a line on standard input or the control socket, each answered with one "
        "line (\"ok: ...\" or \"error: ...\"):\n"
        "  plug [IMEI] [--profile FILE]  a new card in the next free slot, with its own COM "
        "numbers, IMEI (the slot's own, or IMEI) and state file\n"
        "  unplug N                      card N pulled out; its slot stays its own\n"
        "  replug N                      card N back in its slot, with its NV items\n"
        "  list                          every slot: plugged, restarting, unplugged or gone\n"
        "The device lists hold the cards present at indices 0, 1, 2, ... without a gap.");
    CLI11_PARSE(app, argc, argv);

    std::vector<cardsim::CardFault> faults;
    for (const std::string& text : fault_texts) {
        try {
            faults.push_back(cardsim::ReadCardFault(text, cards));
        } catch (const cardsim::FaultTextError& e) {
            std::cerr << "cardsim: --fault " << text << ": " << e.what() << std::endl;
            return 2;
        }
    }

    // Taken through a descriptor, beside the commands, before any thread can take them: the
    // cards then shut down in an orderly way.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const carvex::UniqueFd signal_fd(::signalfd(-1, &signals, SFD_CLOEXEC));
    if (!signal_fd) {
        std::cerr << "cardsim: cannot take signals" << std::endl;
        return 1;
    }
    ::signal(SIGPIPE, SIG_IGN);  // a reader of the answers that went away ends only the answers
    ::signal(SIGTTIN, SIG_IGN);  // moved into the background later: the input ends, not cardsim

    try {
        cardsim::CardBench::Options options;
        options.profile = cardsim::LoadProfile(profile_path);
        if (usb_device) {
            options.profile.usb_device = *usb_device;
        }
        options.cards = cards;
        options.root = root;
        options.state_file = state_file ? *state_file : DefaultStateFile(profile_path);
        options.time_scale = time_scale;
        cardsim::CardBench bench(std::move(options));
        for (const auto& fault : faults) {
            bench.Card(fault.card).AddFault(fault.command, fault.fault);
        }
        const bool input = InputIsOurs();
        cardsim::ControlChannel channel(bench,
                                        {input ? STDIN_FILENO : -1, STDOUT_FILENO, control, json});

        const std::string root_path = bench.Root().Path().string();
        std::cout << "cardsim: " << (cards == 1 ? "card" : std::to_string(cards) + " cards")
                  << " published in " << root_path << "\n";
        PrintCards(bench);
        std::cout << "Use it with:\n  export CARVEX_ROOT=" << root_path << "\n";
        if (input || control) {
            std::cout << "Commands (" << cardsim::kControlCommands << ") on "
                      << (input ? "standard input" : "") << (input && control ? " and on " : "")
                      << (control ? control->string() : "") << ".\n";
        }
        std::cout << "Press Ctrl-C to unplug the " << (cards == 1 ? "card." : "cards.")
                  << std::endl;

        channel.Serve(signal_fd.Get());
        std::cout << "cardsim: " << (bench.Size() == 1 ? "card" : "cards") << " unplugged"
                  << std::endl;
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
