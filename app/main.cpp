#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "app/command_line.h"
#include "app/config_folder.h"
#include "app/main_unit.h"
#include "app/script_runner.h"
#include "project_version.h"

namespace {

void Report(const QString& text) {
    std::fputs(qPrintable(QStringLiteral("cardwright: %1\n").arg(text)), stderr);
}

}  // namespace

int main(int argc, char** argv) {
    const auto app = cardwright::CreateApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Cardwright"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kProjectVersion));
    const cardwright::CommandLine options =
        cardwright::ParseCommandLine(QCoreApplication::arguments());

    const cardwright::ConfigFolder folder =
        cardwright::ChooseConfigFolder(cardwright::ConfigFolderPlaces::ForProgram(
            options.config_dir, QCoreApplication::applicationDirPath()));
    for (const QString& problem : folder.problems) {
        Report(problem);
    }
    for (const QString& file : folder.seeded) {
        Report(QStringLiteral("%1 copied from the examples into %2").arg(file, folder.path));
    }

    if (!folder.complete) {
        Report(QStringLiteral("looked for %1 and %2 in %3")
                   .arg(QString::fromLatin1(cardwright::TMainFrm::kDescriptionFile),
                        QString::fromLatin1(cardwright::TMainFrm::kValuesFile), folder.path));
    }

    QStringList script;
    if (options.script) {
        QString error;
        script = cardwright::ScriptRunner::ReadLines(*options.script, &error);
        if (!error.isEmpty()) {
            Report(error);
            return 1;
        }
    }
    std::unique_ptr<cardwright::UserPrompts> prompts;
    if (options.script) {
        prompts = std::make_unique<cardwright::ConsolePrompts>();
    } else {
        prompts = std::make_unique<cardwright::DialogPrompts>();
    }
    cardwright::TMainFrm window(folder.path, std::move(prompts));
    if (!window.Created()) {
        return 1;
    }
    cardwright::ScriptRunner runner(window, script);
    if (options.script) {
        runner.Start([&](int status) { QCoreApplication::exit(status); });
    }
    if (options.quit_after_start) {
        // Timer1's first tick runs the whole start-up sequence; the quit is queued behind it.
        QObject::connect(window.Timer1, &QTimer::timeout, app.get(), &QCoreApplication::quit,
                         Qt::QueuedConnection);
    }
    window.show();
    return QCoreApplication::exec();
}
