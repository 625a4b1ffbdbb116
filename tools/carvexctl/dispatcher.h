#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/carvexctl/command_failure.h"
#include "tools/carvexctl/port_option.h"

namespace CLI {
class App;
}  // namespace CLI

namespace carvexctl {

// What runs a command once its arguments are parsed: its exit status when it ends as it should;
// a failure ends it by throwing (Failure, Refusal, the batch work's WorkRefusal), which the
// dispatcher turns into its status.
using CommandBody = std::function<ExitStatus()>;

class Dispatcher;

// One command or a family of them (their options and how they run); the dispatcher keeps it for
// as long as it parses.
class CommandModule {
  public:
    virtual ~CommandModule() = default;
    virtual void Register(Dispatcher& dispatcher) = 0;
};

// carvexctl's commands, each registered by its module, and the one way the program ends: the
// status a command's body returns, or the one its failure maps to (StatusOf), after saying why
// on the error stream.
class Dispatcher {
  public:
    Dispatcher(const std::string& description, const std::string& version);
    ~Dispatcher();
    Dispatcher(const Dispatcher&) = delete;
    Dispatcher& operator=(const Dispatcher&) = delete;

    CLI::App& App() { return *app_; }
    const PortOption& Port() const { return *port_; }

    void Register(std::unique_ptr<CommandModule> module);
    // `command` (a subcommand the module added) is run by `body`.
    void Add(CLI::App* command, CommandBody body);

    // Every command that runs, by its full name ("info", "nv read", "apply").
    std::vector<std::string> Commands() const;
    // Runs `body` in place of the command's own: what the dispatcher's own tests run.
    void Replace(std::string_view command, CommandBody body);

    // Parses the command line and runs the command it names; the exit status. What a command
    // says went wrong goes to `errors`.
    int Run(const std::vector<std::string>& arguments, std::ostream& errors);

    // The status of a command that threw `error` (nullptr: none); says why on `errors`.
    static ExitStatus StatusOf(const std::exception_ptr& error, std::ostream& errors);

  private:
    struct Entry {
        std::string name;
        CLI::App* command;
        CommandBody body;
    };

    std::unique_ptr<CLI::App> app_;
    std::unique_ptr<PortOption> port_;
    std::vector<std::unique_ptr<CommandModule>> modules_;
    std::vector<Entry> entries_;
    ExitStatus status_ = ExitStatus::kOk;
    std::ostream* errors_ = nullptr;
};

}  // namespace carvexctl
