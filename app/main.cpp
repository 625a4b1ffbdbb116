#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <cstdio>
#include <iostream>

#include "app/command_line.h"
#include "app/main_unit.h"
#include "cardwork/card/library_card.h"
#include "cardwork/presenter/config_folder.h"
#include "cardwork/presenter/modem_manager_lender.h"
#include "project_version.h"

namespace {

void Report(const QString& text) {
    std::fputs(qPrintable(QStringLiteral("cardwright: %1\n").arg(text)), stderr);
}

// The places Linux offers for the configuration folder: the installed examples relative to the
// executable, the user's folder from the environment.
cardwright::ConfigFolderPlaces Places(const std::optional<QString>& named) {
    const QString program_dir = QCoreApplication::applicationDirPath();
    cardwright::ConfigFolderPlaces places;
    if (named) {
        places.named = named->toStdString();
    }
    places.program_dir = program_dir.toStdString();
    places.examples_dir =
        QDir::cleanPath(QDir(program_dir).filePath(QStringLiteral(CARDWRIGHT_EXAMPLES_FROM_BIN)))
            .toStdString();
    places.user_config_dir = cardwright::XdgConfigHome(
        qEnvironmentVariable("XDG_CONFIG_HOME").toStdString(), QDir::homePath().toStdString());
    return places;
}

std::optional<std::vector<std::string>> ReadScript(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Report(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    std::vector<std::string> lines;
    QTextStream in(&file);
    while (!in.atEnd()) {
        lines.push_back(in.readLine().toStdString());
    }
    return lines;
}

}  // namespace

int main(int argc, char** argv) {
    const auto app = cardwright::CreateApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Cardwright"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kProjectVersion));
    const cardwright::CommandLine options =
        cardwright::ParseCommandLine(QCoreApplication::arguments());

    const cardwright::ConfigFolder folder =
        cardwright::ChooseConfigFolder(Places(options.config_dir));
    const QString folder_path = QString::fromStdString(folder.path.string());
    for (const std::string& problem : folder.problems) {
        Report(QString::fromStdString(problem));
    }
    for (const std::string& file : folder.seeded) {
        Report(QStringLiteral("%1 copied from the examples into %2")
                   .arg(QString::fromStdString(file), folder_path));
    }
    if (!folder.complete) {
        Report(QStringLiteral("looked for %1 and %2 in %3")
                   .arg(QString::fromLatin1(cardwright::kDescriptionFile),
                        QString::fromLatin1(cardwright::kValuesFile), folder_path));
    }

    // --quit-after-start is a script without commands: it ends once the start-up is over.
    std::optional<std::vector<std::string>> script;
    if (options.script) {
        script = ReadScript(*options.script);
        if (!script) {
            return 1;
        }
    } else if (options.quit_after_start) {
        script.emplace();
    }
    cardwright::LibraryCard card;
    cardwright::TMainFrm window(folder_path, card, script ? &std::cout : nullptr,
                                cardwright::ModemManagerLender());
    if (!window.Created()) {
        return 1;
    }
    if (script) {
        window.Presenter().RunScript(std::move(*script), std::cout, std::cerr);
    }
    window.show();
    return QCoreApplication::exec();
}
