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
#include "cardwork/card/unattended_export.h"
#include "cardwork/model/defaulted_items.h"
#include "cardwork/model/setting_crc.h"
#include "carvex/platform/device_root.h"
#include "carvex/platform/modem_manager.h"
#include "carvex/platform/port_diagnosis.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/command_card.h"
#include "tools/carvexctl/default_description.h"
#include "tools/carvexctl/display_width.h"
#include "tools/carvexctl/json_output.h"
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

// The same as one object: "port", "common_info" (its rows by name), "items" (every item read, each
// with "name", "caption", "nv_id", "value", "read", "error" and "shown": whether the window shows
// it for this card), "complete" (the read was not broken off) and "solution" (where what was read
// was stored, or null).
Json ReadJson(const std::string& port, const CardWorkState& state,
              const std::vector<ItemReading>& readings, bool complete, const Json& solution) {
    static constexpr std::array<const char*, kCommonInfoRows> kNames = {
        "imei", "firmware_version", "dashboard_version", "hardware_version", "card_type"};
    Json info = Json::object();
    for (size_t row = 0; row < kCommonInfoRows; ++row) {
        const std::string& value = state.info[static_cast<CommonInfoRow>(row)];
        info[kNames[row]] = value == kNoCommonInfo ? Json() : Json(carvex::PrintableText(value));
    }
    Json items = Json::array();
    for (const ItemReading& reading : readings) {
        const size_t index = *state.values.Find(reading.name);
        const TConfigItem& item = state.items[index];
        const int item_number = NvItemNumber(item.NvId).value_or(-1);
        items.push_back(
            {{"name", item.Name},
             {"caption", item.Caption},
             {"nv_id", item.NvId},
             {"value", reading.shown ? Json(*reading.shown) : Json()},
             {"read", reading.read},
             {"error", reading.read ? Json() : Json(DescribeStatus(reading.status, item_number))},
             {"shown", ShownInWindow(state, index)}});
    }
    return {{"port", TextOrNull(port)},
            {"common_info", info},
            {"items", items},
            {"complete", complete},
            {"solution", solution}};
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

// Why what was read could not be stored, or empty.
std::string StoreSolution(const CardWorkCommands::Options& options, const CardWorkState& state,
                          const std::vector<ItemReading>& readings) {
    IniFile values(options.values_out);
    if (!values.EraseSection(options.section) ||
        !values.WriteStrings(options.section, SolutionEntries(state, readings))) {
        return "what was read could not be stored in " + options.values_out + ": " +
               values.LastError();
    }
    return {};
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
    const bool store = read.Ok() && !options.values_out.empty();
    const std::string unstored = store ? StoreSolution(options, state, reader.Readings()) : "";
    const bool stored = store && unstored.empty();
    if (options.json) {
        const auto port = bench.card.Connection().Port();
        PrintDocument(ReadJson(
            port ? carvex::ComName(port->com) : "", state, reader.Readings(), read.Ok(),
            stored ? Json{{"values_file", options.values_out}, {"section", options.section}}
                   : Json()));
    } else {
        PrintRead(std::cout, state, reader.Readings());
        if (stored) {
            std::cout << "\nstored as the solution [" << options.section << "] of "
                      << options.values_out << "\n";
        }
    }
    if (!read.Ok()) {
        throw Failure("the read was broken off: " + read.reason);
    }
    if (!unstored.empty()) {
        throw Failure(unstored);
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

// The description an export works with: the one named, or the one beside the values file.
std::filesystem::path ExportDescription(const CardWorkCommands::Options& options) {
    if (!options.description.empty()) {
        return options.description;
    }
    if (options.from_card) {
        throw Refusal("--from-card needs --description: the card does not say its items");
    }
    return std::filesystem::path(options.values).parent_path() / "Config_Info.ini";
}

// Why an export's command line is refused before anything is read, or nothing.
void CheckExport(const CardWorkCommands::Options& options, std::optional<int> port) {
    if (options.from_card) {
        return;
    }
    if (options.values.empty()) {
        throw Refusal(
            "export needs what to export: --values FILE --section NAME --card-type TYPE, "
            "or --from-card");
    }
    if (port) {
        throw Refusal("--port names a card to export: with --from-card; a solution needs none");
    }
    if (EqualIgnoringCase(options.section, "DEFAULT") ||
        EqualIgnoringCase(options.section, "MAIN")) {
        throw Refusal("--section " + options.section +
                      " is the values file's own: DEFAULT stands for the card (export it with "
                      "--from-card), MAIN names the current solution");
    }
}

void Export(const CardWorkCommands::Options& options, std::optional<int> port) {
    CheckExport(options, port);
    const std::filesystem::path described = ExportDescription(options);
    Description description(described);
    CardWorkState& state = description.state;
    const std::filesystem::path values =
        options.from_card ? described : std::filesystem::path(options.values);
    const OwnIniFiles own{described, values};
    WorkResult exported;
    if (options.from_card) {
        Workbench bench(options, port);
        bench.view.save_file = options.out;
        exported = ExportCard(bench.Seams(), state, description.file, own);
        bench.EndIfNotOpened(exported);
    } else {
        const IniFile solutions(values);
        if (!solutions.Exists()) {
            throw Refusal("cannot read the values file " + values.string());
        }
        LogTarget log(options.log);
        NoCard none;
        ProgressSink progress;
        CommandLineView view;
        view.save_file = options.out;
        exported =
            ExportSolution({none, log.Log(), progress, view}, state, description.file, solutions,
                           options.section, {options.card_type, options.new_version == "yes"}, own);
    }
    if (exported.outcome == WorkOutcome::kRefused) {
        throw Refusal("nothing exported: " + exported.Text());
    }
    if (!exported.Ok()) {
        throw Failure("nothing exported: " + exported.Text());
    }
    const std::filesystem::path written = SettingFileName(options.out);
    const IniFile file(written);
    const auto crc = cardwright::StoredSettingCrc(file);
    std::cout << "exported to " << carvex::PrintableText(written.string()) << " (card type "
              << carvex::PrintableText(state.info[CommonInfoRow::kCardType]) << ", "
              << (state.new_version ? "new-version file" : "file without a version") << ", CRC "
              << crc << ")\n"
              << carvex::PrintableText(
                     ItemsLeftToDefaults(state.items, ValueBoxes(state), file, state.new_version)
                         .Sentence())
              << ".\n";
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
    AddJsonFlag(read, options_.json);
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

    auto* exported = app.add_subcommand(
        "export",
        "save a setting file sealed as the configurator's Export seals it: a stored solution for "
        "the card type and generation given, or the card's configuration as read");
    exported
        ->add_option("OUT", options_.out,
                     "the setting file to write (.ini is added to a name without an extension)")
        ->required();
    exported->add_option("--description", options_.description,
                         "the configurator's description of pages and items (default with "
                         "--values: the Config_Info.ini beside it)");
    exported->add_option("--log", options_.log,
                         "add the log lines to this file instead of standard error");
    auto* values = exported->add_option("--values", options_.values,
                                        "the values file that holds the solution");
    auto* section =
        exported->add_option("--section", options_.section, "the solution's section in it");
    auto* type = exported->add_option("--card-type", options_.card_type,
                                      "the card type the file is for, as the card names it");
    auto* generation =
        exported
            ->add_option("--new-version", options_.new_version,
                         "whether the file is for the newer firmware generation (default: no)")
            ->check(CLI::IsMember({"yes", "no"}));
    auto* from_card = exported->add_flag(
        "--from-card", options_.from_card,
        "read the card (the first, or the one --port names) and export what it holds");
    values->needs(section)->needs(type);
    section->needs(values);
    type->needs(values);
    generation->needs(values);
    from_card->excludes(values)->excludes(section)->excludes(type)->excludes(generation);
    dispatcher.Add(exported, [this, &port] {
        Export(options_, port.Single("export"));
        return ExitStatus::kOk;
    });
}

}  // namespace carvexctl
