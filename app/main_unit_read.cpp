#include <QComboBox>

#include "app/command_outcome.h"
#include "app/main_unit.h"
#include "cardwork/card/card_reader.h"
#include "cardwork/card/library_card.h"

namespace cardwright {

void TMainFrm::ReadFromDataCardBtnClick() {
    RunCommand([this] {
        CardType.clear();
        RebuildConfigPages();
        LoadSolutionList();
        LoadCurrentSolution();
    });
}

// The card's read with its closing line; after a failure the solution that was selected before
// is selected and loaded again.
void TMainFrm::ReadFromCardAndReport() {
    const QString remembered = ComboBox1->currentText();
    CardReader reader(Seams());
    const WorkResult result = reader.ReadFromCardAndReport(state_, Description());
    const std::string outcome = CommandOutcome("Read", result, ReadDone(reader.Readings()));
    Settle();
    if (result.Ok()) {
        ShowSource(CardShown(state_.info, card_->PortName()));
        ShowOutcome(outcome);
        const int default_entry =
            ComboBox1->findText(QStringLiteral("DEFAULT"), Qt::MatchFixedString);
        if (default_entry >= 0) {
            ComboBox1->setCurrentIndex(default_entry);
        }
        return;
    }
    ShowSource({});
    if (ComboBox1->currentText() != remembered) {
        ComboBox1->setCurrentIndex(ComboBox1->findText(remembered, Qt::MatchExactly));
        LoadCurrentSolution();
    }
    // The read's failure is the news, also when a stored solution is shown again.
    ShowOutcome(outcome);
}

}  // namespace cardwright
