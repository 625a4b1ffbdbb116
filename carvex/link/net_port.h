#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

namespace carvex {

// A byte-stream port under the DIAG link. Writes come from the caller's thread, reads from the
// link's receiving thread only; Cancel releases a pending read so the link can stop.
class NetPort {
  public:
    virtual ~NetPort() = default;

    // Sends every byte; false on failure (the last error is left alone).
    virtual bool Write(std::span<const uint8_t> bytes) = 0;

    // Reads exactly bytes.size() bytes: true with *received = size; true with *received = 0
    // when cancelled; false when the port failed. `received` may be null.
    virtual bool Read(std::span<uint8_t> bytes, uint32_t* received) = 0;

    // Code of the last failure to open (0, 3, 5, 6 or 10).
    virtual int32_t LastError() const = 0;

    virtual void Close() = 0;

    // Releases a pending Read and discards the queues.
    virtual void Cancel() = 0;

    // Waits up to `timeout` for Cancel; true when it came. Lets the receiver pause after a
    // failing read without delaying a shutdown.
    virtual bool WaitForCancel(std::chrono::nanoseconds timeout) = 0;

    // Counts that tell when a packet arrived: how many bytes the port has received so far,
    // those it still holds included (never blocks, takes nothing), and how many of them Read has
    // handed out. nullopt from a port that does not count.
    virtual std::optional<uint64_t> BytesReceived() { return std::nullopt; }
    virtual std::optional<uint64_t> BytesRead() const { return std::nullopt; }
};

}  // namespace carvex
