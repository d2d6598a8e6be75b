// The truth log's JSON: exact numbers, escaped texts, invalid bytes replaced, one line each.
#include "truth_log.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace corvel::lmu_sim {
namespace {

TEST(JsonObject, KeepsKeyOrderAndWritesEachKind) {
    const auto text = JsonObject()
                          .add("event", "lap")
                          .add("lap", std::int64_t{3})
                          .add("lap_time_s", 90.123)
                          .add("invalid", false)
                          .add("best", std::optional<double>())
                          .add("nested", JsonObject().add("a", 1))
                          .str();
    EXPECT_EQ(text,
              R"({"event":"lap","lap":3,"lap_time_s":90.123,"invalid":false,"best":null,"nested":{"a":1}})");
}

TEST(JsonObject, NumbersRoundTripExactly) {
    const double value = 89.94600000000001;
    const auto text = JsonObject().add("t", value).str();
    EXPECT_EQ(std::stod(text.substr(5)), value);
    EXPECT_EQ(JsonObject().add("t", std::numeric_limits<double>::quiet_NaN()).str(), R"({"t":null})");
    EXPECT_EQ(JsonObject().add("t", -std::numeric_limits<double>::infinity()).str(), R"({"t":null})");
}

TEST(JsonString, EscapesAndReplacesInvalidBytes) {
    EXPECT_EQ(json_string("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(json_string("tab\there\x01"), R"("tab\u0009here\u0001")");
    EXPECT_EQ(json_string("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
    EXPECT_EQ(json_string("x\xFFy"), "\"x\xEF\xBF\xBDy\"");
    EXPECT_EQ(json_string("\xC3\x28"), "\"\xEF\xBF\xBD(\"");
    EXPECT_EQ(json_string("cut \xE2\x82"), "\"cut \xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(json_string("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");  // a surrogate
    EXPECT_EQ(json_string("\xC0\xA0"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");                  // an overlong space
    EXPECT_EQ(json_string("\x85"), "\"\xEF\xBF\xBD\"");  // a stray byte, not NEL
}

TEST(HexBytes, WritesEveryByte) {
    EXPECT_EQ(hex_bytes(std::string("A\0\xFF", 3)), "4100ff");
}

TEST(TruthLog, WritesOneLinePerObject) {
    const auto path = std::filesystem::temp_directory_path() / "lmu_sim_truth_log_test.jsonl";
    {
        auto log = TruthLog::open(path.string());
        ASSERT_TRUE(log) << log.error();
        log->write(JsonObject().add("event", "start"));
        log->write(JsonObject().add("event", "exit"));
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "{\"event\":\"start\"}\n{\"event\":\"exit\"}\n");
    in.close();
    std::filesystem::remove(path);
}

TEST(TruthLog, ReportsAFileThatCannotBeWritten) {
    const auto missing = std::filesystem::temp_directory_path() / "no-such-dir-lmu-sim" / "t.jsonl";
    const auto log = TruthLog::open(missing.string());
    ASSERT_FALSE(log);
    EXPECT_EQ(log.error(), "cannot write the truth log \"" + missing.string() + "\"");
}

}  // namespace
}  // namespace corvel::lmu_sim
