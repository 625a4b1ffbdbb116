// Round trip of a 133-byte NV read and its reply through the DIAG link and the simulated card
// over a pty pair, one exchange at a time, beside a raw 133-byte echo through a pty pair.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cardsim/simulated_card.h"
#include "carvex/link/diag_link.h"
#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"

namespace {

using namespace std::chrono_literals;
constexpr int kScale = 1000;  // the link's 100 ms pause after a matched reply becomes 100 us

void BM_LinkRoundTrip(benchmark::State& state) {
    carvex::ScopedClock clock(std::make_shared<carvex::ScaledClock>(kScale));
    cardsim::SimulatedCard::Options options;
    options.profile = cardsim::LoadProfile(std::string(CARDWRIGHT_EXAMPLES_DIR) + "/card.profile");
    options.profile.qcdmg_ok = false;  // the link stays open across the switch: no text before DIAG
    cardsim::SimulatedCard card(std::move(options));
    carvex::DiagLink link(card.Root());
    if (!link.Open(card.PcUiPort(), 115200)) {
        state.SkipWithError("cannot open the simulated card");
        return;
    }
    const std::string diag_switch = "AT$QCDMG\r~";
    link.Send(true, {reinterpret_cast<const uint8_t*>(diag_switch.data()), diag_switch.size()});
    card.WaitForRequests(1, 5s);

    std::vector<uint8_t> request(132, 0);
    request[0] = 550 & 0xFF;  // the item number, little-endian, then 128 data bytes and status
    request[1] = 550 >> 8;
    const auto header = carvex::DiagRequestHeader::Command(0x26);
    std::vector<uint8_t> nv(132 - 2);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        link.SendRequest(header, std::span(request).subspan(0, 132));
        const bool ok = link.WaitResponse(header, nv, nullptr, 4000ms);
        const auto end = std::chrono::steady_clock::now();
        if (!ok) {
            state.SkipWithError("no reply");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        // The receiver's pause after a matched reply stays outside the measurement.
        std::this_thread::sleep_for(carvex::GetClock().Real(carvex::timing::kAfterMatchedPacket) *
                                    3);
    }
}

void BM_RawPtyRoundTrip(benchmark::State& state) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    for (int fd : {master, slave}) {
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    auto read_exactly = [](int fd, uint8_t* out, size_t n) {
        size_t got = 0;
        while (got < n) {
            const ssize_t r = ::read(fd, out + got, n - got);
            if (r <= 0) {
                return false;
            }
            got += static_cast<size_t>(r);
        }
        return true;
    };
    std::thread echo([&] {
        uint8_t buffer[136] = {};
        while (read_exactly(master, buffer, 133)) {
            if (::write(master, buffer, 136) != 136) {
                break;
            }
        }
    });
    uint8_t request[133] = {0x26};
    uint8_t reply[136];
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        (void)!::write(slave, request, sizeof request);
        read_exactly(slave, reply, sizeof reply);
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    ::close(slave);
    ::close(master);
    echo.join();
}

BENCHMARK(BM_RawPtyRoundTrip)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(50)
    ->ReportAggregatesOnly()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LinkRoundTrip)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(50)
    ->ReportAggregatesOnly()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
