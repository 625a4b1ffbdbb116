#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "carvex/platform/device_root_watch.h"
#include "carvex/platform/unique_fd.h"

namespace carvex {

class DeviceRootWatch::Watch {
  public:
    explicit Watch(const DeviceRoot& root)
        : root_(root),
          inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
          wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        if (!inotify_ || !wake_) {
            throw std::runtime_error(std::string("cannot watch the device root: ") +
                                     std::strerror(errno));
        }
        AddWatches();
    }

    bool Wait(std::chrono::milliseconds limit) {
        // A root not made yet (its publisher has not run) tells nobody when it is: it is
        // looked for again now and then.
        if (!root_watched_ && (limit.count() < 0 || limit > kLookForRoot)) {
            limit = kLookForRoot;
        }
        std::array<pollfd, 2> fds{{{inotify_.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}}};
        const int ready = ::poll(fds.data(), fds.size(),
                                 limit.count() < 0 ? -1 : static_cast<int>(limit.count()));
        if (ready <= 0) {
            if (!root_watched_) {
                AddWatches();
            }
            return false;
        }
        Drain(inotify_.Get());
        Drain(wake_.Get());
        // A folder made since (the first card's devices/ports) is watched from now on; what
        // changed in it before it was watched is found by the reading that follows.
        AddWatches();
        return true;
    }

    void Wake() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof one);
    }

  private:
    static void Drain(int fd) {
        std::array<char, 4096> buffer{};
        while (::read(fd, buffer.data(), buffer.size()) > 0) {
        }
    }

    void AddWatches() {
        constexpr uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                                      IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
        root_watched_ =
            ::inotify_add_watch(inotify_.Get(), root_.Path().c_str(), kChanges | IN_ONLYDIR) >= 0;
        for (const std::filesystem::path& folder :
             {root_.Path() / "devices", root_.DeviceClassDirectory(DeviceClass::kPorts),
              root_.DeviceClassDirectory(DeviceClass::kModem), root_.ComDirectory()}) {
            // A folder not there yet is watched once it is (its parent tells).
            ::inotify_add_watch(inotify_.Get(), folder.c_str(), kChanges | IN_ONLYDIR);
        }
    }

    static constexpr std::chrono::milliseconds kLookForRoot{1000};

    DeviceRoot root_;
    bool root_watched_ = false;
    UniqueFd inotify_;
    UniqueFd wake_;
};

DeviceRootWatch::DeviceRootWatch(const DeviceRoot& root) : watch_(std::make_unique<Watch>(root)) {}
DeviceRootWatch::~DeviceRootWatch() = default;

bool DeviceRootWatch::Wait(std::chrono::milliseconds limit) {
    return watch_->Wait(limit);
}

void DeviceRootWatch::Wake() {
    watch_->Wake();
}

}  // namespace carvex
