// Simulator detection on canned process lists: reading tasklist output, lower-casing image
// names and matching them against the table of supported simulators.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim_bridge/detection_rules.hpp"
#include "sim_bridge/simulator_detection.hpp"

using sim_bridge::DetectedSimulator;
using sim_bridge::ProcessNames;
using sim_bridge::ProcessState;
using sim_bridge::SimulatorKind;

namespace {

// A probe that answers from a fixed set of mapping names and records what was asked.
struct FakeProbe {
    std::vector<std::string> present;
    std::vector<std::string>* asked;

    bool operator()(const std::string& name) const {
        asked->push_back(name);
        return std::find(present.begin(), present.end(), name) != present.end();
    }
};

std::vector<DetectedSimulator> detect(const ProcessNames& names, std::vector<std::string> present = {},
                                      std::vector<std::string>* asked = nullptr) {
    std::vector<std::string> ignored;
    return sim_bridge::detect_simulators_among(names, FakeProbe{std::move(present), asked ? asked : &ignored});
}

ProcessNames names_from_tasklist(std::string_view output) {
    const auto listed = sim_bridge::parse_tasklist_csv(output);
    return ProcessNames(listed.begin(), listed.end());
}

}  // namespace

TEST(ParseTasklistCsv, TakesTheUnquotedLowerCasedFirstFieldOfEachLine) {
    const std::string output =
        "\"System Idle Process\",\"0\",\"Services\",\"0\",\"8 K\"\r\n"
        "\"LMU.exe\",\"4242\",\"Console\",\"1\",\"2,104,512 K\"\r\n"
        "\"tasklist.exe\",\"77\",\"Console\",\"1\",\"9,100 K\"\r\n";
    EXPECT_EQ(sim_bridge::parse_tasklist_csv(output),
              (std::vector<std::string>{"system idle process", "lmu.exe", "tasklist.exe"}));
}

TEST(ParseTasklistCsv, KeepsALastLineWithoutLineBreakAndALineWithoutComma) {
    EXPECT_EQ(sim_bridge::parse_tasklist_csv("\"\"A.EXE\"\"\nNoComma\n\"b.exe\",\"1\""),
              (std::vector<std::string>{"a.exe", "nocomma", "b.exe"}));
}

TEST(ParseTasklistCsv, EmptyOutputHasNoLines) { EXPECT_TRUE(sim_bridge::parse_tasklist_csv("").empty()); }

TEST(LowerCaseText, LowersAsciiLatinGreekAndCyrillic) {
    EXPECT_EQ(sim_bridge::lower_case_text("AC2-Win64-Shipping.EXE"), "ac2-win64-shipping.exe");
    EXPECT_EQ(sim_bridge::lower_case_text("ÉCOLE ŁÓDŹ ŸÆ"), "école łódź ÿæ");
    EXPECT_EQ(sim_bridge::lower_case_text("ΆΛΦΑ ΟΔΟΣ.EXE"), "άλφα οδος.exe");
    EXPECT_EQ(sim_bridge::lower_case_text("МОСКВА Ёлка"), "москва ёлка");
}

TEST(LowerCaseText, UsesTheFinalSigmaOnlyAtTheEndOfAWord) {
    EXPECT_EQ(sim_bridge::lower_case_text("ΣΟΣ"), "σος");
    EXPECT_EQ(sim_bridge::lower_case_text("Σ"), "σ");
}

