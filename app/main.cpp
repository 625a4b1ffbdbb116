#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "app/command_line.h"
#include "app/config_folder.h"
#include "app/main_unit.h"
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

    cardwright::TMainFrm window(folder.path, std::make_unique<cardwright::DialogPrompts>());
    if (!window.Created()) {
        return 1;
    }
    if (options.quit_after_start) {
        // Timer1's first tick runs the whole start-up sequence; the quit is queued behind it.
        QObject::connect(window.Timer1, &QTimer::timeout, app.get(), &QCoreApplication::quit,
                         Qt::QueuedConnection);
    }
    window.show();
    return QCoreApplication::exec();
}
