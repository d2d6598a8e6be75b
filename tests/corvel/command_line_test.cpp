// parse_args: defaults, values, and every error text users can see.
#include "corvel/command_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel {
namespace {

const std::filesystem::path kCwd = path_from_utf8("/work/here");

std::expected<std::filesystem::path, std::string> fixed_cwd() {
    return kCwd;
}

std::expected<ParsedCommand, std::string> parse(std::vector<std::string> args) {
    return parse_args(args, fixed_cwd);
}

CaptureOptions options_of(std::vector<std::string> args) {
    auto parsed = parse(std::move(args));
    EXPECT_TRUE(parsed.has_value()) << parsed.error();
    if (!parsed) return {};
    EXPECT_TRUE(std::holds_alternative<CaptureOptions>(*parsed));
    return std::get<CaptureOptions>(*parsed);
}

std::string error_of(std::vector<std::string> args) {
    auto parsed = parse(std::move(args));
    EXPECT_FALSE(parsed.has_value());
    return parsed ? std::string() : parsed.error();
}

bool is_help(std::vector<std::string> args) {
    auto parsed = parse(std::move(args));
    return parsed && std::holds_alternative<HelpRequested>(*parsed);
}

TEST(ParseArgs, NoArgumentsGiveTheDefaults) {
    const CaptureOptions options = options_of({});
    EXPECT_EQ(options.output_dir, kCwd / "temp_debug" / "lmu-captures");
    EXPECT_EQ(options.prefix, "lmu-clean-lap");
    EXPECT_EQ(options.poll_ms, 16u);
    EXPECT_FALSE(options.max_wait_secs.has_value());
}

TEST(ParseArgs, TakesEveryOptionsValue) {
    const CaptureOptions options = options_of(
        {"--output-dir", "out/laps", "--prefix", "mine", "--poll-ms", "+25", "--max-wait-secs", "30"});
    EXPECT_EQ(options.output_dir, path_from_utf8("out/laps"));
    EXPECT_EQ(options.prefix, "mine");
    EXPECT_EQ(options.poll_ms, 25u);
    EXPECT_EQ(options.max_wait_secs, 30u);
}

TEST(ParseArgs, ValueIsAlwaysTheNextArgument) {
    const CaptureOptions options = options_of({"--prefix", "--poll-ms"});
    EXPECT_EQ(options.prefix, "--poll-ms");
    EXPECT_EQ(options.poll_ms, 16u);
}

TEST(ParseArgs, LastValueWins) {
    EXPECT_EQ(options_of({"--prefix", "a", "--prefix", "b"}).prefix, "b");
}

TEST(ParseArgs, EmptyPrefixIsAccepted) {
    EXPECT_EQ(options_of({"--prefix", ""}).prefix, "");
}

TEST(ParseArgs, OutputDirKeepsUtf8Text) {
    const CaptureOptions options = options_of({"--output-dir", "Rundenzeit \xC3\xA4"});
    // Compared as char8_t text: the path must not depend on the ANSI code page.
    EXPECT_TRUE(options.output_dir.u8string() == u8"Rundenzeit \u00e4");
}

TEST(ParseArgs, LargestValueIsAccepted) {
    EXPECT_EQ(options_of({"--poll-ms", "18446744073709551615"}).poll_ms, 18446744073709551615u);
}

TEST(ParseArgs, RejectsBadNumbersWithTheReason) {
    EXPECT_EQ(error_of({"--poll-ms", "abc"}), "Invalid --poll-ms value 'abc': invalid digit found in string");
    EXPECT_EQ(error_of({"--poll-ms", "-5"}), "Invalid --poll-ms value '-5': invalid digit found in string");
    EXPECT_EQ(error_of({"--poll-ms", "+"}), "Invalid --poll-ms value '+': invalid digit found in string");
    EXPECT_EQ(error_of({"--poll-ms", "-"}), "Invalid --poll-ms value '-': invalid digit found in string");
    EXPECT_EQ(error_of({"--poll-ms", " 5"}), "Invalid --poll-ms value ' 5': invalid digit found in string");
    EXPECT_EQ(error_of({"--poll-ms", "++5"}), "Invalid --poll-ms value '++5': invalid digit found in string");
    EXPECT_EQ(error_of({"--poll-ms", ""}),
              "Invalid --poll-ms value '': cannot parse integer from empty string");
    EXPECT_EQ(error_of({"--max-wait-secs", "18446744073709551616"}),
              "Invalid --max-wait-secs value '18446744073709551616': number too large to fit in target type");
}

TEST(ParseArgs, RejectsZero) {
    EXPECT_EQ(error_of({"--poll-ms", "0"}), "--poll-ms must be greater than 0");
    EXPECT_EQ(error_of({"--max-wait-secs", "+0"}), "--max-wait-secs must be greater than 0");
}

TEST(ParseArgs, ReportsAMissingValueByTheOptionsName) {
    EXPECT_EQ(error_of({"--output-dir"}), "Missing value for --output-dir");
    EXPECT_EQ(error_of({"--prefix"}), "Missing value for --prefix");
    EXPECT_EQ(error_of({"--poll-ms"}), "Missing value for --poll-ms");
    EXPECT_EQ(error_of({"--poll-ms", "5", "--max-wait-secs"}), "Missing value for --max-wait-secs");
}

TEST(ParseArgs, RejectsUnknownArguments) {
    EXPECT_EQ(error_of({"--verbose"}), "Unknown argument: --verbose");
    EXPECT_EQ(error_of({"-H"}), "Unknown argument: -H");
    EXPECT_EQ(error_of({"-help"}), "Unknown argument: -help");
    EXPECT_EQ(error_of({"--"}), "Unknown argument: --");
    EXPECT_EQ(error_of({"--prefix=x"}), "Unknown argument: --prefix=x");
}

TEST(ParseArgs, StopsAtTheFirstProblemOrHelp) {
    EXPECT_EQ(error_of({"--bogus", "--help"}), "Unknown argument: --bogus");
    EXPECT_EQ(error_of({"--poll-ms", "0", "--bogus"}), "--poll-ms must be greater than 0");
    EXPECT_TRUE(is_help({"--help", "--bogus"}));
    EXPECT_TRUE(is_help({"--prefix", "x", "-h"}));
}

TEST(ParseArgs, WorkingDirectoryFailureComesFirst) {
    const CwdProvider broken = [] {
        return std::expected<std::filesystem::path, std::string>(
            std::unexpected("No such file or directory (os error 2)"));
    };
    const std::vector<std::string> args{"--help"};
    auto parsed = parse_args(args, broken);
    ASSERT_FALSE(parsed.has_value());
    EXPECT_EQ(parsed.error(), "Failed to resolve cwd: No such file or directory (os error 2)");
}

TEST(UsageText, IsExact) {
    EXPECT_EQ(usage_text(),
              "Capture one full clean LMU lap as raw VKTF telemetry.\n\n"
              "  Usage: corvel -- [options]\n\n"
              "  Options:\n"
              "  --output-dir <path>     Directory to write the lap and metadata\n"
              "  --prefix <name>         Output filename prefix (default: lmu-clean-lap)\n"
              "  --poll-ms <ms>          Telemetry poll interval in milliseconds (default: 16)\n"
              "  --max-wait-secs <sec>   Stop waiting after N seconds\n\n");
}

}  // namespace
}  // namespace corvel
