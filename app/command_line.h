#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace cardwright {

// What the configurator is told on its command line.
struct CommandLine {
    std::optional<QString> config_dir;  // --config-dir DIR
    // Hidden: end the program once the start-up sequence is over, for scripted checks of an
    // installed program.
    bool quit_after_start = false;
    // --script FILE: carry out the commands of FILE (see ScriptRunner), then end.
    std::optional<QString> script;
};

// True when the arguments ask only for a text (--help, --version): no window, no display.
bool AsksForTextOnly(const QStringList& arguments);

// A QApplication, or a bare QCoreApplication when the arguments ask only for a text.
std::unique_ptr<QCoreApplication> CreateApplication(int& argc, char** argv);

// The options of `arguments` (the program's name first). --help, --version and a wrong argument
// print their text and end the program here.
CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace cardwright
