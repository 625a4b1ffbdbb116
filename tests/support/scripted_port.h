#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "carvex/link/frame_codec.h"
#include "carvex/link/net_port.h"

namespace testsupport {

// The card's end of a port that the test plays from memory: bytes fed here are what the card
// sent; the receiver's pauses are remembered; a write can be refused, as by a card that has gone.
struct ScriptedPortRecord {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<uint8_t> incoming;
    bool cancelled = false;
    std::vector<std::chrono::nanoseconds> pauses;
    int writes = 0;
    uint64_t read = 0;  // bytes handed to the link
    // Asked at each write (on the writer's thread, no lock held); true: the write goes through.
    std::function<bool()> on_write;

    void Feed(const std::vector<uint8_t>& bytes) {
        std::lock_guard lock(mutex);
        incoming.insert(incoming.end(), bytes.begin(), bytes.end());
        changed.notify_all();
    }
    // A packet as the card frames it.
    void FeedFrame(const std::vector<uint8_t>& body) {
        std::vector<uint8_t> frame(body.size() * 2 + 4);
        frame.resize(carvex::EncodeFrame(body, carvex::Fcs16(body), frame).value());
        Feed(frame);
    }
    std::vector<std::chrono::nanoseconds> Pauses() {
        std::lock_guard lock(mutex);
        return pauses;
    }
};

class ScriptedPort : public carvex::NetPort {
  public:
    explicit ScriptedPort(std::shared_ptr<ScriptedPortRecord> record) : r_(std::move(record)) {}

    bool Write(std::span<const uint8_t>) override {
        std::function<bool()> on_write;
        {
            std::lock_guard lock(r_->mutex);
            ++r_->writes;
            on_write = r_->on_write;
        }
        return !on_write || on_write();
    }
    bool Read(std::span<uint8_t> bytes, uint32_t* received) override {
        std::unique_lock lock(r_->mutex);
        for (auto& byte : bytes) {
            r_->changed.wait(lock, [&] { return r_->cancelled || !r_->incoming.empty(); });
            if (r_->cancelled) {
                *received = 0;
                return true;
            }
            byte = r_->incoming.front();
            r_->incoming.pop_front();
            ++r_->read;
        }
        *received = static_cast<uint32_t>(bytes.size());
        return true;
    }
    int32_t LastError() const override { return 0; }
    void Close() override {}
    void Cancel() override {
        std::lock_guard lock(r_->mutex);
        r_->cancelled = true;
        r_->changed.notify_all();
    }
    bool WaitForCancel(std::chrono::nanoseconds timeout) override {
        std::unique_lock lock(r_->mutex);
        r_->pauses.push_back(timeout);
        return r_->changed.wait_for(lock, timeout, [&] { return r_->cancelled; });
    }

    // The port counts bytes as a serial port does: what the card has sent so far tells the
    // link which requests a packet may answer.
    std::optional<uint64_t> BytesReceived() override {
        std::lock_guard lock(r_->mutex);
        return r_->read + r_->incoming.size();
    }
    std::optional<uint64_t> BytesRead() const override {
        std::lock_guard lock(r_->mutex);
        return r_->read;
    }

  private:
    std::shared_ptr<ScriptedPortRecord> r_;
};

}  // namespace testsupport
