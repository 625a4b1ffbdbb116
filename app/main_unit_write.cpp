#include "app/card_work/card_writer.h"
#include "app/main_unit.h"

namespace cardwright {

void TMainFrm::WriteToDataCardBtnClick() {
    RunCommand([this] {
        const bool written = CardWriter(Seams()).WriteToCard(state_).ok;
        Prompts().ShowMessage(this, written ? QStringLiteral("Write to datacard succeed...")
                                            : QStringLiteral("Write to datacard failed..."));
    });
}

}  // namespace cardwright
