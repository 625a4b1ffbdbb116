#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>

#include "carvex/connection/nv_item_packet.h"
#include "carvex/connection/request_status.h"
#include "carvex/link/diag_link.h"

namespace carvex {

// The connection to one card: its DIAG link, the lock that serialises every exchange, and the
// reply buffer of the short control exchanges.
class MainControl final : public DiagObserver {
  public:
    static constexpr size_t kReplyBufferSize = 500;
    static constexpr uint32_t kDiagBaudRate = 115200;
    static constexpr int kNvAttempts = 3;

    explicit MainControl(DeviceRoot root);
    explicit MainControl(DiagLink::PortOpener opener);
    ~MainControl() override;
    MainControl(const MainControl&) = delete;
    MainControl& operator=(const MainControl&) = delete;

    bool OpenPort(int port_number, uint32_t baud_rate);
    void ClosePort();
    bool IsOpen() const { return open_; }

    // Stops the receiving thread and releases the port at once, without the pause after a close
    // and without the clock: for a library being unloaded or a process ending with the
    // connection open.
    void Release() noexcept;

    // "AT$QCDMG" CR "~", unframed; no reply is awaited.
    bool SwitchToDiag();

    // Opens the port, switches the card to DIAG and reopens the port, as a card needs after the
    // switch. A switch that cannot be written closes the port again and fails.
    bool OpenInDiagMode(int port_number);

    // The next reply starting with `command` (or recognised by `key`) within 2 s, its payload
    // (without the command byte) in Reply().
    bool WaitReply(uint8_t command);
    bool WaitReply(ResponseKey key);
    std::span<const uint8_t, kReplyBufferSize> Reply() const { return reply_; }
    int32_t ReplyLength() const { return reply_length_; }

    // One NV read or write with up to three attempts; the packet holds the last attempt's result.
    bool NvRequest(NvItemPacket& packet, int32_t* status);
    // How many times an NV request was asked again since the connection was made: a card that
    // needs them is answering badly even when every request went through in the end.
    uint64_t NvRetries() const { return nv_retries_.load(); }

    std::recursive_mutex& Lock() { return lock_; }
    DiagLink& Link() { return link_; }

    // Replies on the exported paths are taken through the waits; nothing is kept from here.
    void OnPacket(int, std::span<const uint8_t>) override {}

  private:
    DiagLink link_;
    bool open_ = false;
    std::recursive_mutex lock_;
    std::array<uint8_t, kReplyBufferSize> reply_{};
    int32_t reply_length_ = 0;
    std::atomic<uint64_t> nv_retries_{0};
};

// Holds the connection's lock for a whole exchange, whichever way it ends.
class ConnectionGuard {
  public:
    explicit ConnectionGuard(MainControl& connection) : lock_(connection.Lock()) {}

  private:
    std::lock_guard<std::recursive_mutex> lock_;
};

}  // namespace carvex
