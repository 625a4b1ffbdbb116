#include "tools/carvexctl/card_work_commands.h"

#include <CLI/CLI.hpp>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>

#include "cardwork/batch/status_words.h"
#include "cardwork/batch/write_steps.h"
#include "cardwork/card/card_reader.h"
#include "cardwork/card/card_writer.h"
#include "cardwork/card/connection_card.h"
#include "cardwork/card/setting_file_import.h"
#include "cardwork/card/stream_log.h"
#include "cardwork/model/setting_crc.h"
#include "carvex/platform/device_root.h"
#include "carvex/platform/modem_manager.h"
#include "carvex/platform/port_diagnosis.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/command_card.h"
#include "tools/carvexctl/default_description.h"
#include "tools/carvexctl/display_width.h"
#include "tools/carvexctl/port_option.h"

namespace carvexctl {

namespace {

using namespace cardwright;

// A message the window would show goes to standard error, after the log line that says the same.
class CommandLineView : public UnattendedView {
  public:
    void ShowMessage(std::string_view text) override {
        std::cerr << "carvexctl: " << text << std::endl;
    }
};

// Where the log lines go: standard error, or the file --log names (added to its end).
class LogTarget {
  public:
    explicit LogTarget(const std::string& path) {
        if (!path.empty()) {
            file_.open(path, std::ios::app);
            if (!file_) {
                throw Refusal("cannot write the log " + path);
            }
        }
        log_.emplace(path.empty() ? std::cerr : file_);
    }
    LogSink& Log() { return *log_; }

  private:
    std::ofstream file_;
    std::optional<StreamLog> log_;
};

// One card and the seams the card work runs through.
struct Workbench {
    Workbench(const CardWorkCommands::Options& options, std::optional<int> card_port)
        : root(carvex::DeviceRoot::FromEnvironment()),
          port(card_port),
          log(options.log),
          borrow(root, port, [this](const std::string& line) { log.Log().AddLog(line); }),
          card(root, port) {}

    CardWorkSeams Seams() { return {card, log.Log(), progress, view}; }

    // Ends the command when `result` failed to open the card, with the whole diagnosis: why it
    // could not be opened and what to do.
    void EndIfNotOpened(const WorkResult& result) const {
        if (result.outcome == WorkOutcome::kFailed && result.step == WorkStep::kOpeningCard) {
            throw Failure(WhyNotOpened(root, port, card.Connection()).sentence);
        }
    }

