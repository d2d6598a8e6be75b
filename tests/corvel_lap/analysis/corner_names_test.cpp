// Corner names files: what names which corner, and what is refused with which message.
#include "analysis/corner_names.hpp"

#include <gtest/gtest.h>

namespace corvel {
namespace {

CornerMap three_corners() {
    CornerMap map;
    for (int i = 1; i <= 3; ++i) {
        TrackCorner c;
        c.number = i;
        c.apex_m = 400.0 * i;
        map.corners.push_back(c);
    }
    return map;
}

TEST(CornerNames, NameByNumberOrNearestApexWithin50m) {
    const auto names = parse_corner_names(R"({"1": "La Source", "@845": "Eau Rouge", "@1300": "Nowhere", "3": "Pouhon", "@1210": "Lost"})");
    ASSERT_TRUE(names) << names.error();
    CornerMap map = three_corners();
    apply_corner_names(map, *names);
    EXPECT_EQ(map.corners[0].name, "La Source");
    EXPECT_EQ(map.corners[1].name, "Eau Rouge");  // apex 800, 45 m away
    EXPECT_EQ(map.corners[2].name, "Pouhon");     // a number wins over "@1210"
}

TEST(CornerNames, RefusesWhatIsNotANamesObject) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"{", "not valid JSON"},
        {"[1]", "expected a JSON object such as {\"1\": \"La Source\"}"},
        {R"({"1": 5})", "the name of \"1\" is not a string"},
        {R"({"0": "x"})", "\"0\" is neither a corner number (1, 2, ...) nor an apex distance (\"@402\")"},
        {R"({"T1": "x"})", "\"T1\" is neither a corner number (1, 2, ...) nor an apex distance (\"@402\")"},
        {R"({"@abc": "x"})", "\"@abc\" is not an apex distance in metres such as \"@402\""},
    };
    for (const auto& c : cases) {
        const auto names = parse_corner_names(c.text);
        ASSERT_FALSE(names) << c.text;
        EXPECT_EQ(names.error(), c.error);
    }
}

}  // namespace
}  // namespace corvel
