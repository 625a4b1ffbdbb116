#pragma once

#include <gtest/gtest.h>

#include "carvex/carvex.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/environment.h"
#include "tests/support/card_fixture.h"

namespace testsupport {

// The exports of the library against a simulated card, on a faster clock. Tests whose outcome
// hangs on a time-out running out while the card answers other requests take a slower scale, so
// a busy machine cannot make the card look silent.
class ExportsTest : public ::testing::Test {
  protected:
    explicit ExportsTest(int scale = 20) : scale_(scale) {}

    void SetUp() override { StartCard(ExampleProfile()); }

    void StartCard(cardsim::CardProfile profile) {
        CloseCommPort();
        sim_.reset();
        sim_ = std::make_unique<CardUnderTest>(std::move(profile), scale_);
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

    int scale_;
    carvex::ScopedClock clock_{std::make_shared<carvex::ScaledClock>(scale_)};
    std::unique_ptr<CardUnderTest> sim_;
};

}  // namespace testsupport
