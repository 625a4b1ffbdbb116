#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace cardwright {

// Where the configurator may keep Config_Info.ini, config_value.ini and ConfigLog.txt.
struct ConfigFolderPlaces {
    std::optional<QString> named;  // --config-dir
    QString program_dir;           // the executable's folder
    QString examples_dir;          // the installed example description files
    QString xdg_config_home;       // $XDG_CONFIG_HOME as set (empty when unset)
    QString home;                  // the user's home folder

    // The places of the running program: the examples relative to its executable, the rest from
    // the environment.
    static ConfigFolderPlaces ForProgram(std::optional<QString> named, const QString& program_dir);
};

struct ConfigFolder {
    QString path;
    QStringList seeded;     // the INI files copied from the examples into it
    QStringList problems;   // what could not be created or copied, for standard error
    bool complete = false;  // both INI files are there
};

// The folder `--config-dir` names; else the program's own folder when both INI files are there
// (a portable copy); else $XDG_CONFIG_HOME/cardwright (~/.config/cardwright). Except for the
// program's folder, the chosen folder is created and each missing INI file is copied into it
// from the examples; a file that is there is never overwritten.
ConfigFolder ChooseConfigFolder(const ConfigFolderPlaces& places);

}  // namespace cardwright
