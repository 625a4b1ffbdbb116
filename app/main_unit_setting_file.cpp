#include <QDir>
#include <QFileInfo>

#include "app/card_work/setting_file_export.h"
#include "app/card_work/setting_file_import.h"
#include "app/main_unit.h"

namespace cardwright {

void TMainFrm::ExportBtnClick() {
    RunCommand([this] {
        const QDir folder(program_dir_);
        const OwnIniFiles own{folder.filePath(QString::fromLatin1(kDescriptionFile)).toStdString(),
                              folder.filePath(QString::fromLatin1(kValuesFile)).toStdString()};
        if (ReopensIniFiles(SettingFileExport(Seams()).Export(state_, Description(), own))) {
            ReopenIniFiles();
        }
    });
}

void TMainFrm::ImportBtnClick() {
    RunCommand([this] {
        SettingFileImport(Seams()).Import(state_, Description());
        ReopenIniFiles();
    });
}

// The configuration files are taken up afresh after an import or export, as at start-up; when
// one of them is gone, the program ends.
void TMainFrm::ReopenIniFiles() {
    const QDir folder(program_dir_);
    const QString description = folder.filePath(QString::fromLatin1(kDescriptionFile));
    const QString values = folder.filePath(QString::fromLatin1(kValuesFile));
    if (!QFileInfo(description).isFile() || !QFileInfo(values).isFile()) {
        prompts_->ShowMessage(this, QStringLiteral("Config file not exists..."));
        close();
        return;
    }
    description_.emplace(description.toStdString());
    values_.emplace(values.toStdString());
}

}  // namespace cardwright
