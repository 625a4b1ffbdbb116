#pragma once

#include <gtest/gtest.h>

#include "carvex/carvex.h"
#include "carvex/platform/clock.h"
#include "tests/support/card_fixture.h"

namespace testsupport {

// The exports of the library against a simulated card, on a faster clock. A test that expects an
// answer within a time-out keeps the time-outs at full length (Timeouts::kFull), so that a busy
// machine cannot make the card look silent; tests that wait for time-outs to run out take them
// scaled.
class ExportsTest : public ::testing::Test {
  protected:
    using Timeouts = carvex::ScaledClock::Timeouts;

    explicit ExportsTest(int scale = 20, Timeouts timeouts = Timeouts::kScaled)
        : scale_(scale), clock_(std::make_shared<carvex::ScaledClock>(scale, timeouts)) {}

    void SetUp() override { StartCard(ExampleProfile()); }

    void StartCard(cardsim::CardProfile profile) { plugged_.Plug(std::move(profile), scale_); }

    cardsim::SimulatedCard& card() { return plugged_.Card(); }

    void Open() {
        ASSERT_EQ(InitCommPort(), 1);
        card().ClearRequests();
    }

    std::vector<cardsim::ReceivedRequest> Requests(cardsim::Command command) {
        return plugged_.Requests(command);
    }

    int scale_;
    carvex::ScopedClock clock_;
    PluggedCard plugged_;
};

}  // namespace testsupport
