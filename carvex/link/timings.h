#pragma once

#include <chrono>

namespace carvex::timing {

using std::chrono::milliseconds;

// Every pause and time-out of the library, named once. They run through the installed Clock.

// The serial ports
inline constexpr milliseconds kWriteLimit{2000};  // a write not done by then fails

// The link
inline constexpr milliseconds kAfterMatchedPacket{100};  // receiver pause after a match
inline constexpr milliseconds kAfterFailedRead{100};     // receiver pause after a port failure
inline constexpr milliseconds kProbeWait{4000};          // request-id probe

// The connection
inline constexpr milliseconds kAfterClose{100};
inline constexpr milliseconds kDiagSwitchPause{500};  // before and after the reopen
inline constexpr milliseconds kReplyWait{2000};
inline constexpr milliseconds kNvWait{4000};
inline constexpr milliseconds kNvRetryPause{300};
inline constexpr milliseconds kQueryWait{4000};
inline constexpr milliseconds kNewVersionWait{2000};
inline constexpr milliseconds kBackupWait{20000};
inline constexpr milliseconds kAfterBackup{1000};
inline constexpr milliseconds kPortSettingWait{2000};
inline constexpr milliseconds kModePause{1000};

// The AT channel
inline constexpr milliseconds kAtPollInterval{1000};
inline constexpr std::chrono::seconds kAtReplyLimit{3};

}  // namespace carvex::timing
