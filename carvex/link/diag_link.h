#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "carvex/link/diag_request_header.h"
#include "carvex/link/frame_codec.h"
#include "carvex/link/net_port.h"
#include "carvex/link/response_queue.h"
#include "carvex/platform/device_root.h"
#include "carvex/platform/serial_device.h"

namespace carvex {

// Link error codes besides the port's own (3, 5, 6, 10).
enum LinkError : int32_t {
    kLinkNoError = 0,
    kLinkFrameTooLong = 100,
    kLinkRequestTooLong = 102,
    kLinkNoResponse = 103,
};

// Is shown every good frame the link receives, on the receiving thread.
class DiagObserver {
  public:
    virtual ~DiagObserver() = default;
    virtual void OnPacket(int reserved, std::span<const uint8_t> packet) = 0;
};

// The DIAG channel over the card's PC UI port: framed requests out, and a receiving thread that
// checks every incoming frame, shows it to the observer and queues it for the waiting caller.
class DiagLink {
  public:
    static constexpr size_t kRequestBufferSize = kMaxFrameBody;
    static constexpr size_t kResponseBufferSize = kMaxFrameBody;

    // Why a port would not open: its port error code and the system's error number behind it.
    struct OpenError {
        int32_t code = kPortCannotOpen;
        int system_error = 0;
    };
    // Opens the port a link runs on; nullptr with `error` set when it cannot.
    using PortOpener = std::function<std::unique_ptr<NetPort>(int port_number, uint32_t baud_rate,
                                                              OpenError& error)>;

    // Runs on the serial ports of `root`.
    explicit DiagLink(DeviceRoot root);
    explicit DiagLink(PortOpener opener);
    ~DiagLink();
    DiagLink(const DiagLink&) = delete;
    DiagLink& operator=(const DiagLink&) = delete;

    bool Open(int port_number, uint32_t baud_rate);
    void Close();
    bool IsOpen() const { return m_pNetPort != nullptr; }

    void SetObserver(DiagObserver* observer) { observer_.store(observer); }

    // raw: the bytes as they are; otherwise one frame. Either is a request: only packets that
    // arrive from now on can answer it.
    bool Send(bool raw, std::span<const uint8_t> bytes);
    bool SendRequest(const DiagRequestHeader& header, std::span<const uint8_t> payload);

    // Copies destination.size() bytes of the response behind its header bytes (zeros beyond the
    // packet); *received := packet length - header length.
    bool WaitResponse(const DiagRequestHeader& header, std::span<uint8_t> destination,
                      int32_t* received, std::chrono::milliseconds timeout);
    // The same for a response recognised by `key`, copied from behind its first `skip` bytes.
    bool WaitResponse(ResponseKey key, size_t skip, std::span<uint8_t> destination,
                      int32_t* received, std::chrono::milliseconds timeout);
    // Copies the whole matching packet (at most destination.size() bytes); *received := its length.
    // With `since`, an answer to any request from the one marked `since` on will do.
    bool WaitRaw(std::span<uint8_t> destination, int32_t* received, ResponseKey key,
                 std::chrono::milliseconds timeout, std::optional<uint64_t> since = std::nullopt);
    // A matching packet that has arrived since the request marked `since`, without waiting.
    bool TakeQueued(std::span<uint8_t> destination, int32_t* received, ResponseKey key,
                    uint64_t since);
    // The mark of the request sent last.
    uint64_t LastRequest() const { return queue_.LastRequest(); }

    int32_t LastLinkError() const { return last_error_.load(); }
    // The system's error number behind the last failed Open (0 when it was no system failure).
    int LastSystemError() const { return last_system_error_; }

    // Queues a received packet whose last byte was the port's `read_through`-th; receiving
    // thread only.
    bool PutPacket(std::span<const uint8_t> packet,
                   std::optional<uint64_t> read_through = std::nullopt);

    const ResponseQueue& Queue() const { return queue_; }

  private:
    enum class FrameRead { kFrame, kTooLong, kFailed, kAborted };

    FrameRead ReadFrame();
    bool ReceiveValidFrame();
    void ReceiveLoop() noexcept;
    void ReceivePackets();

    bool Start(std::unique_ptr<NetPort> port);
    void ReleaseBuffers();

    PortOpener opener_;
    std::unique_ptr<NetPort> m_pNetPort;
    std::atomic<DiagObserver*> observer_{nullptr};
    ResponseQueue queue_;
    std::atomic<int32_t> last_error_{kLinkNoError};
    int last_system_error_ = 0;

    std::vector<uint8_t> transmit_;
    std::vector<uint8_t> receive_;
    size_t receive_length_ = 0;
    std::vector<uint8_t> request_;
    std::vector<uint8_t> response_;

    std::thread receiver_;
    std::atomic<bool> abort_{false};
};

}  // namespace carvex
