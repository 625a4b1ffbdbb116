#include <gtest/gtest.h>

#include "tests/support/card_fixture.h"
#include "tests/support/run_program.h"

namespace {

// A program that opens the card and ends, or unloads the library, without closing it: it must
// end cleanly (under the sanitizers: without a report), with its receiving thread stopped and
// the port released.
class EndingWithTheConnectionOpen : public ::testing::TestWithParam<const char*> {};

TEST_P(EndingWithTheConnectionOpen, IsClean) {
    testsupport::CardUnderTest sim(testsupport::ExampleProfile());
    const auto device = sim.card->Root().ComDirectory() / "COM12";
    const auto result =
        testsupport::RunProgram(EXIT_CHILD, {GetParam(), CARVEX_SHARED_LIBRARY, device.string()},
                                {"CARVEX_ROOT=" + sim.card->Root().Path().string()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Unload, EndingWithTheConnectionOpen, ::testing::Values("exit", "dlclose"));

}  // namespace
