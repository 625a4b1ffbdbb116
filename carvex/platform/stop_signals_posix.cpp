#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "carvex/platform/stop_signals.h"
#include "carvex/platform/unique_fd.h"

namespace carvex {

// The signals blocked and read through a descriptor on a thread, which an event descriptor
// wakes when the object goes.
class StopSignals::Watch {
  public:
    explicit Watch(Told told) : told_(std::move(told)) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals_, &before_);
        signal_fd_.Reset(::signalfd(-1, &signals_, SFD_CLOEXEC));
        wake_fd_.Reset(::eventfd(0, EFD_CLOEXEC));
        if (!signal_fd_ || !wake_fd_) {
            pthread_sigmask(SIG_SETMASK, &before_, nullptr);
            throw std::runtime_error("cannot take Ctrl-C and SIGTERM");
        }
        thread_ = std::thread([this] { Run(); });
    }

    ~Watch() {
        const uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake_fd_.Get(), &one, sizeof one);
        thread_.join();
        pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    }

  private:
    void Run() {
        int count = 0;
        for (;;) {
            pollfd fds[2] = {{signal_fd_.Get(), POLLIN, 0}, {wake_fd_.Get(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                continue;  // interrupted: look again
            }
            if (fds[1].revents != 0) {
                return;
            }
            signalfd_siginfo info{};
            if (::read(signal_fd_.Get(), &info, sizeof info) != sizeof info) {
                continue;
            }
            told_(info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM", ++count);
        }
    }

    Told told_;
    sigset_t signals_{};
    sigset_t before_{};
    UniqueFd signal_fd_;
    UniqueFd wake_fd_;
    std::thread thread_;
};

StopSignals::StopSignals(Told told) : watch_(std::make_unique<Watch>(std::move(told))) {}

StopSignals::~StopSignals() = default;

struct StopSignalsOffNewThreads::Saved {
    sigset_t mask{};
};

StopSignalsOffNewThreads::StopSignalsOffNewThreads() : saved_(std::make_unique<Saved>()) {
    sigset_t signals{};
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, &saved_->mask);
}

StopSignalsOffNewThreads::~StopSignalsOffNewThreads() {
    pthread_sigmask(SIG_SETMASK, &saved_->mask, nullptr);
}

}  // namespace carvex
