#include "tools/carvexctl/dispatcher.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "cardwork/batch/work_refusal.h"

namespace carvexctl {

namespace {

// "nv read" for the subcommand read of nv.
std::string FullName(const CLI::App* command) {
    std::string name = command->get_name();
    for (const CLI::App* parent = command->get_parent();
         parent != nullptr && parent->get_parent() != nullptr; parent = parent->get_parent()) {
        name.insert(0, parent->get_name() + " ");
    }
    return name;
}

}  // namespace

Dispatcher::Dispatcher(const std::string& description, const std::string& version)
    : app_(std::make_unique<CLI::App>(description)) {
    app_->set_version_flag("--version", version);
    app_->require_subcommand(1);
    port_ = std::make_unique<PortOption>(*app_);
}

Dispatcher::~Dispatcher() = default;

void Dispatcher::Register(std::unique_ptr<CommandModule> module) {
    module->Register(*this);
    modules_.push_back(std::move(module));
}

void Dispatcher::Add(CLI::App* command, CommandBody body) {
    const size_t index = entries_.size();
    entries_.push_back({FullName(command), command, std::move(body)});
    command->callback([this, index] {
        // Bodies may be replaced after the callback is set: the entry is looked up when it runs.
        try {
            status_ = entries_[index].body();
        } catch (...) {
            status_ = StatusOf(std::current_exception(), *errors_);
        }
    });
}

std::vector<std::string> Dispatcher::Commands() const {
    std::vector<std::string> names;
    for (const Entry& entry : entries_) {
        names.push_back(entry.name);
    }
    return names;
}

void Dispatcher::Replace(std::string_view command, CommandBody body) {
    const auto entry = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const Entry& e) { return e.name == command; });
    if (entry == entries_.end()) {
        throw std::invalid_argument("no command " + std::string(command));
    }
    entry->body = std::move(body);
}

int Dispatcher::Run(const std::vector<std::string>& arguments, std::ostream& errors) {
    errors_ = &errors;
    status_ = ExitStatus::kOk;
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app_->parse(reversed);
    } catch (const CLI::ParseError& e) {
        // --help and --version end with 0; every wrong command line with 2, whichever command
        // it names (CLI11's own codes would tell a script nothing it could rely on).
        return app_->exit(e, std::cout, errors) == 0 ? 0 : static_cast<int>(ExitStatus::kRefused);
    } catch (...) {
        // What a port option or a module throws outside a command's body.
        return static_cast<int>(StatusOf(std::current_exception(), errors));
    }
    return static_cast<int>(status_);
}

ExitStatus Dispatcher::StatusOf(const std::exception_ptr& error, std::ostream& errors) {
    if (!error) {
        return ExitStatus::kOk;
    }
    const auto say = [&](const std::exception& e) {
        errors << "carvexctl: " << e.what() << std::endl;
    };
    try {
        std::rethrow_exception(error);
    } catch (const Refusal& e) {
        say(e);
        return ExitStatus::kRefused;
    } catch (const cardwright::WorkRefusal& e) {
        say(e);
        return ExitStatus::kRefused;
    } catch (const CLI::ParseError& e) {
        say(e);
        return ExitStatus::kRefused;
    } catch (const Failure& e) {
        say(e);
        return ExitStatus::kCardWorkFailed;
    } catch (const std::exception& e) {
        // Anything else a command did not foresee (a file system error, memory): the work failed.
        say(e);
        return ExitStatus::kCardWorkFailed;
    } catch (...) {
        errors << "carvexctl: the command ended with an unknown error" << std::endl;
        return ExitStatus::kCardWorkFailed;
    }
}

}  // namespace carvexctl