    carvex::DeviceRoot root;
    std::optional<int> port;
    LogTarget log;
    carvex::ModemManagerBorrow borrow;  // from before the card is opened until it is closed
    ConnectionCard card;
    ProgressSink progress;
    CommandLineView view;
};

void Cell(std::ostream& out, std::string_view text, size_t width) {
    out << PadToColumns(text, width) << "  ";
}

// "Common Info", then one row per item read that the window shows for this card: caption, value
// text, NV item, status, in columns as a terminal draws them. What the card or the description
// says is printed with its control characters escaped.
void PrintRead(std::ostream& out, const CardWorkState& state,
               const std::vector<ItemReading>& readings) {
    for (size_t row = 0; row < kCommonInfoRows; ++row) {
        Cell(out, kCommonInfoCaptions[row], 19);
        out << carvex::PrintableText(state.info[static_cast<CommonInfoRow>(row)]) << "\n";
    }
    struct Row {
        std::string caption, value, nv_item, status;
    };
    std::vector<Row> rows{{"Caption", "Value", "NV item", "Status"}};
    size_t hidden = 0;
    for (const ItemReading& reading : readings) {
        const size_t index = *state.values.Find(reading.name);
        if (!ShownInWindow(state, index)) {
            ++hidden;
            continue;
        }
        const TConfigItem& item = state.items[index];
        const int item_number = NvItemNumber(item.NvId).value_or(-1);
        rows.push_back({carvex::PrintableText(item.Caption),
                        carvex::PrintableText(reading.shown.value_or("(nothing)")),
                        item.NvId == kDeviceStateNvId ? "port setting" : item.NvId,
                        reading.read ? "read" : DescribeStatus(reading.status, item_number)});
    }
    std::array<size_t, 3> widths{};
    for (const Row& row : rows) {
        widths[0] = std::max(widths[0], DisplayWidth(row.caption));
        widths[1] = std::max(widths[1], DisplayWidth(row.value));
        widths[2] = std::max(widths[2], DisplayWidth(row.nv_item));
    }
    out << "\n";
    for (const Row& row : rows) {
        Cell(out, row.caption, widths[0]);
        Cell(out, row.value, widths[1]);
        Cell(out, row.nv_item, widths[2]);
        out << row.status << "\n";
    }
    if (hidden > 0) {
        out << "(" << hidden
            << (hidden == 1 ? " item read but not shown: the window hides it"
                            : " items read but not shown: the window hides them")
            << " for this card)\n";
    }
}

// What was read, as a solution the window can load: ConfigLed, every item read that shows a
// value, the port setting, the LED lines.
std::vector<IniEntry> SolutionEntries(const CardWorkState& state,
                                      const std::vector<ItemReading>& readings) {
    const bool led = state.led.From() == LedTable::Source::kCard;
    std::vector<IniEntry> entries{{"ConfigLed", led ? "1" : "0"}};
    bool port_setting = false;
    for (const ItemReading& reading : readings) {
        const size_t index = *state.values.Find(reading.name);
        const TConfigItem& item = state.items[index];
        if (item.NvId == kDeviceStateNvId) {
            port_setting = port_setting || reading.read;
        } else if (reading.read && reading.shown) {
            std::vector<std::string> ignored;
            entries.emplace_back(item.Name, StoredItemValue(item, *reading.shown, ignored));
        }
    }
    if (port_setting) {
        entries.emplace_back(std::string(kDeviceStateItem),
                             StoredDeviceState(ComposeDeviceState(state.items, ShownTexts(state))));
    }
    if (led) {
        const auto lines = LedEntries(state.led);
        entries.insert(entries.end(), lines.begin(), lines.end());
    }
    return entries;
}

void StoreSolution(const CardWorkCommands::Options& options, const CardWorkState& state,
                   const std::vector<ItemReading>& readings) {
    IniFile values(options.values_out);
    if (!values.EraseSection(options.section) ||
        !values.WriteStrings(options.section, SolutionEntries(state, readings))) {
        throw Failure("what was read could not be stored in " + options.values_out + ": " +
                      values.LastError());
    }
    std::cout << "\nstored as the solution [" << options.section << "] of " << options.values_out
              << "\n";
}

void Read(const CardWorkCommands::Options& options, std::optional<int> port) {
    if (!options.values_out.empty() && (EqualIgnoringCase(options.section, "DEFAULT") ||
                                        EqualIgnoringCase(options.section, "MAIN"))) {
        throw Refusal("--section " + options.section +
                      " is the values file's own: DEFAULT stands for the card, MAIN names the "
                      "current solution");
    }
    Description description(ChosenDescription(options.description, std::cerr));
    Workbench bench(options, port);
    const CardWorkState& state = description.state;
    CardReader reader(bench.Seams());
    const WorkResult read = reader.ReadFromCardAndReport(description.state, description.file);
    bench.EndIfNotOpened(read);
    PrintRead(std::cout, state, reader.Readings());
    if (!read.Ok()) {
        throw Failure("the read was broken off: " + read.reason);
    }
    if (!options.values_out.empty()) {
        StoreSolution(options, state, reader.Readings());
    }
}

void Write(const CardWorkCommands::Options& options, std::optional<int> port) {
    Description description(ChosenDescription(options.description, std::cerr));
    if (const auto refusal = SettingFileRefusal(options.settings, description.state)) {
        throw Refusal(*refusal);
    }
    const auto target = SettingFileTarget::Of(options.settings);

    Workbench bench(options, port);
    CardWorkState& state = description.state;
    const WorkResult prepared =
        PrepareWrite(bench.Seams(), bench.view, state, description.file, options.settings, target);
    bench.EndIfNotOpened(prepared);
    if (prepared.outcome == WorkOutcome::kRefused) {
        throw Failure(TargetMismatch(options.settings, target, state) + ": nothing was written");
    }
    if (!prepared.Ok()) {
        throw Failure("nothing was written: " + prepared.Text());
    }
    CardWriter writer(bench.Seams());
    const WorkResult written = writer.WriteToCard(state, {.restart = !options.no_restart});
    size_t sent = 0;
    for (const ItemWriting& item : writer.Written()) {
        sent += item.sent ? 1 : 0;
    }
    if (!written.Ok()) {
        throw Failure(sent == 0 ? "nothing was written: " + written.Text()
                                : "the card was not written whole: " + written.Text() +
                                      "; what was written before stays on the card");
    }
    std::cout << "written to the card: " << sent << " NV items and port settings"
              << (state.led.Writable() ? ", the LED patterns" : "") << "; "
              << (options.no_restart ? "backed up, not restarted" : "backed up and restarting")
              << "\n";
}

}  // namespace

void CardWorkCommands::Register(Dispatcher& dispatcher) {
    CLI::App& app = dispatcher.App();
    const PortOption& port = dispatcher.Port();
    const auto description = [this](CLI::App* command) {
        command->add_option("--description", options_.description, kDescriptionHelp);
        command->add_option("--log", options_.log,
                            "add the log lines to this file instead of standard error");
    };

    auto* read = app.add_subcommand(
        "read", "read the card's configuration as the configurator does, and show it");
    description(read);
    auto* values_out = read->add_option("--values-out", options_.values_out,
                                        "store what was read as a solution in this values file");
    read->add_option("--section", options_.section, "the solution's section in that file")
        ->needs(values_out);
    values_out->needs(read->get_option("--section"));
    dispatcher.Add(read, [this, &port] {
        Read(options_, port.Single("read"));
        return ExitStatus::kOk;
    });

    auto* write = app.add_subcommand(
        "write", "import a setting file and write it to the card as the configurator does");
    write->add_option("SETTINGS", options_.settings, "the setting file (.ini) to write")
        ->required();
    description(write);
    write->add_flag("--no-restart", options_.no_restart, "back the card up but do not restart it");
    dispatcher.Add(write, [this, &port] {
        Write(options_, port.Single("write"));
        return ExitStatus::kOk;
    });
}

}  // namespace carvexctl