TEST(LowerCaseText, ReplacesEachInvalidSequenceWithOneReplacementCharacter) {
    EXPECT_EQ(sim_bridge::lower_case_text("A\xFF"
                                          "B"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(sim_bridge::lower_case_text("\xE2\x82X"), "\xEF\xBF\xBDx");  // truncated 3-byte sequence
    EXPECT_EQ(sim_bridge::lower_case_text("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
}

TEST(LowerCaseText, CapitalIWithDotBecomesTwoCodePoints) {
    EXPECT_EQ(sim_bridge::lower_case_text("İ"), "i\xCC\x87");
}

TEST(ImageNameFromProc, TakesTheLastComponentOfTheFirstCommandLineField) {
    using namespace std::string_literals;
    EXPECT_EQ(sim_bridge::image_name_from_proc("/usr/bin/sleep\0"s "30\0"s, "sleep\n"), "sleep");
    EXPECT_EQ(sim_bridge::image_name_from_proc("C:\\Games\\LMU\\LMU.exe\0"s, "LMU.exe\n"), "lmu.exe");
    EXPECT_EQ(sim_bridge::image_name_from_proc("Z:\\x/Le Mans Ultimate.exe"s, ""), "le mans ultimate.exe");
}

TEST(ImageNameFromProc, FallsBackToCommWithoutItsLineBreak) {
    EXPECT_EQ(sim_bridge::image_name_from_proc("", "kworker/0:1\n"), "kworker/0:1");
    using namespace std::string_literals;
    EXPECT_EQ(sim_bridge::image_name_from_proc("\0"s, "Zombie\n"), "zombie");
}

TEST(IsLmuImageName, AcceptsTheKnownNamesAndThePrefixRule) {
    for (const char* name : {"lmu.exe", "lmu64.exe", "lemansultimate.exe", "le mans ultimate.exe",
                             "le mans ultimate beta.exe", "le mans ultimatex.exe"}) {
        EXPECT_TRUE(sim_bridge::is_lmu_image_name(name)) << name;
    }
    for (const char* name : {"LMU.exe", "le mans ultimate", "le mans ultimate.ex", "helmut.exe", "lmu",
                             "xlmu.exe", ""}) {
        EXPECT_FALSE(sim_bridge::is_lmu_image_name(name)) << name;
    }
}

TEST(DetectSimulators, ReportsLmuUnderItsLowerCasedImageName) {
    const auto names = names_from_tasklist("\"LMU.exe\",\"4242\",\"Console\",\"1\",\"2,104,512 K\"\r\n");
    std::vector<std::string> asked;
    const auto found = detect(names, {"LMU_Data"}, &asked);
    EXPECT_EQ(found, (std::vector<DetectedSimulator>{{"lmu.exe", true, SimulatorKind::LMU}}));
    EXPECT_EQ(asked, (std::vector<std::string>{"LMU_Data"}));
}

TEST(DetectSimulators, ReportsLmuNotReadyWhenItsMappingIsMissing) {
    const auto found = detect({"lmu64.exe"});
    EXPECT_EQ(found, (std::vector<DetectedSimulator>{{"lmu64.exe", false, SimulatorKind::LMU}}));
}

TEST(DetectSimulators, RecognisesLeMansUltimateByItsPrefix) {
    const auto found = detect(names_from_tasklist("\"Le Mans Ultimate Beta.exe\",\"1\"\r\n"));
    EXPECT_EQ(found, (std::vector<DetectedSimulator>{{"le mans ultimate beta.exe", false, SimulatorKind::LMU}}));
}

TEST(DetectSimulators, ReportsLeMansUltimateExeWithAnEmptyName) {
    const auto found = detect({"lemansultimate.exe", "explorer.exe"}, {"LMU_Data"});
    EXPECT_EQ(found, (std::vector<DetectedSimulator>{{"", true, SimulatorKind::LMU}}));
}

TEST(DetectSimulators, ReportsEitherNameThatMentionsLmu) {
    const auto found = detect({"lmu.exe", "helmut.exe"});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].process_name == "lmu.exe" || found[0].process_name == "helmut.exe");
}

TEST(DetectSimulators, ReportsAssettoCorsaBeforeAcc) {
    const auto found = detect({"acc.exe", "acs.exe"}, {"Local\\acpmf_physics"});
    EXPECT_EQ(found, (std::vector<DetectedSimulator>{{"acs.exe", true, SimulatorKind::AssettoCorsa},
                                                     {"AC2-Win64-Shipping.exe", true, SimulatorKind::ACC}}));
}

TEST(DetectSimulators, ForzaIsAlwaysReadyAndRrreNeverWithoutAnyProbe) {
    std::vector<std::string> asked;
    const auto found = detect({"rrre.exe", "my forza horizon 6 launcher.exe"}, {}, &asked);
    EXPECT_EQ(found, (std::vector<DetectedSimulator>{{"ForzaHorizon6.exe", true, SimulatorKind::ForzaHorizon6},
                                                     {"RRRE64.exe", false, SimulatorKind::RRRE}}));
    EXPECT_TRUE(asked.empty());
}

TEST(DetectSimulators, AssettoCorsaEvoNeedsAllThreeMappingsAndStopsAtTheFirstMissing) {
    std::vector<std::string> asked;
    const auto found = detect({"assettocorsaevo.exe"}, {"Local\\acevo_pmf_physics", "Local\\acevo_pmf_static"}, &asked);
    EXPECT_EQ(found, (std::vector<DetectedSimulator>{{"AssettoCorsaEVO.exe", false, SimulatorKind::AssettoCorsaEVO}}));
    EXPECT_EQ(asked, (std::vector<std::string>{"Local\\acevo_pmf_physics", "Local\\acevo_pmf_graphics"}));
}

TEST(DetectSimulators, ReportsEverySimulatorOnceInTableOrder) {
    const ProcessNames names{"rrre64.exe",   "ams2.exe",          "lmu.exe",         "rfactor2.exe",
                             "acc.exe",      "forzahorizon6.exe", "assettocorsaevo.exe",
                             "assettocorsa.exe", "acs.exe",       "iracingsim.exe",  "iracingsim64dx12.exe"};
    std::vector<SimulatorKind> kinds;
    for (const auto& sim : detect(names)) kinds.push_back(sim.kind);
    EXPECT_EQ(kinds, (std::vector<SimulatorKind>{SimulatorKind::IRacing, SimulatorKind::AssettoCorsa,
                                                 SimulatorKind::AssettoCorsaEVO, SimulatorKind::ForzaHorizon6,
                                                 SimulatorKind::ACC, SimulatorKind::RFactor2, SimulatorKind::LMU,
                                                 SimulatorKind::AMS2, SimulatorKind::RRRE}));
}

TEST(DetectSimulators, ProbesTheMappingNamesExactlyAsWritten) {
    std::vector<std::string> asked;
    (void)detect({"iracingsim64dx11.exe", "rfactor2.exe", "ams2avx.exe"}, {}, &asked);
    EXPECT_EQ(asked, (std::vector<std::string>{"Local\\IRSDKMemMapFileName", "$rFactor2SMMP_Telemetry$",
                                               "$pcars2$"}));
}

TEST(DetectSimulators, AnEmptyListFindsNothing) { EXPECT_TRUE(detect({}).empty()); }

TEST(LmuStateInListing, FindsLmuAmongTheListedNames) {
    EXPECT_EQ(sim_bridge::lmu_state_in_listing(std::vector<std::string>{"explorer.exe", "lmu.exe"}),
              ProcessState::Running);
    EXPECT_EQ(sim_bridge::lmu_state_in_listing(std::vector<std::string>{"explorer.exe", "helmut.exe"}),
              ProcessState::NotRunning);
}

TEST(LmuStateInListing, ANameLessListingIsUnknownNotNotRunning) {
    EXPECT_EQ(sim_bridge::lmu_state_in_listing(std::nullopt), ProcessState::Unknown);
    EXPECT_EQ(sim_bridge::lmu_state_in_listing(std::vector<std::string>{}), ProcessState::Unknown);
    EXPECT_EQ(sim_bridge::lmu_state_in_listing(sim_bridge::parse_tasklist_csv("\r\n")), ProcessState::Unknown);
}
