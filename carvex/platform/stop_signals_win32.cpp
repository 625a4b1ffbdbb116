#include <windows.h>

#include <mutex>

#include "carvex/platform/stop_signals.h"

namespace carvex {

// The console's control handler is the process's: the one object that lives at a time takes it.
class StopSignals::Watch {
  public:
    explicit Watch(Told told) : told_(std::move(told)) {
        const std::lock_guard lock(Mutex());
        Current() = this;
        SetConsoleCtrlHandler(&Handler, TRUE);
    }
    ~Watch() {
        SetConsoleCtrlHandler(&Handler, FALSE);
        const std::lock_guard lock(Mutex());
        Current() = nullptr;
    }

  private:
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    static Watch*& Current() {
        static Watch* current = nullptr;
        return current;
    }

    // Windows calls it on a thread of its own.
    static BOOL WINAPI Handler(DWORD event) {
        const std::lock_guard lock(Mutex());
        Watch* watch = Current();
        if (watch == nullptr) {
            return FALSE;
        }
        watch->told_(event == CTRL_C_EVENT ? "SIGINT" : "SIGTERM", ++watch->count_);
        return TRUE;
    }

    Told told_;
    int count_ = 0;
};

StopSignals::StopSignals(Told told) : watch_(std::make_unique<Watch>(std::move(told))) {}

StopSignals::~StopSignals() = default;

struct StopSignalsOffNewThreads::Saved {};

StopSignalsOffNewThreads::StopSignalsOffNewThreads() = default;

StopSignalsOffNewThreads::~StopSignalsOffNewThreads() = default;

}  // namespace carvex
