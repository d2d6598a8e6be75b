// The dead-holder rule's bookkeeping on a clock the test moves: only consecutive timeouts
// spanning the whole period, without an acquisition between them, allow one clear.
#include "adapters/lmu/dead_holder_evidence.hpp"

#include <gtest/gtest.h>

#include "manual_clock.hpp"

namespace {

using namespace std::chrono_literals;

class DeadHolderRule : public ::testing::Test {
  protected:
    corvel_test::ManualClock clock_;
    sim_bridge::lmu::DeadHolderEvidence evidence_{1000ms, clock_.function()};
};

TEST_F(DeadHolderRule, TimeoutsSpanningLessThanThePeriodAllowNoClear) {
    EXPECT_FALSE(evidence_.claim_clear_after_timeout());
    clock_.advance(500ms);
    EXPECT_FALSE(evidence_.claim_clear_after_timeout());
    clock_.advance(499ms);
    EXPECT_FALSE(evidence_.claim_clear_after_timeout());
}

TEST_F(DeadHolderRule, TimeoutsSpanningThePeriodAllowOneClearThenTheSpanStartsAfresh) {
    ASSERT_FALSE(evidence_.claim_clear_after_timeout());
    clock_.advance(1000ms);

    EXPECT_TRUE(evidence_.claim_clear_after_timeout());
    // A second party timing out now, or a new holder that dies at once, needs a period of its own.
    EXPECT_FALSE(evidence_.claim_clear_after_timeout());
    clock_.advance(999ms);
    EXPECT_FALSE(evidence_.claim_clear_after_timeout());
    clock_.advance(1ms);
    EXPECT_TRUE(evidence_.claim_clear_after_timeout());
}

TEST_F(DeadHolderRule, AnAcquisitionBetweenTimeoutsRestartsTheSpan) {
    // A live party that holds the lock 900 ms, lets go briefly, and holds it again.
    ASSERT_FALSE(evidence_.claim_clear_after_timeout());
    clock_.advance(800ms);
    ASSERT_FALSE(evidence_.claim_clear_after_timeout());
    clock_.advance(100ms);
    evidence_.acquired();
    clock_.advance(100ms);

    EXPECT_FALSE(evidence_.claim_clear_after_timeout());
    clock_.advance(900ms);
    EXPECT_FALSE(evidence_.claim_clear_after_timeout());
    clock_.advance(100ms);
    EXPECT_TRUE(evidence_.claim_clear_after_timeout());
}

TEST_F(DeadHolderRule, TheSpanRunsOnThroughLongGapsBetweenAttempts) {
    // Connect rounds 2 s apart, each one timed-out first copy.
    ASSERT_FALSE(evidence_.claim_clear_after_timeout());
    clock_.advance(2000ms);

    EXPECT_TRUE(evidence_.claim_clear_after_timeout());
}

TEST_F(DeadHolderRule, CountsOnlyTheClearsMade) {
    ASSERT_FALSE(evidence_.claim_clear_after_timeout());
    clock_.advance(1000ms);
    ASSERT_TRUE(evidence_.claim_clear_after_timeout());
    EXPECT_EQ(evidence_.clears(), 0u);  // claimed, then the holder let go: no clear

    evidence_.cleared();

    EXPECT_EQ(evidence_.clears(), 1u);
}

}  // namespace
