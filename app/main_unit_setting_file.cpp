#include <QDir>
#include <QFileInfo>

#include "app/command_outcome.h"
#include "app/main_unit.h"
#include "cardwork/card/library_card.h"
#include "cardwork/card/setting_file_export.h"
#include "cardwork/card/setting_file_import.h"

namespace cardwright {

void TMainFrm::ExportBtnClick() {
    RunCommand([this] {
        const QDir folder(program_dir_);
        const OwnIniFiles own{folder.filePath(QString::fromLatin1(kDescriptionFile)).toStdString(),
                              folder.filePath(QString::fromLatin1(kValuesFile)).toStdString()};
        chosen_file_.clear();
        SettingFileExport exporter(Seams());
        const WorkResult end = exporter.Export(state_, Description(), own);
        ShowOutcome(
            CommandOutcome("Export", end, "written to " + SettingFileName(chosen_file_).string()));
        // With a card the values shown were read again, unless the export stopped before.
        if (const auto& reread = exporter.Reread()) {
            ShowSource(reread->Ok() ? CardShown(state_.info, card_->PortName()) : std::string());
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
        const WorkResult result = SettingFileImport(Seams()).Import(state_, Description());
        ShowOutcome(CommandOutcome(
            "Import", result,
            "done, " + chosen_file_.string() + " loaded (not yet written to the card)"));
        // A file that was chosen changed the values shown, loaded or not.
        if (!chosen_file_.empty()) {
            ShowSource(result.Ok() ? SettingFileShown(chosen_file_) : std::string());
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
