// The simulated card as DIAG tools written elsewhere see it. The client here shares no code with
// the project: it frames, checks and parses with its own few lines, from the public definitions
// of the HDLC-like framing (RFC 1662) and the commonly documented DIAG packets, over the real
// pseudo-terminal the card publishes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/card_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The 16-bit FCS of RFC 1662: reflected polynomial 0x8408, initial value 0xFFFF, complemented.
uint16_t Fcs(const Bytes& data) {
    uint16_t fcs = 0xFFFF;
    for (uint8_t byte : data) {
        fcs ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            fcs = (fcs & 1) ? static_cast<uint16_t>((fcs >> 1) ^ 0x8408)
                            : static_cast<uint16_t>(fcs >> 1);
        }
    }
    return static_cast<uint16_t>(~fcs);
}

Bytes Frame(const Bytes& packet) {
    Bytes body = packet;
    const uint16_t fcs = Fcs(packet);
    body.push_back(static_cast<uint8_t>(fcs & 0xFF));
    body.push_back(static_cast<uint8_t>(fcs >> 8));
    Bytes frame;
    for (uint8_t byte : body) {
        if (byte == 0x7E || byte == 0x7D) {
            frame.push_back(0x7D);
            frame.push_back(byte ^ 0x20);
        } else {
            frame.push_back(byte);
        }
    }
    frame.push_back(0x7E);
    return frame;
}

