#pragma once

#include <filesystem>
#include <string>

#include "carvex/platform/device_root.h"

namespace carvex {

// Why the card's port cannot be opened, found after an open failed: what carvexctl prints and
// the window's status bar shows. Names from the device root and the process list come escaped
// (see PrintableText).
struct PortDiagnosis {
    enum class Cause {
        kNoCard,        // no PC UI interface among the serial ports
        kNotPublished,  // the COM port has no link in the device root
        kGone,          // the link points to nothing: unplugged, or restarting
        kNotPermitted,  // the tty is not open to this user
        kInUse,         // another process has the tty, or holds its lock
        kCannotOpen,    // any other reason the system gives
        kNoAnswer,      // the port opens: the card did not take the switch to DIAG
    };

    Cause cause = Cause::kCannotOpen;
    // The whole sentence, with the tty and what to do: "COM12 (/dev/ttyUSB2) is in use by
    // minicom (pid 700)", "you may not open COM12 (/dev/ttyUSB2): it is open to the group
    // dialout, which you are not in (...)".
    std::string sentence;
    // The same in a few words, for a status bar: "no card found", "COM12 is gone", "COM12 is in
    // use by minicom (pid 700)", "no permission for COM12: join the group dialout".
    std::string brief;
};

// Why no card can be used from this device root: none is there, or its PC UI interface's port
// cannot be opened (see ExplainUnopenablePort).
PortDiagnosis ExplainUnopenableCard(const DeviceRoot& root);

// Why the port COM<number> of the device root cannot be opened: not published, gone, not
// permitted (and which group to join), in use by another process (and which), or, when it
// opens, that the card did not take the switch to DIAG.
PortDiagnosis ExplainUnopenablePort(const DeviceRoot& root, int number);

// Whether the port COM<number> has gone from the device root (its link is missing, or points to
// nothing): the card was unplugged or is restarting. Opens nothing and looks at no process, so
// it can be asked after every call the card did not answer.
bool PortGone(const DeviceRoot& root, int number);

// The same for a tty path alone, named as `com_name`.
PortDiagnosis ExplainUnopenableDevice(const std::string& com_name,
                                      const std::filesystem::path& device);

}  // namespace carvex
