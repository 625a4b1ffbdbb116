#include "app/command_line.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>

namespace cardwright {

namespace {

const QString kConfigDir = QStringLiteral("config-dir");
const QString kQuitAfterStart = QStringLiteral("quit-after-start");
const QString kScript = QStringLiteral("script");

}  // namespace

bool AsksForTextOnly(const QStringList& arguments) {
    static const QStringList text_options{QStringLiteral("-h"),     QStringLiteral("-?"),
                                          QStringLiteral("--help"), QStringLiteral("--help-all"),
                                          QStringLiteral("-v"),     QStringLiteral("--version")};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--")) {
            break;
        }
        if (argument == QStringLiteral("--") + kConfigDir ||
            argument == QStringLiteral("--") + kScript) {
            ++i;  // its value, whatever it looks like
        } else if (text_options.contains(argument)) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<QCoreApplication> CreateApplication(int& argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    if (AsksForTextOnly(arguments)) {
        return std::make_unique<QCoreApplication>(argc, argv);
    }
    return std::make_unique<QApplication>(argc, argv);
}

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads and changes the configuration of a 3G USB data card."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({kConfigDir,
                      QStringLiteral("Keep Config_Info.ini, config_value.ini and ConfigLog.txt "
                                     "in <dir>."),
                      QStringLiteral("dir")});
    parser.addOption({kScript,
                      QStringLiteral("Carry out the commands of <file> (select, read, write, "
                                     "wait-for-card, tab, screenshot, quit) without asking "
                                     "anything, then end."),
                      QStringLiteral("file")});
    QCommandLineOption quit_after_start(kQuitAfterStart,
                                        QStringLiteral("End after the start-up sequence."));
    quit_after_start.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(quit_after_start);
    parser.process(arguments);
    if (!parser.positionalArguments().isEmpty()) {
        std::fputs(qPrintable(QStringLiteral("%1: unexpected argument '%2'\n")
                                  .arg(QCoreApplication::applicationName(),
                                       parser.positionalArguments().first())),
                   stderr);
        std::exit(EXIT_FAILURE);
    }

    CommandLine command_line;
    if (parser.isSet(kConfigDir)) {
        command_line.config_dir = parser.value(kConfigDir);
    }
    command_line.quit_after_start = parser.isSet(quit_after_start);
    if (parser.isSet(kScript)) {
        command_line.script = parser.value(kScript);
    }
    return command_line;
}

}  // namespace cardwright
