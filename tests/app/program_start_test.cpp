#include <QtTest>

#include "app/command_line.h"

using namespace cardwright;

// What the configurator's command line says.
class ProgramStartTest : public QObject {
    Q_OBJECT

  private slots:
    void textOnlyArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("text_only");
        QTest::newRow("none") << QStringList{} << false;
        QTest::newRow("--version") << QStringList{"--version"} << true;
        QTest::newRow("-h") << QStringList{"-h"} << true;
        QTest::newRow("--help-all after an option")
            << QStringList{"--config-dir=/tmp", "--help-all"} << true;
        QTest::newRow("a folder named like an option")
            << QStringList{"--config-dir", "--version"} << false;
        QTest::newRow("after --") << QStringList{"--", "-v"} << false;
        QTest::newRow("Qt's own options") << QStringList{"-platform", "offscreen"} << false;
    }

    void textOnlyArguments() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, text_only);
        arguments.prepend(QStringLiteral("cardwright"));
        QCOMPARE(AsksForTextOnly(arguments), text_only);
    }

    void commandLineOptions() {
        CommandLine options = ParseCommandLine({"cardwright"});
        QVERIFY(!options.config_dir);
        QVERIFY(!options.quit_after_start);
        options =
            ParseCommandLine({"cardwright", "--config-dir", "/srv/cards", "--quit-after-start"});
        QCOMPARE(options.config_dir.value_or(QString()), QStringLiteral("/srv/cards"));
        QVERIFY(options.quit_after_start);
    }
};

QTEST_MAIN(ProgramStartTest)
#include "program_start_test.moc"
