#include "cardwork/card/card_writer.h"
#include "app/command_outcome.h"
#include "app/library_card.h"
#include "app/main_unit.h"

namespace cardwright {

void TMainFrm::WriteToDataCardBtnClick() {
    RunCommand([this] {
        const WriteReport report = CardWriter(Seams()).WriteToCard(state_);
        ShowOutcome(WriteOutcome(report, card_->Trouble()));
        if (report.ok) {
            Settle();
        }
        Prompts().ShowMessage(this, report.ok ? QStringLiteral("Write to datacard succeed...")
                                              : QStringLiteral("Write to datacard failed..."));
    });
}

}  // namespace cardwright
