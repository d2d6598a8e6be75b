// Simulator detection: the table of supported simulators, how their image names are
// recognised in a process list, and how their shared memory is probed.
#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "provider/process_list.hpp"
#include "sim_bridge/detection_rules.hpp"
#include "sim_bridge/simulator_detection.hpp"

namespace sim_bridge {
namespace {

using namespace std::string_view_literals;

// How a simulator's shared memory counts as ready.
enum class Readiness : std::uint8_t {
    Probe,   // every mapping listed opens, tested in order, stopping at the first that fails
    Always,  // nothing to probe
    Never,   // nothing to probe
};

// Besides the exact names, ForzaHorizon6 also matches by substring and LMU by its own rule.
enum class NameRule : std::uint8_t { Exact, ExactOrForzaSubstring, LmuImage };

struct SimulatorEntry {
    SimulatorKind kind;
    std::span<const std::string_view> image_names;
    NameRule rule;
    std::string_view reported_name;  // LMU reports a listed name instead
    Readiness readiness;
    std::span<const std::string_view> mappings;
};

constexpr std::array kIRacingNames{"iracingsim64dx11.exe"sv, "iracingsim64dx12.exe"sv, "iracingsim.exe"sv};
constexpr std::array kIRacingMaps{"Local\\IRSDKMemMapFileName"sv};
constexpr std::array kAcNames{"acs.exe"sv, "assettocorsa.exe"sv};
constexpr std::array kAcMaps{"Local\\acpmf_physics"sv};
constexpr std::array kAcEvoNames{"assettocorsaevo.exe"sv};
constexpr std::array kAcEvoMaps{"Local\\acevo_pmf_physics"sv, "Local\\acevo_pmf_graphics"sv,
                                 "Local\\acevo_pmf_static"sv};
constexpr std::array kForzaNames{"forzahorizon6.exe"sv};
constexpr std::array kAccNames{"ac2-win64-shipping.exe"sv, "acc.exe"sv};
constexpr std::array kRf2Names{"rfactor2.exe"sv};
constexpr std::array kRf2Maps{"$rFactor2SMMP_Telemetry$"sv};
constexpr std::array kLmuMaps{"LMU_Data"sv};
constexpr std::array kAms2Names{"ams2avx.exe"sv, "ams2.exe"sv};
constexpr std::array kAms2Maps{"$pcars2$"sv};
constexpr std::array kRrreNames{"rrre64.exe"sv, "rrre.exe"sv};

// In the order in which simulators are tested and reported.
constexpr std::array<SimulatorEntry, 9> kSimulators{{
    {SimulatorKind::IRacing, kIRacingNames, NameRule::Exact, "iRacingSim64DX11.exe", Readiness::Probe,
     kIRacingMaps},
    {SimulatorKind::AssettoCorsa, kAcNames, NameRule::Exact, "acs.exe", Readiness::Probe, kAcMaps},
    {SimulatorKind::AssettoCorsaEVO, kAcEvoNames, NameRule::Exact, "AssettoCorsaEVO.exe", Readiness::Probe,
     kAcEvoMaps},
    {SimulatorKind::ForzaHorizon6, kForzaNames, NameRule::ExactOrForzaSubstring, "ForzaHorizon6.exe",
     Readiness::Always, {}},
    {SimulatorKind::ACC, kAccNames, NameRule::Exact, "AC2-Win64-Shipping.exe", Readiness::Probe, kAcMaps},
    {SimulatorKind::RFactor2, kRf2Names, NameRule::Exact, "rFactor2.exe", Readiness::Probe, kRf2Maps},
    {SimulatorKind::LMU, {}, NameRule::LmuImage, "", Readiness::Probe, kLmuMaps},
    {SimulatorKind::AMS2, kAms2Names, NameRule::Exact, "AMS2AVX.exe", Readiness::Probe, kAms2Maps},
    {SimulatorKind::RRRE, kRrreNames, NameRule::Exact, "RRRE64.exe", Readiness::Never, {}},
}};

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool any_member(const ProcessNames& names, auto&& predicate) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return predicate(n); });
}

bool is_listed(const SimulatorEntry& sim, const ProcessNames& names) {
    for (std::string_view image : sim.image_names) {
        if (names.contains(std::string(image))) return true;
    }
    switch (sim.rule) {
        case NameRule::Exact: return false;
        case NameRule::ExactOrForzaSubstring:
            return any_member(names, [](std::string_view n) { return contains(n, "forza horizon 6"); });
        case NameRule::LmuImage: return any_member(names, [](std::string_view n) { return is_lmu_image_name(n); });
    }
    return false;
}

