#include "app/config_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "app/main_unit.h"

namespace cardwright {

namespace {

const QStringList& IniFiles() {
    static const QStringList files{QString::fromLatin1(TMainFrm::kDescriptionFile),
                                   QString::fromLatin1(TMainFrm::kValuesFile)};
    return files;
}

bool HoldsBothIniFiles(const QString& folder) {
    const QDir dir(folder);
    return std::all_of(IniFiles().begin(), IniFiles().end(),
                       [&](const QString& file) { return QFileInfo(dir.filePath(file)).isFile(); });
}

// A relative $XDG_CONFIG_HOME is to be ignored, as an unset one.
QString UserConfigHome(const ConfigFolderPlaces& places) {
    if (!places.xdg_config_home.isEmpty() && QDir::isAbsolutePath(places.xdg_config_home)) {
        return places.xdg_config_home;
    }
    return QDir(places.home).filePath(QStringLiteral(".config"));
}

void Seed(ConfigFolder& folder, const QString& examples_dir) {
    if (!QDir().mkpath(folder.path)) {
        folder.problems.append(QStringLiteral("cannot create the folder %1").arg(folder.path));
        return;
    }
    const QDir target(folder.path);
    const QDir examples(examples_dir);
    for (const QString& file : IniFiles()) {
        const QString destination = target.filePath(file);
        if (QFileInfo::exists(destination)) {
            continue;
        }
        const QString source = examples.filePath(file);
        if (!QFileInfo::exists(source)) {
            folder.problems.append(QStringLiteral("no example %1 to copy").arg(source));
            continue;
        }
        if (!QFile::copy(source, destination)) {
            folder.problems.append(QStringLiteral("cannot copy %1 to %2").arg(source, destination));
            continue;
        }
        // The installed examples are read-only for the user; the copy is the user's to change.
        QFile::setPermissions(
            destination, QFile::permissions(destination) | QFile::ReadOwner | QFile::WriteOwner);
        folder.seeded.append(file);
    }
}

}  // namespace

ConfigFolderPlaces ConfigFolderPlaces::ForProgram(std::optional<QString> named,
                                                  const QString& program_dir) {
    ConfigFolderPlaces places;
    places.named = std::move(named);
    places.program_dir = program_dir;
    places.examples_dir =
        QDir::cleanPath(QDir(program_dir).filePath(QStringLiteral(CARDWRIGHT_EXAMPLES_FROM_BIN)));
    places.xdg_config_home = qEnvironmentVariable("XDG_CONFIG_HOME");
    places.home = QDir::homePath();
    return places;
}

ConfigFolder ChooseConfigFolder(const ConfigFolderPlaces& places) {
    ConfigFolder folder;
    if (places.named) {
        folder.path = QDir::cleanPath(QDir::current().absoluteFilePath(*places.named));
    } else if (HoldsBothIniFiles(places.program_dir)) {
        folder.path = places.program_dir;
        folder.complete = true;
        return folder;
    } else {
        folder.path = QDir(UserConfigHome(places)).filePath(QStringLiteral("cardwright"));
    }
    Seed(folder, places.examples_dir);
    folder.complete = HoldsBothIniFiles(folder.path);
    return folder;
}

}  // namespace cardwright
