#include "carvex/link/diag_link.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "carvex/link/serial_net_port.h"
#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"

namespace carvex {

DiagLink::DiagLink(DeviceRoot root)
    : opener_([root = std::move(root)](int port_number, uint32_t baud_rate,
                                       OpenError& error) -> std::unique_ptr<NetPort> {
          auto port = std::make_unique<SerialNetPort>(root);
          port->Configure(port_number, baud_rate);
          if (!port->Open()) {
              error = {port->LastError(), port->LastSystemError()};
              return nullptr;
          }
          return port;
      }) {}

DiagLink::DiagLink(PortOpener opener) : opener_(std::move(opener)) {}

DiagLink::~DiagLink() {
    // A caller still in a wait on another thread is released, and has left, before the link
    // frees the buffers it may be using.
    queue_.ReleaseWaiters();
    Close();
}

bool DiagLink::Open(int port_number, uint32_t baud_rate) {
    if (m_pNetPort) {
        last_error_ = kPortAlreadyOpen;
        return false;
    }
    OpenError error;
    auto port = opener_(port_number, baud_rate, error);
    last_system_error_ = error.system_error;
    if (!port) {
        last_error_ = error.code;
        return false;
    }
    return Start(std::move(port));
}

bool DiagLink::Start(std::unique_ptr<NetPort> port) {
    try {
        transmit_.assign(kFrameBufferSize, 0);
        receive_.assign(kFrameBufferSize, 0);
        request_.assign(kRequestBufferSize, 0);
        response_.assign(kResponseBufferSize, 0);
    } catch (const std::bad_alloc&) {
        ReleaseBuffers();
        return false;
    }
    m_pNetPort = std::move(port);
    queue_.RestartCounts();
    abort_ = false;
    try {
        receiver_ = std::thread([this] { ReceiveLoop(); });
    } catch (const std::system_error&) {
        m_pNetPort->Close();
        m_pNetPort.reset();
        ReleaseBuffers();
        return false;
    }
    return true;
}

void DiagLink::ReleaseBuffers() {
    transmit_ = {};
    receive_ = {};
    request_ = {};
    response_ = {};
    receive_length_ = 0;
}

void DiagLink::Close() {
    if (!m_pNetPort) {
        return;
    }
    abort_ = true;
    m_pNetPort->Cancel();
    if (receiver_.joinable()) {
        receiver_.join();
    }
    m_pNetPort->Close();
    m_pNetPort.reset();
    last_error_ = kLinkNoError;
    ReleaseBuffers();
    abort_ = false;
}

bool DiagLink::Send(bool raw, std::span<const uint8_t> bytes) {
    if (!m_pNetPort) {
        return false;
    }
    size_t length = 0;
    if (raw) {
        if (bytes.size() > kFrameBufferSize) {
            last_error_ = kLinkRequestTooLong;
            return false;
        }
        std::memcpy(transmit_.data(), bytes.data(), bytes.size());
        length = bytes.size();
    } else {
        if (bytes.size() > kMaxFrameBody) {
            last_error_ = kLinkRequestTooLong;
            return false;
        }
        const auto encoded = EncodeFrame(bytes, Fcs16(bytes), transmit_);
        if (!encoded) {
            last_error_ = kLinkRequestTooLong;
            return false;
        }
        length = *encoded;
    }
    queue_.BeginRequest(m_pNetPort->BytesReceived());
    if (!m_pNetPort->Write(std::span(transmit_).first(length))) {
        last_error_ = m_pNetPort->LastError();
        return false;
    }
    return true;
}

bool DiagLink::SendRequest(const DiagRequestHeader& header, std::span<const uint8_t> payload) {
    if (!m_pNetPort) {
        return false;
    }
    std::fill(request_.begin(), request_.end(), 0);
    header.Write(request_);
    const size_t header_length = header.Length();
    if (header_length + payload.size() > kRequestBufferSize) {
        last_error_ = kLinkRequestTooLong;
        return false;
    }
    if (!payload.empty()) {
        std::memcpy(request_.data() + header_length, payload.data(), payload.size());
    }
    return Send(false, std::span(request_).first(header_length + payload.size()));
}

bool DiagLink::WaitResponse(const DiagRequestHeader& header, std::span<uint8_t> destination,
                            int32_t* received, std::chrono::milliseconds timeout) {
    return WaitResponse(ResponseKey::For(header), header.Length(), destination, received, timeout);
}

bool DiagLink::WaitResponse(ResponseKey key, size_t skip, std::span<uint8_t> destination,
                            int32_t* received, std::chrono::milliseconds timeout) {
    const ResponseQueue::Visit visit(queue_);
    // The response buffer exists only while the link is open; a closed link has nothing to wait
    // for but still honours the time-out's meaning: nothing arrives.
    if (response_.empty()) {
        last_error_ = kLinkNoResponse;
        return false;
    }
    std::fill(response_.begin(), response_.end(), 0);
    const auto length = queue_.Wait(key, response_, GetClock().Timeout(timeout));
    if (!length) {
        last_error_ = kLinkNoResponse;
        return false;
    }
    const size_t count = std::min(destination.size(), kResponseBufferSize - skip);
    std::memcpy(destination.data(), response_.data() + skip, count);
    std::fill(destination.begin() + static_cast<std::ptrdiff_t>(count), destination.end(), 0);
    if (received != nullptr) {
        *received = static_cast<int32_t>(*length) - static_cast<int32_t>(skip);
    }
    return true;
}

bool DiagLink::WaitRaw(std::span<uint8_t> destination, int32_t* received, ResponseKey key,
                       std::chrono::milliseconds timeout, std::optional<uint64_t> since) {
    const ResponseQueue::Visit visit(queue_);
    const auto length = queue_.Wait(key, destination, GetClock().Timeout(timeout), since);
    if (!length) {
        last_error_ = kLinkNoResponse;
        return false;
    }
    if (received != nullptr) {
        *received = static_cast<int32_t>(*length);
    }
    return true;
}

bool DiagLink::TakeQueued(std::span<uint8_t> destination, int32_t* received, ResponseKey key,
                          uint64_t since) {
    const auto length = queue_.TakeQueued(key, destination, since);
    if (length && received != nullptr) {
        *received = static_cast<int32_t>(*length);
    }
    return length.has_value();
}

bool DiagLink::PutPacket(std::span<const uint8_t> packet, std::optional<uint64_t> read_through) {
    ResponseQueue::Put put;
    try {
        put = queue_.PutPacket(packet, read_through);
    } catch (const std::bad_alloc&) {
        return false;  // no memory for its copy: this packet is lost, the link goes on
    }
    if (put == ResponseQueue::Put::kMatched) {
        // Gives the woken caller time to take its reply before anything else is queued; a
        // closing link cuts the pause short.
        m_pNetPort->WaitForCancel(GetClock().Real(timing::kAfterMatchedPacket));
    }
    return true;
}

DiagLink::FrameRead DiagLink::ReadFrame() {
    FrameDecoder decoder(receive_);
    for (;;) {
        uint8_t byte = 0;
        uint32_t received = 0;
        const bool read = m_pNetPort->Read(std::span(&byte, 1), &received);
        if (abort_.exchange(false)) {
            receive_length_ = 0;
            return FrameRead::kAborted;
        }
        if (!read) {
            receive_length_ = 0;
            last_error_ = m_pNetPort->LastError();
            return FrameRead::kFailed;
        }
        if (received == 0) {
            continue;  // a cancel without an abort request: nothing arrived
        }
        switch (decoder.Feed(byte)) {
            case FrameDecoder::Result::kNeedMore:
                break;
            case FrameDecoder::Result::kFrame:
                receive_length_ = decoder.FrameLength();
                return FrameRead::kFrame;
            case FrameDecoder::Result::kOverflow:
                receive_length_ = 0;
                last_error_ = kLinkFrameTooLong;
                return FrameRead::kTooLong;
        }
    }
}

bool DiagLink::ReceiveValidFrame() {
    for (;;) {
        switch (ReadFrame()) {
            case FrameRead::kAborted:
                return false;
            case FrameRead::kTooLong:
                continue;  // the partial frame is lost; the next one may be good
            case FrameRead::kFailed:
                // A port that keeps failing (a card pulled out) is retried at a calm pace; the
                // pause ends at once when the link is closed.
                m_pNetPort->WaitForCancel(GetClock().Real(timing::kAfterFailedRead));
                continue;
            case FrameRead::kFrame:
                break;
        }
        if (receive_length_ <= 2) {
            continue;
        }
        if (Fcs16(std::span(receive_).first(receive_length_)) != kFcsGoodResidue) {
            continue;
        }
        receive_length_ -= 2;
        return true;
    }
}

void DiagLink::ReceiveLoop() noexcept {
    try {
        ReceivePackets();
    } catch (...) {
        // Nothing may leave a thread function; a link whose receiver ended this way still
        // closes normally.
    }
}

void DiagLink::ReceivePackets() {
    while (ReceiveValidFrame()) {
        const auto packet = std::span<const uint8_t>(receive_).first(receive_length_);
        if (DiagObserver* observer = observer_.load()) {
            try {
                observer->OnPacket(0, packet);
            } catch (...) {
                // The observer's trouble is not the link's: the packet is still queued.
            }
        }
        // Its last byte was the last one read: what tells which requests it may answer.
        PutPacket(packet, m_pNetPort->BytesRead());
    }
}

}  // namespace carvex
