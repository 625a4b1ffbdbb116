#pragma once

#include <gtest/gtest.h>

#include "carvex/carvex.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/environment.h"
#include "tests/support/card_fixture.h"

namespace testsupport {

// The exports of the library against a simulated card, on a clock fifty times faster.
class ExportsTest : public ::testing::Test {
  protected:
    static constexpr int kScale = 50;

    void SetUp() override { StartCard(ExampleProfile()); }

    void StartCard(cardsim::CardProfile profile) {
        CloseCommPort();
        sim_.reset();
        sim_ = std::make_unique<CardUnderTest>(std::move(profile), kScale);
        carvex::SetEnvironmentValue("CARVEX_ROOT", card().Root().Path().string());
    }
    void TearDown() override {
        CloseCommPort();
        carvex::RemoveEnvironmentValue("CARVEX_ROOT");
    }

    cardsim::SimulatedCard& card() { return *sim_->card; }

    void Open() {
        ASSERT_EQ(InitCommPort(), 1);
        card().ClearRequests();
    }

    std::vector<cardsim::ReceivedRequest> Requests(cardsim::Command command) {
        std::vector<cardsim::ReceivedRequest> found;
        for (const auto& r : card().Requests()) {
            if (r.command == command) {
                found.push_back(r);
            }
        }
        return found;
    }

    carvex::ScopedClock clock_{std::make_shared<carvex::ScaledClock>(kScale)};
    std::unique_ptr<CardUnderTest> sim_;
};

}  // namespace testsupport