// A second scan, independent of the one that recognised LMU: the name shown to the user need
// not be the image that matched (lemansultimate.exe alone gives an empty name).
std::string lmu_reported_name(const ProcessNames& names) {
    const auto it = std::find_if(names.begin(), names.end(), [](std::string_view n) {
        return contains(n, "le mans") || contains(n, "lmu");
    });
    return it == names.end() ? std::string() : *it;
}

bool is_ready(const SimulatorEntry& sim, const SharedMemoryProbe& probe) {
    switch (sim.readiness) {
        case Readiness::Always: return true;
        case Readiness::Never: return false;
        case Readiness::Probe:
            return std::all_of(sim.mappings.begin(), sim.mappings.end(),
                               [&](std::string_view name) { return probe(std::string(name)); });
    }
    return false;
}

// A real listing always holds at least the listing command itself (or, on Linux, this very
// process). One without a single name means the list could not really be taken: Wine's
// tasklist and that of some Proton builds print nothing at all. Reading that as "LMU is not
// running" made the watchdog drop a connection whose game was merely paused.
std::optional<std::vector<std::string>> usable(std::optional<std::vector<std::string>> listing) {
    if (!listing) return std::nullopt;
    const bool has_name = std::any_of(listing->begin(), listing->end(), [](const std::string& n) { return !n.empty(); });
    if (!has_name) return std::nullopt;
    return listing;
}

// Splits at line feeds; a carriage return before a line feed belongs to the line break.
// A final line without a line break still counts; the empty text has no lines.
template <class Fn>
void for_each_line(std::string_view text, Fn&& fn) {
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (lf != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
        fn(line);
        if (lf == std::string_view::npos) break;
        text.remove_prefix(lf + 1);
    }
}

}  // namespace

bool is_lmu_image_name(std::string_view name) {
    if (name == "lmu.exe" || name == "lmu64.exe") return true;
    if (name == "lemansultimate.exe" || name == "le mans ultimate.exe") return true;
    return name.size() >= 16 && name.starts_with("le mans ultimate") && name.ends_with(".exe");
}

std::vector<std::string> parse_tasklist_csv(std::string_view output) {
    std::vector<std::string> names;
    for_each_line(output, [&](std::string_view line) {
        std::string_view field = line.substr(0, line.find(','));
        while (field.starts_with('"')) field.remove_prefix(1);
        while (field.ends_with('"')) field.remove_suffix(1);
        names.push_back(lower_case_text(field));
    });
    return names;
}

std::string image_name_from_proc(std::string_view cmdline, std::string_view comm) {
    std::string_view image = cmdline.substr(0, cmdline.find('\0'));
    image = image.substr(image.find_last_of("/\\") + 1);  // npos + 1 == 0: no separator
    if (image.empty()) {
        image = comm;
        if (image.ends_with('\n')) image.remove_suffix(1);
    }
    return lower_case_text(image);
}

std::vector<DetectedSimulator> detect_simulators_among(const ProcessNames& names, const SharedMemoryProbe& probe) {
    std::vector<DetectedSimulator> found;
    for (const SimulatorEntry& sim : kSimulators) {
        if (!is_listed(sim, names)) continue;
        std::string reported =
            sim.kind == SimulatorKind::LMU ? lmu_reported_name(names) : std::string(sim.reported_name);
        found.push_back({std::move(reported), is_ready(sim, probe), sim.kind});
    }
    return found;
}

ProcessState lmu_state_in_listing(const std::optional<std::vector<std::string>>& listing) {
    const auto names = usable(listing);
    if (!names) return ProcessState::Unknown;
    const bool running = std::any_of(names->begin(), names->end(), [](const std::string& n) { return is_lmu_image_name(n); });
    return running ? ProcessState::Running : ProcessState::NotRunning;
}

ProcessNames list_running_processes() {
    const auto listing = usable(provider::take_process_listing());
    if (!listing) return {};
    return ProcessNames(listing->begin(), listing->end());
}

bool probe_shared_memory(const std::string& name) { return provider::shared_memory_exists(name); }

std::vector<DetectedSimulator> detect_simulators() {
    return detect_simulators_among(list_running_processes(), probe_shared_memory);
}

ProcessState is_lmu_process_running() { return lmu_state_in_listing(provider::take_process_listing()); }

}  // namespace sim_bridge
