#include <QDir>
#include <QFileInfo>

#include "cardwork/card/setting_file_export.h"
#include "cardwork/card/setting_file_import.h"
#include "app/command_outcome.h"
#include "app/library_card.h"
#include "app/main_unit.h"

namespace cardwright {

void TMainFrm::ExportBtnClick() {
    RunCommand([this] {
        const QDir folder(program_dir_);
        const OwnIniFiles own{folder.filePath(QString::fromLatin1(kDescriptionFile)).toStdString(),
                              folder.filePath(QString::fromLatin1(kValuesFile)).toStdString()};
        chosen_file_.clear();
        reread_confirmed_ = false;
        const ExportEnd end = SettingFileExport(Seams()).Export(state_, Description(), own);
        ShowOutcome(ExportOutcome(end, SettingFileName(chosen_file_), card_->Trouble()));
        // With a card the values shown were read again, unless the export stopped before.
        if (reread_confirmed_ && end != ExportEnd::kCardDifferent) {
            ShowSource(end == ExportEnd::kReadFailed ? std::string()
                                                     : CardShown(state_.info, card_->Port()));
            Settle();
        }
        if (ReopensIniFiles(end)) {
            ReopenIniFiles();
        }
    });
}

void TMainFrm::ImportBtnClick() {
    RunCommand([this] {
        chosen_file_.clear();
        const ImportReport report = SettingFileImport(Seams()).Import(state_, Description());
        ShowOutcome(ImportOutcome(report, chosen_file_, card_->Trouble()));
        // A file that was chosen changed the values shown, loaded or not.
        if (report.check) {
            ShowSource(report.Loaded() ? SettingFileShown(chosen_file_) : std::string());
            Settle();
        }
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
