#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "app_win32/modal_dialog.h"
#include "cardwork/presenter/window_view.h"

namespace cardwright::win32 {

// TLedSettingFrm: one step of an LED pattern, a colour and a time in units of 100 ms. One
// instance lives as long as the main window; its boxes keep their content between uses.
class LedSettingDialog final : public ModalDialog {
  public:
    LedSettingDialog();

    // Shows `preset`; the step chosen, or nullopt when cancelled.
    std::optional<LedStep> Ask(HWND owner, const LedStep& preset);

  private:
    void Build() override;
    bool Accept() override;
    void Closing() override;

    int colour_entry_ = 0;  // -1: none
    std::wstring time_text_ = L"1";
    int32_t preset_time_ = 0;
    LedStep chosen_;
};

// TNewSoluationFrm: the new solution's name and whether it configures the LED. Its boxes keep
// what they held between uses.
class NewSolutionDialog final : public ModalDialog {
  public:
    NewSolutionDialog();

    // Accepted with the name as typed (`text`) and the LED box (`flag`).
    Answer Ask(HWND owner);

  private:
    void Build() override;
    void Closing() override;

    std::wstring name_;
    bool led_ = false;
};

// TAboutBox: an icon, the product and its version, and OK.
class AboutBox final : public ModalDialog {
  public:
    explicit AboutBox(const AboutText& about);

  private:
    void Build() override;

    AboutText about_;
};

}  // namespace cardwright::win32
