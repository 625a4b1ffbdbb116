// The window borrows its card from ModemManager for each command that works it, against a
// ModemManager of the test's own on a bus of its own.
#include <QtTest>

#include "cardwork/presenter/modem_manager_lender.h"
#include "carvex/platform/environment.h"
#include "tests/app/window_fixture.h"
#include "tests/support/fake_modem_manager.h"
#include "tests/support/files.h"
#include "tests/support/private_bus.h"

using namespace cardwright;
using testsupport::FakeModemManager;
using testsupport::WindowSetup;
using testsupport::WindowUnderTest;
using Kind = FakeModemManager::Call::Kind;

namespace {

const std::string kDevice = "/sys/devices/pci0000:00/0000:00:14.0/usb3/3-2";

// The window's card, published with the USB device ModemManager knows it by.
WindowSetup BorrowingWindow() {
    WindowSetup setup;
    setup.card->usb_device = kDevice;
    setup.lender = ModemManagerLender();
    return setup;
}

int Count(const QStringList& log, const QString& part) {
    int count = 0;
    for (const QString& line : log) {
        count += line.contains(part) ? 1 : 0;
    }
    return count;
}

}  // namespace

class ModemManagerWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        bus_.emplace();
        carvex::SetEnvironmentValue("DBUS_SYSTEM_BUS_ADDRESS", bus_->Address());
        carvex::SetEnvironmentValue("CARVEX_CONFIG", config_.Path().string());
    }
    void cleanup() {
        carvex::RemoveEnvironmentValue("DBUS_SYSTEM_BUS_ADDRESS");
        carvex::RemoveEnvironmentValue("CARVEX_CONFIG");
        std::filesystem::remove(config_.Path() / "carvex.conf");
        bus_.reset();
    }

    // Each command is lent the card before its first request and gives it back after its last:
    // the start-up read and a Read, each on its own loan, and nothing sent in between.
    void eachCommandBorrowsTheCardForItsWholeWork() {
        WindowUnderTest* window = nullptr;
        FakeModemManager modem_manager(
            bus_->Address(), {{"/org/freedesktop/ModemManager1/Modem/0", kDevice, {}}},
            FakeModemManager::Answer::kLend, [&window](const std::string&) {
                return window != nullptr ? window->card().Requests().size() : size_t{0};
            });
        WindowSetup setup = BorrowingWindow();
        setup.start = false;
        WindowUnderTest t(std::move(setup));
        window = &t;
        QVERIFY(t.Run([](WindowPresenter& p) { return p.StartUp(); }));
        QVERIFY(t.Run([](WindowPresenter& p) { return p.Read(); }));
        QVERIFY(modem_manager.WaitForCalls(4, std::chrono::seconds(10)));

        const auto calls = modem_manager.Calls();
        QCOMPARE(calls.size(), size_t{4});
        size_t given_back_at = 0;
        for (size_t at = 0; at < calls.size(); at += 2) {
            QCOMPARE(calls[at].kind, Kind::kInhibit);
            QCOMPARE(calls[at + 1].kind, Kind::kUninhibit);
            QVERIFY(calls[at].granted && calls[at + 1].granted);
            QCOMPARE(calls[at].device, kDevice);
            QCOMPARE(calls[at].noted, given_back_at);  // nothing reached the card unborrowed
            QVERIFY(calls[at + 1].noted > calls[at].noted);
            given_back_at = calls[at + 1].noted;
        }
        QCOMPARE(given_back_at, t.card().Requests().size());
        // Said once, not at every command; the card's own lines follow it.
        const QStringList log = t.Log();
        QCOMPARE(Count(log, QStringLiteral("ModemManager lends the card on COM")), 1);
        QCOMPARE(log.first().left(12), QStringLiteral("ModemManager"));
        QCOMPARE(log.at(1), QStringLiteral("Init port succeed..."));
    }

    // Without ModemManager the card is worked all the same, and the log says why it was not
    // borrowed once, however many commands follow.
    void withoutModemManagerTheWorkGoesOnAndSaysSoOnce() {
        WindowUnderTest t(BorrowingWindow());
        QVERIFY(t.Run([](WindowPresenter& p) { return p.Read(); }));
        QVERIFY(t.Run([](WindowPresenter& p) { return p.Read(); }));
        const QStringList log = t.Log();
        QCOMPARE(Count(log, QStringLiteral("the card is worked without borrowing it")), 1);
        QCOMPARE(Count(log, QStringLiteral("Read from datacard succeed...")), 3);
    }

    // Under "modemmanager = leave" nothing is asked and nothing said.
    void leaveAsksNothing() {
        testsupport::Put(config_.Path() / "carvex.conf", "modemmanager = leave\n");
        FakeModemManager modem_manager(bus_->Address(),
                                       {{"/org/freedesktop/ModemManager1/Modem/0", kDevice, {}}});
        WindowUnderTest t(BorrowingWindow());
        QVERIFY(t.Run([](WindowPresenter& p) { return p.Read(); }));
        QVERIFY(modem_manager.Calls().empty());
        QCOMPARE(Count(t.Log(), QStringLiteral("ModemManager")), 0);
    }

  private:
    testsupport::TempDir config_;
    std::optional<testsupport::PrivateBus> bus_;
};

QTEST_MAIN(ModemManagerWindowTest)
#include "modem_manager_window_test.moc"