// A serial port opened as any program opens one: raw, no echo, no translation.
class Port {
  public:
    explicit Port(const std::filesystem::path& device)
        : fd_(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios settings{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~Port() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    void Write(const Bytes& bytes) {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void Write(const std::string& text) { Write(Bytes(text.begin(), text.end())); }

    // Reads until `done` holds for what arrived, or the deadline passes.
    template <typename Done>
    Bytes ReadUntil(Done done, std::chrono::milliseconds limit = 5000ms) {
        const auto deadline = Clock::now() + limit;
        Bytes got;
        while (!done(got) && Clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (::poll(&p, 1, static_cast<int>(std::max<long>(0, left.count()))) > 0) {
                uint8_t chunk[512];
                const ssize_t n = ::read(fd_, chunk, sizeof chunk);
                if (n > 0) {
                    got.insert(got.end(), chunk, chunk + n);
                }
            }
        }
        return got;
    }

    // Sends one packet and gives the first packet that comes back, unframed and checked.
    std::optional<Bytes> Exchange(const Bytes& packet) {
        Write(Frame(packet));
        const Bytes raw = ReadUntil(
            [](const Bytes& got) { return std::find(got.begin(), got.end(), 0x7E) != got.end(); });
        Bytes body;
        for (size_t i = 0; i < raw.size() && raw[i] != 0x7E; ++i) {
            body.push_back(raw[i] == 0x7D && i + 1 < raw.size() ? raw[++i] ^ 0x20 : raw[i]);
        }
        if (body.size() < 3) {
            return std::nullopt;
        }
        const uint16_t fcs = static_cast<uint16_t>(body[body.size() - 2] | (body.back() << 8));
        Bytes packet_back = std::move(body);
        packet_back.resize(packet_back.size() - 2);
        if (Fcs(packet_back) != fcs) {
            return std::nullopt;
        }
        return packet_back;
    }

  private:
    int fd_;
};

std::string Text(const Bytes& packet, size_t at, size_t length) {
    std::string text(packet.begin() + static_cast<long>(at),
                     packet.begin() + static_cast<long>(at + length));
    return text.substr(0, text.find('\0'));
}

uint32_t Le32(const Bytes& packet, size_t at) {
    return packet[at] | (uint32_t{packet[at + 1]} << 8) | (uint32_t{packet[at + 2]} << 16) |
           (uint32_t{packet[at + 3]} << 24);
}

// An NV read request of `size` bytes (133 is the whole packet) for item 0x0226.
Bytes NvRead(size_t size) {
    Bytes request(size, 0);
    request[0] = 0x26;
    request[1] = 0x26;
    request[2] = 0x02;
    return request;
}

class RealClientTest : public ::testing::Test {
  protected:
    void Plug(cardsim::CardProfile profile) {
        sim_ = std::make_unique<testsupport::CardUnderTest>(std::move(profile));
        port_ = std::make_unique<Port>(sim_->card->Root().ComDirectory() / "COM12");
        ASSERT_TRUE(port_->IsOpen());
    }

    std::unique_ptr<testsupport::CardUnderTest> sim_;
    std::unique_ptr<Port> port_;
};

TEST_F(RealClientTest, AnswersWhatDiagToolsAskAsTheExampleCard) {
    Plug(testsupport::ExampleProfile());
    port_->Write(std::string("AT$QCDMG\r"));
    const Bytes ok = port_->ReadUntil([](const Bytes& got) {
        return std::string(got.begin(), got.end()).find("OK\r\n") != std::string::npos;
    });
    EXPECT_EQ(std::string(ok.begin(), ok.end()), "\r\nOK\r\n");

    const auto version = port_->Exchange({0x00});
    ASSERT_TRUE(version);
    ASSERT_EQ(version->size(), 55u);
    EXPECT_EQ(version->at(0), 0x00);
    EXPECT_EQ(Text(*version, 1, 11), "Mar 18 2026") << "compile date";
    EXPECT_EQ(Text(*version, 12, 8), "09:41:27") << "compile time";
    EXPECT_EQ(Text(*version, 20, 11), "Mar 18 2026") << "release date";
    EXPECT_EQ(Text(*version, 31, 8), "10:05:00") << "release time";
    EXPECT_EQ(Text(*version, 39, 8), "LW-X4201") << "version directory";
    // Station class mark, CAI revision, mobile model, firmware revision (16 bits), slot cycle
    // index, MSM version major and minor.
    EXPECT_EQ(Bytes(version->begin() + 47, version->end()),
              (Bytes{0x2A, 6, 0x42, 0x12, 0x03, 2, 3, 0x10}));

    // The ESN: 0x80, then the IMEI's serial number 234567.
    EXPECT_EQ(port_->Exchange({0x01}), (Bytes{0x01, 0x47, 0x94, 0x03, 0x80}));

    const auto status = port_->Exchange({0x0C});
    ASSERT_TRUE(status);
    ASSERT_EQ(status->size(), 48u);
    EXPECT_EQ(Le32(*status, 4), 0x80039447u) << "ESN";
    EXPECT_EQ(Bytes(status->begin() + 8, status->begin() + 10), (Bytes{1, 0})) << "RF mode";
    EXPECT_EQ(Bytes(status->begin() + 32, status->begin() + 34), (Bytes{0, 0})) << "online";

    EXPECT_EQ(port_->Exchange({0x1C}), (Bytes{0x1C, 8, 0}));

    const auto build = port_->Exchange({0x7C});
    ASSERT_TRUE(build);
    ASSERT_GE(build->size(), 12u);
    EXPECT_EQ(Bytes(build->begin(), build->begin() + 4), (Bytes{0x7C, 2, 0, 0}));
    EXPECT_EQ(Le32(*build, 4), 0x0A2104E1u) << "MSM hardware version";
    EXPECT_EQ(Le32(*build, 8), 0x4201u) << "mobile model id";
    const std::string texts(build->begin() + 12, build->end());
    EXPECT_EQ(texts, std::string("31.742.06.19.208\0LW-X4201\0", 26));

    struct Refusal {
        const char* what;
        Bytes request;
        uint8_t code;
    } refusals[] = {
        {"an NV read cut short", {0x26, 0x26, 0x02, 0, 0}, 0x15},
        {"an NV write cut short", {0x27, 0x0A, 0x00, 0x04}, 0x15},
        {"a subsystem header cut short", {0x4B, 0xC9}, 0x15},
        {"an unknown subsystem", {0x4B, 0x63, 0x01, 0x00}, 0x13},
        {"an unknown command", {0x7F, 0x01}, 0x13},
        {"an NV read one byte short", NvRead(132), 0x15},
        {"a long unknown command", Bytes(40, 0x7F), 0x13},
    };
    for (const auto& r : refusals) {
        // A refusal echoes at most the first 16 bytes of the request.
        Bytes expected = {r.code};
        expected.insert(
            expected.end(), r.request.begin(),
            r.request.begin() + static_cast<long>(std::min<size_t>(16, r.request.size())));
        EXPECT_EQ(port_->Exchange(r.request), expected) << r.what;
    }
}

TEST_F(RealClientTest, ACardThatSaysNothingToTheSwitchAnswersDiagAtOnce) {
    auto profile = testsupport::ExampleProfile();
    profile.qcdmg_ok = false;
    Plug(profile);
    port_->Write(std::string("AT$QCDMG\r"));
    // Whatever the switch brought would come before the reply.
    EXPECT_EQ(port_->Exchange({0x1C}), (Bytes{0x1C, 8, 0}));
}

// What terminals, scripts and DIAG tools send before their first DIAG request: lines ended in
// CR LF, and a DIAG probe written while the port still speaks AT, which the card skips as no
// command.
TEST_F(RealClientTest, SwitchesAsToolsSendIt) {
    struct Step {
        Bytes bytes;
        bool answered;  // wait for the "OK" of this line before the next step
    };
    const auto line = [](std::string_view text, bool answered = false) {
        return Step{Bytes(text.begin(), text.end()), answered};
    };
    const struct Case {
        const char* what;
        std::vector<Step> steps;
    } cases[] = {
        {"the switch ended by CR LF", {line("AT$QCDMG\r\n")}},
        {"the switch ended by CR LF and a flag", {line("at$qcdmg\r\n~")}},
        {"a CR LF line before the switch", {line("ATE0\r\n", true), line("AT$QCDMG\r\n")}},
        {"a flag before the first request", {line("AT$QCDMG\r~~")}},
        {"a DIAG probe before the switch",
         {Step{{0x7E, 0x00, 0x78, 0xF0, 0x7E}, false}, line("AT$QCDMG\r")}},
    };
    auto profile = testsupport::ExampleProfile();
    profile.qcdmg_ok = false;
    for (const auto& c : cases) {
        Plug(profile);
        for (const Step& step : c.steps) {
            port_->Write(step.bytes);
            if (step.answered) {
                const Bytes ok = port_->ReadUntil([](const Bytes& got) {
                    return std::string(got.begin(), got.end()).find("OK\r\n") != std::string::npos;
                });
                EXPECT_EQ(std::string(ok.begin(), ok.end()), "\r\nOK\r\n") << c.what;
            }
        }
        EXPECT_EQ(port_->Exchange({0x1C}), (Bytes{0x1C, 8, 0})) << c.what;
        EXPECT_TRUE(sim_->card->InDiagMode()) << c.what;
    }
}

TEST_F(RealClientTest, TheModemTakesLinesAsTerminalsSendThem) {
    Plug(testsupport::ExampleProfile());
    Port modem(sim_->card->Root().ComDirectory() / "COM13");
    ASSERT_TRUE(modem.IsOpen());
    const auto ask = [&](const std::string& text) {
        modem.Write(text);
        const Bytes got = modem.ReadUntil([](const Bytes& so_far) {
            const std::string reply(so_far.begin(), so_far.end());
            return reply.find("OK\r\n") != std::string::npos ||
                   reply.find("ERROR\r\n") != std::string::npos;
        });
        return std::string(got.begin(), got.end());
    };
    EXPECT_EQ(ask("ATE0\r\n"), "ATE0\r\r\nOK\r\n");
    EXPECT_EQ(ask(std::string("\x7E\0\x78\xF0\x7E", 5) + "\r\nAT+CGMM\r\n"),
              "AT+CGMM\r\r\nLW-X4201\r\n\r\nOK\r\n");
}

}  // namespace
