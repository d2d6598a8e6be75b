// Resampling onto the even grid: the rate, the extent of the grid, which samples form the time
// base, and the two methods.
#include "export/motec/even_grid.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace corvel::motec {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(EvenGrid, RateIsTheMeanRateRoundedToWholeHertz) {
    // 16.5 ms apart on average (60.6 Hz), uneven in between.
    const std::vector<double> times{100.0, 100.012, 100.030, 100.048, 100.066};

    const auto grid = plan_even_grid(times);

    ASSERT_TRUE(grid.has_value()) << grid.error();
    EXPECT_NEAR(grid->mean_rate_hz, 4 / 0.066, 1e-9);
    EXPECT_EQ(grid->rate_hz, 61);
    EXPECT_EQ(grid->points, 5u);  // k / 61 for k = 0..4, the last at 0.0656 <= 0.066
    EXPECT_DOUBLE_EQ(grid->times_s.front(), 0.0);
}

TEST(EvenGrid, NeverRunsPastTheLastSample) {
    const std::vector<double> times{0.0, 0.5, 1.0, 1.5, 1.999};

    const auto grid = plan_even_grid(times);

    ASSERT_TRUE(grid.has_value());
    EXPECT_EQ(grid->rate_hz, 2);
    EXPECT_EQ(grid->points, 4u);  // 0, 0.5, 1.0, 1.5
}

TEST(EvenGrid, StretchesToAWantedEndJustPastTheLastSample) {
    const std::vector<double> times{0.0, 0.5, 1.0, 1.5, 1.999};

    const auto near = plan_even_grid(times, 2.2);
    const auto far = plan_even_grid(times, 2.6);

    ASSERT_TRUE(near.has_value());
    ASSERT_TRUE(far.has_value());
    EXPECT_EQ(near->points, 6u);  // up to 2.5 s, the first point at or past 2.2 s
    EXPECT_EQ(resample_linear(*near, std::vector<double>{0, 1, 2, 3, 4}).back(), 4.0);
    EXPECT_EQ(resample_hold(*near, std::vector<double>{0, 1, 2, 3, 4}).back(), 4.0);
    EXPECT_EQ(far->points, 4u);  // more than half a second past: not stretched
}

TEST(EvenGrid, DropsBackwardAndNonFiniteTimes) {
    const std::vector<double> times{kNaN, 10.0, 10.5, 10.2, INFINITY, 11.0};

    const auto grid = plan_even_grid(times);

    ASSERT_TRUE(grid.has_value());
    EXPECT_EQ(grid->kept, (std::vector<std::size_t>{1, 2, 5}));
    EXPECT_EQ(grid->times_s, (std::vector<double>{0.0, 0.5, 1.0}));
}

TEST(EvenGrid, NeedsTwoIncreasingTimes) {
    EXPECT_FALSE(plan_even_grid(std::vector<double>{}).has_value());
    EXPECT_FALSE(plan_even_grid(std::vector<double>{5.0}).has_value());
    EXPECT_FALSE(plan_even_grid(std::vector<double>{5.0, 5.0, kNaN, 4.0}).has_value());
    EXPECT_FALSE(plan_even_grid(std::vector<double>{5.0, 5.0, 5.0}).has_value());
}

TEST(EvenGrid, RateStaysWithinOneToOneThousandHertz) {
    const auto slow = plan_even_grid(std::vector<double>{0.0, 10.0, 20.0});
    const auto fast = plan_even_grid(std::vector<double>{0.0, 1e-6, 2e-6});

    ASSERT_TRUE(slow.has_value());
    ASSERT_TRUE(fast.has_value());
    EXPECT_EQ(slow->rate_hz, 1);
    EXPECT_EQ(slow->points, 21u);
    EXPECT_EQ(fast->rate_hz, kMaxGridRateHz);
    EXPECT_EQ(fast->points, 1u);
}

TEST(EvenGrid, RefusesAGridTooLongToExport) {
    std::vector<double> five_hours;
    for (int i = 0; i <= 5 * 3600 * 60; ++i) five_hours.push_back(i / 60.0);

    const auto grid = plan_even_grid(five_hours);
    const auto huge = plan_even_grid(std::vector<double>{-1e308, 1e308});

    EXPECT_FALSE(grid.has_value());
    EXPECT_FALSE(huge.has_value());
}

TEST(EvenGrid, RefusesSamplesTooSparseForTheirRate) {
    // Three samples over two hours: at 1 Hz the grid would hold 7201 points.
    const auto sparse = plan_even_grid(std::vector<double>{0.0, 1.0, 7200.0});

    ASSERT_FALSE(sparse.has_value());
    EXPECT_NE(sparse.error().find("too sparse"), std::string::npos) << sparse.error();
}

TEST(EvenGrid, LinearResamplingInterpolatesBetweenTheSurroundingSamples) {
    const auto grid = plan_even_grid(std::vector<double>{0.0, 0.3, 1.0, 2.0});
    ASSERT_TRUE(grid.has_value());
    ASSERT_EQ(grid->rate_hz, 2);
    const std::vector<double> values{0.0, 3.0, 10.0, 0.0};

    const std::vector<double> out = resample_linear(*grid, values);

    ASSERT_EQ(out.size(), 5u);  // 0, 0.5, 1.0, 1.5, 2.0
    EXPECT_DOUBLE_EQ(out[0], 0.0);
    EXPECT_DOUBLE_EQ(out[1], 3.0 + 7.0 * (0.2 / 0.7));
    EXPECT_DOUBLE_EQ(out[2], 10.0);
    EXPECT_DOUBLE_EQ(out[3], 5.0);
    EXPECT_DOUBLE_EQ(out[4], 0.0);
}

TEST(EvenGrid, HoldResamplingTakesTheLastSampleAtOrBeforeEachPoint) {
    const auto grid = plan_even_grid(std::vector<double>{0.0, 0.3, 1.0, 2.0});
    ASSERT_TRUE(grid.has_value());
    const std::vector<double> gears{2.0, 3.0, 4.0, 5.0};

    EXPECT_EQ(resample_hold(*grid, gears), (std::vector<double>{2.0, 3.0, 4.0, 4.0, 5.0}));
}

TEST(EvenGrid, NonFiniteValuesTakeThePreviousFiniteOne) {
    std::vector<double> values{kNaN, 1.0, kNaN, INFINITY, 4.0};
    std::vector<double> none{kNaN, kNaN};

    fill_non_finite(values);
    fill_non_finite(none);

    EXPECT_EQ(values, (std::vector<double>{1.0, 1.0, 1.0, 1.0, 4.0}));
    EXPECT_EQ(none, (std::vector<double>{0.0, 0.0}));
}

}  // namespace
}  // namespace corvel::motec
