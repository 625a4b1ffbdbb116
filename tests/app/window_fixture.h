#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "app/led_setting_unit.h"
#include "app/main_unit.h"
#include "cardwork/model/model_clock.h"
#include "carvex/carvex.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/environment.h"
#include "tests/support/card_fixture.h"
#include "tests/support/test_data.h"

namespace testsupport {

// Records the window's messages and answers the LED step dialog with a script of the test's.
class ScriptedPrompts : public cardwright::UserPrompts {
  public:
    void ShowMessage(QWidget*, const QString& text) override { messages.append(text); }
    QString AskOpenFileName(QWidget*, const QString& filter) override {
        filters.append(filter);
        return open_file;
    }
    QString AskSaveFileName(QWidget*, const QString& filter) override {
        filters.append(filter);
        return save_file;
    }
    bool AskLedStep(cardwright::TLedSettingFrm& dialog) override {
        ++led_dialogs;
        return answer_led ? answer_led(dialog) : false;
    }
    bool AskNewSolution(cardwright::TNewSoluationFrm& dialog) override {
        return answer_new_solution ? answer_new_solution(dialog) : false;
    }
    bool AskYesNo(QWidget*, const QString& question) override {
        questions.append(question);
        return answer_yes;
    }

    QStringList messages;
    QStringList filters;  // of the file dialogs shown
    QString open_file;    // the file dialogs' answers; empty: cancelled
    QString save_file;
    int led_dialogs = 0;
    QStringList questions;  // asked Yes or No
    bool answer_yes = true;
    std::function<bool(cardwright::TLedSettingFrm&)> answer_led;
    std::function<bool(cardwright::TNewSoluationFrm&)> answer_new_solution;
};

// How a window under test starts.
struct WindowSetup {
    // The card plugged in at start; none when empty.
    std::optional<cardsim::CardProfile> card = TestProfile();
    // Changes the folder's INI files before the window opens them.
    std::function<void(const std::filesystem::path& folder)> prepare;
};

// The main window started over the test description, beside a simulated card; the library,
// the card and the window's own pauses all run on faster clocks.
class WindowUnderTest {
  public:
    static constexpr int kScale = 20;

    explicit WindowUnderTest(WindowSetup setup = {}) {
        for (const char* file : {"Config_Info.ini", "config_value.ini"}) {
            std::filesystem::copy_file(kTestData / file, dir_.Path() / file);
        }
        if (setup.prepare) {
            setup.prepare(dir_.Path());
        }
        if (setup.card) {
            StartCard(std::move(*setup.card));
        } else {
            PullCard();
        }
        auto prompts = std::make_unique<ScriptedPrompts>();
        prompts_ = prompts.get();
        window_ = std::make_unique<cardwright::TMainFrm>(
            QString::fromStdString(dir_.Path().string()), std::move(prompts));
        window_->Timer1->stop();
        window_->show();
        window_->PageControl1->setFixedHeight(247);
        QApplication::processEvents();
        window_->Timer1Timer();
    }
    WindowUnderTest(const WindowUnderTest&) = delete;
    WindowUnderTest& operator=(const WindowUnderTest&) = delete;

    void StartCard(cardsim::CardProfile profile) { plugged_.Plug(std::move(profile), kScale); }
    // The card is pulled out: its device root goes with it.
    void PullCard() { plugged_.Pull(); }

    // Opens the connection as a command does before it works on the items.
    bool Open() {
        const bool open = InitCommPort() == 1;
        card().ClearRequests();
        return open;
    }

    cardwright::TMainFrm& w() { return *window_; }
    cardsim::SimulatedCard& card() { return plugged_.Card(); }
    ScriptedPrompts& prompts() { return *prompts_; }
    const std::filesystem::path& Dir() const { return dir_.Path(); }

    // The logged messages, without their time stamps.
    QStringList Log() const {
        QStringList messages;
        for (const QString& line : window_->Memo1->toPlainText().split(QLatin1Char('\n'))) {
            const auto at = line.indexOf(QStringLiteral("  "));
            if (at >= 0) {
                messages.append(line.mid(at + 2));
            }
        }
        return messages;
    }

    // The requests the card received of one kind.
    size_t Requests(cardsim::Command command) const { return plugged_.Requests(command).size(); }

    // The NV items the card was asked to write, in order.
    std::vector<uint16_t> NvWrites() const { return plugged_.NvWrites(); }

  private:
    TempDir dir_;
    carvex::ScopedClock clock_{std::make_shared<carvex::ScaledClock>(kScale)};
    std::shared_ptr<void> app_clock_ =
        cardwright::InstallAppClock(std::make_shared<cardwright::TestClock>(50));
    PluggedCard plugged_;
    ScriptedPrompts* prompts_ = nullptr;
    std::unique_ptr<cardwright::TMainFrm> window_;
};

// What an item's value box shows, whether its check box is ticked, and showing a text in it.
inline QString Shown(cardwright::TMainFrm& w, const char* name) {
    return w.ValueBox(name)->currentText();
}
inline bool Ticked(cardwright::TMainFrm& w, const char* name) {
    return w.LabelBox(name)->isChecked();
}
inline void Show(cardwright::TMainFrm& w, const char* name, const char* text) {
    w.ShowItemText(w.ValueBox(name), QString::fromUtf8(text));
}

// The first `count` bytes of an NV item as the card holds it.
inline std::vector<uint8_t> Nv(WindowUnderTest& t, uint16_t item, size_t count) {
    const auto value = t.card().Nv(item);
    return value ? std::vector<uint8_t>(value->begin(), value->begin() + count)
                 : std::vector<uint8_t>{};
}

}  // namespace testsupport
