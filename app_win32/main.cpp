#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "app_win32/dpi.h"
#include "app_win32/locale_date_time.h"
#include "app_win32/main_window.h"
#include "app_win32/owned.h"
#include "app_win32/posted_view.h"
#include "app_win32/presenter_actions.h"
#include "app_win32/program_options.h"
#include "app_win32/standard_streams.h"
#include "app_win32/wide_text.h"
#include "cardwork/card/library_card.h"
#include "cardwork/presenter/config_folder.h"
#include "cardwork/presenter/window_presenter.h"

namespace {

using namespace cardwright;
using namespace cardwright::win32;

int RunProgram() {
    StandardStreams streams;
    std::ostream& err = streams.Err();
    const ProgramOptions options = ParseOptions(ProgramArguments(), streams.Out(), err);
    if (options.exit_status) {
        return *options.exit_status;
    }
    const ConfigFolder folder = ChooseWindowsConfigFolder(options.config_dir);
    const std::string folder_name = Utf8(folder.path.wstring());
    for (const std::string& problem : folder.problems) {
        err << "cardwright: " << problem << '\n';
    }
    for (const std::string& file : folder.seeded) {
        err << "cardwright: " << file << " copied from the examples into " << folder_name << '\n';
    }
    if (!folder.complete) {
        err << "cardwright: looked for " << kDescriptionFile << " and " << kValuesFile << " in "
            << folder_name << '\n';
    }
    err << std::flush;
    std::optional<std::vector<std::string>> script;
    if (options.script) {
        script = ReadScript(*options.script);
        if (!script) {
            err << "cardwright: cannot read " << *options.script << '\n' << std::flush;
            return 1;
        }
    }
    // A script asks nothing: what would be a message box goes to the standard streams.
    const bool asks = !script && !options.quit_after_start;

    MainWindow window;
    PostedView view(window, window.Calls());
    LibraryCard card;
    const LocaleDateTime date_time;
    WindowPresenter presenter(view, card, date_time, folder.path);
    PresenterActions actions(presenter);
    window.Attach(actions);
    const WindowPresenter::Opened opened = presenter.Open();
    for (const std::string& message : opened.messages) {
        if (asks) {
            MessageBoxW(nullptr, Wide(message).c_str(), L"Cardwright", MB_OK | MB_ICONWARNING);
        } else {
            err << "message: " << message << '\n' << std::flush;
        }
    }
    if (!opened.ok) {
        return 1;
    }
    if (script) {
        presenter.RunScript(std::move(*script), streams.Out(), err);
    } else if (options.quit_after_start) {
        // An empty script ends once the start-up sequence is over.
        presenter.RunScript({}, streams.Out(), err);
    }
    window.Show(presenter.SavedWindowState());
    return window.Run();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int /*show*/) {
    BecomeDpiAware();
    const ComApartment com;
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                                            ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    try {
        return RunProgram();
    } catch (const std::exception& error) {
        MessageBoxW(nullptr, Wide(error.what()).c_str(), L"Cardwright", MB_OK | MB_ICONERROR);
        return 1;
    }
}
