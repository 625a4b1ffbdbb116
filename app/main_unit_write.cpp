#include "app/command_outcome.h"
#include "app/main_unit.h"
#include "cardwork/card/card_writer.h"

namespace cardwright {

void TMainFrm::WriteToDataCardBtnClick() {
    RunCommand([this] {
        const WorkResult result = CardWriter(Seams()).WriteToCard(state_);
        ShowOutcome(CommandOutcome("Write", result, "done"));
        if (result.Ok()) {
            Settle();
        }
        Prompts().ShowMessage(this, result.Ok() ? QStringLiteral("Write to datacard succeed...")
                                                : QStringLiteral("Write to datacard failed..."));
    });
}

}  // namespace cardwright
