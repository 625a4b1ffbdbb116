#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

// A D-Bus message bus of the test's own (dbus-daemon), which anyone may connect to and on which
// anyone may own any name: what the system bus is to the programs under test, named to them by
// DBUS_SYSTEM_BUS_ADDRESS. Ended with the object.
class PrivateBus {
  public:
    PrivateBus() {
        const std::string socket = (dir_.Path() / "bus").string();
        const auto config = dir_.Path() / "bus.conf";
        std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                                 "Configuration 1.0//EN\"\n"
                                 " \"http://www.freedesktop.org/standards/dbus/1.0/"
                                 "busconfig.dtd\">\n"
                                 "<busconfig>\n"
                                 "  <listen>unix:path="
                              << socket
                              << "</listen>\n"
                                 "  <auth>EXTERNAL</auth>\n"
                                 "  <policy context=\"default\">\n"
                                 "    <allow user=\"*\"/>\n"
                                 "    <allow own=\"*\"/>\n"
                                 "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                                 "    <allow eavesdrop=\"true\"/>\n"
                                 "  </policy>\n"
                                 "</busconfig>\n";
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        // What it says (it cannot raise its descriptor limit when run as root in a container):
        // only for why it did not start.
        const std::string said = (dir_.Path() / "dbus-daemon.err").string();
        posix_spawn_file_actions_addopen(&actions, 2, said.c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string program = "/usr/bin/dbus-daemon";
        TextList argv = Arguments(
            program, {"--config-file=" + config.string(), "--nofork", "--print-address=1"});
        TextList envp = Environment({});
        const int spawned =
            posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.Get(), envp.Get());
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (spawned != 0) {
            ::close(out[0]);
            pid_ = -1;
            throw std::runtime_error("cannot start " + program + " (install dbus-daemon)");
        }
        // The address comes once the bus listens.
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') {
            address_ += c;
        }
        ::close(out[0]);
        if (address_.empty()) {
            std::ifstream err(said);
            throw std::runtime_error("dbus-daemon did not start: " +
                                     std::string(std::istreambuf_iterator<char>(err), {}));
        }
    }
    ~PrivateBus() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& Address() const { return address_; }
    // For a program's environment: the bus as its system bus.
    std::string AsSystemBus() const { return "DBUS_SYSTEM_BUS_ADDRESS=" + address_; }

  private:
    TempDir dir_;
    pid_t pid_ = -1;
    std::string address_;
};

}  // namespace testsupport
