#include <QTableWidget>
#include <QtTest>

#include "tests/app/window_fixture.h"

// The start-up read against a card that says "OK" to the DIAG switch and one that says nothing:
// the library copes with both.
class SwitchReplyTest : public QObject {
    Q_OBJECT

  private slots:
    void startUpReadFillsTheWindow_data() {
        QTest::addColumn<bool>("ok");
        QTest::newRow("OK") << true;
        QTest::newRow("nothing") << false;
    }

    void startUpReadFillsTheWindow() {
        QFETCH(bool, ok);
        auto profile = testsupport::TestProfile();
        profile.qcdmg_ok = ok;
        testsupport::WindowUnderTest t(testsupport::WindowSetup{profile, {}});
        const QStringList log = t.Log();
        QCOMPARE(log.first(), QStringLiteral("Init port succeed..."));
        QCOMPARE(log.last(), QStringLiteral("Read from datacard succeed..."));
        QVERIFY(log.contains(QStringLiteral("Band:  read succeed.")));
        auto* info = t.Widget<QTableWidget>("CommonInfoLst");
        QCOMPARE(info->item(0, 1)->text(), QStringLiteral("356789012345678"));
        QCOMPARE(info->item(1, 1)->text(), QStringLiteral("31.742.06.19.208"));
        QCOMPARE(t.card().Requests().front().command, cardsim::Command::kDiagSwitch);
    }
};

QTEST_MAIN(SwitchReplyTest)
#include "switch_reply_test.moc"
