#include <QApplication>

#include "app/main_unit.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cardwright"));
    cardwright::TMainFrm window(QCoreApplication::applicationDirPath(),
                                std::make_unique<cardwright::DialogPrompts>());
    if (!window.Created()) {
        return 1;
    }
    window.show();
    return QApplication::exec();
}
