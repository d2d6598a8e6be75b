// The capture loop of corvel on a virtual clock: poll, convert the block as the adapter
// would, feed the recorder, write what it hands over. Each recorded sample's truth is kept
// beside the recorder's buffer and leaves it with the same lap.
#include "lap_generator/lap_generator.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <fstream>
#include <random>

#include "adapters/lmu/block_conversion.hpp"
#include "adapters/lmu/vehicle_name_map.hpp"
#include "corvel/capture_driver.hpp"
#include "corvel/lap_metadata_from_capture.hpp"
#include "lap_format/lap_file_writer.hpp"
#include "lap_generator/virtual_simulator.hpp"
#include "truth_log.hpp"
#include "sim_bridge/lmu/block_layout.hpp"

namespace corvel::lap_generator {
namespace {

// After its last line the recorder waits up to 121 polls (about 2 s) for the lap's time.
constexpr double kSettleAllowanceS = 3.0;

// The model's own truth about lap `number` (corners and the like), as one JSON value. This is
// the one place where it enters the truth document.
std::string model_lap_truth(lmu_sim::SessionScript& script, std::int64_t number) {
    return lmu_sim::lap_truth_json(script, number).str();
}

// Uniform numbers from the standard's fully specified engine, turned into doubles by hand:
// the library's distributions differ between standard libraries, the files must not.
class SeededRandom {
  public:
    explicit SeededRandom(std::uint64_t seed) : engine_(seed) {}
    double unit() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }  // [0, 1)
    double symmetric() { return 2.0 * unit() - 1.0; }                             // [-1, 1)

  private:
    std::mt19937_64 engine_;
};

std::optional<std::string> unsupported(const GeneratorOptions& o) {
    const auto& sim = o.sim;
    if (sim.stay_in_menus) return "the session never leaves the menus (--in-menus): there is no lap to record";
    if (sim.freeze_after_s) return "--freeze-after has no meaning on a virtual clock";
    if (sim.hold_lock_s) return "--hold-lock has no meaning on a virtual clock";
    if (sim.map_size != 0 && sim.map_size < sim_bridge::lmu::kBlockSize)
        return "--map-size below the block size: corvel would never connect";
    if (!(sim.telemetry_hz > 0.0) || !(sim.scoring_hz > 0.0)) return "the telemetry and scoring rates must be positive";
    if (!(o.poll_period_s >= 0.001 && o.poll_period_s <= 60.0))
        return "the poll period must be from 1 ms to 60 s";
    if (!(o.poll_jitter_s >= 0.0 && o.poll_jitter_s < o.poll_period_s))
        return "the poll jitter must be at least 0 and below the poll period";
    if (o.scoring_phase_s && !(*o.scoring_phase_s >= 0.0 && *o.scoring_phase_s < 1.0 / sim.scoring_hz))
        return "the scoring phase must be at least 0 and below one scoring period";
    if (!std::isfinite(o.join_after_line_s)) return "the join time must be a number of seconds";
    if (o.laps_to_keep && *o.laps_to_keep == 0) return "keep at least one lap";
    if (o.mode == RecorderMode::FirstCleanLap && o.laps_to_keep && *o.laps_to_keep != 1)
        return "corvel's mode keeps one lap; keeping more needs the stint mode";
    return std::nullopt;
}

UtcTime wall_clock_at(const GeneratorOptions& o, double simulation_s) {
    using Ticks = UtcTime::duration;
    const auto start = std::chrono::seconds(o.wall_clock_at_start);
    return UtcTime(std::chrono::duration_cast<Ticks>(start) +
                   std::chrono::duration_cast<Ticks>(std::chrono::duration<double>(simulation_s)));
}

std::uint64_t wall_seconds_at(const GeneratorOptions& o, double simulation_s) {
    const double seconds = std::floor(static_cast<double>(o.wall_clock_at_start) + simulation_s);
    return seconds > 0.0 ? static_cast<std::uint64_t>(seconds) : 0;
}

class Generation {
  public:
    Generation(const GeneratorOptions& options, double scoring_phase_s)
        : options_(options), sim_(options.sim, scoring_phase_s), recorder_(options.mode) {
        result_.scoring_phase_s = scoring_phase_s;
    }

    std::expected<GeneratedSession, std::string> run(SeededRandom& random);

  private:
    [[nodiscard]] std::expected<double, std::string> join_time();
    [[nodiscard]] std::expected<double, std::string> end_time(double join_s, std::int64_t join_lap);
    // corvel's session wait from `join_s`: when recording begins, with the session and the
    // player's vehicle as corvel takes them.
    [[nodiscard]] std::expected<double, std::string> wait_for_session(double join_s, double end_s);
    [[nodiscard]] SampleTruth sample_truth(double poll_s) const;
    // Feeds one poll; a value when the generation is over.
    [[nodiscard]] std::optional<std::expected<void, std::string>> poll(double poll_s);
    [[nodiscard]] std::expected<void, std::string> keep(CleanLap lap, std::vector<SampleTruth> truths,
                                                        double poll_s);
    [[nodiscard]] LapTruth lap_truth(std::int64_t lap, std::vector<SampleTruth> truths);
    [[nodiscard]] std::expected<void, std::string> write_files(const GeneratedLap& lap) const;
    [[nodiscard]] bool enough_laps() const;

    const GeneratorOptions& options_;
    VirtualSimulator sim_;
    CleanLapRecorder recorder_;
    sim_bridge::lmu::VehicleNameMap no_names_;
    std::deque<SampleTruth> buffered_;  // parallel to the recorder's sample buffer
    std::int64_t join_lap_ = 0;
    GeneratedSession result_;
};

std::expected<double, std::string> Generation::join_time() {
    auto& driver = sim_.script().player();
    const double on_track = *sim_.script().on_track_at_s();
    join_lap_ = options_.join_lap.value_or(driver.first_lap_number());
    // A car that appears part-way round: its first lap begins at the next line.
    if (!options_.join_lap && driver.lap(join_lap_).start_s < on_track - 1e-9) ++join_lap_;
    if (join_lap_ < driver.first_lap_number())
        return std::unexpected("the join lap must be the session's first lap (" +
                               std::to_string(driver.first_lap_number()) + ") or a later one");
    // Before the car is on track corvel simply waits for the session.
    return std::max(0.0, driver.lap(join_lap_).start_s + options_.join_after_line_s);
}

std::expected<double, std::string> Generation::wait_for_session(double join_s, double end_s) {
    const double pause = std::chrono::duration<double>(kSessionPollPause).count();
    for (double t = join_s; t <= end_s; t += pause) {
        sim_.advance_to(t);
        result_.session = sim_bridge::lmu::build_session_info(sim_.block());
        const auto snapshot = sim_bridge::lmu::convert_telemetry(sim_.block());
        if (!session_is_active(result_.session, &snapshot)) continue;
        if (const auto slot = sim_bridge::lmu::player_slot_id(sim_.block()))
            result_.vehicle = sim_bridge::lmu::build_vehicle_info(sim_.block(), *slot, no_names_);
        return t;
    }
    return std::unexpected("the session ended before the car was on track");
}

// The session's own end (--laps with exit, --exit-at-fraction, --duration), and in any case
// no later than the laps to keep need: one lap begun late and one out-lap may be dropped.
std::expected<double, std::string> Generation::end_time(double join_s, std::int64_t join_lap) {
    std::optional<double> end = sim_.script().exit_at_s();
    if (options_.sim.duration_s) end = std::min(end.value_or(*options_.sim.duration_s), *options_.sim.duration_s);
    const auto laps_wanted = options_.mode == RecorderMode::FirstCleanLap ? std::optional<std::size_t>(1)
                                                                          : options_.laps_to_keep;
    if (laps_wanted) {
        const auto last = join_lap + static_cast<std::int64_t>(*laps_wanted) + 2;
        const double enough = sim_.script().player().lap(last).end_s() + kSettleAllowanceS;
        end = std::min(end.value_or(enough), enough);
    }
    if (!end) return std::unexpected("nothing ends the session: give lmu-sim's --laps or --duration, or the laps to keep");
    if (*end <= join_s) return std::unexpected("the session ends before the capture joins");
    return *end;
}

SampleTruth Generation::sample_truth(double poll_s) const {
    const double origin = sim_.session_clock_origin_s();
    const PublishedTick& tick = sim_.telemetry();
    const PublishedScoring& scoring = sim_.scoring();
    SampleTruth truth;
    truth.poll_session_s = origin + poll_s;
    truth.tick = tick.index;
    truth.tick_session_s = origin + tick.time_s;
    truth.scoring_session_s = origin + scoring.moment_s;
    if (tick.player) {
        truth.tick_lap = tick.player->laps_completed + 1;
        truth.since_line_s = tick.time_s - tick.player->lap_start_s;
        truth.lap_distance_m = tick.player->lap_distance_m;
        truth.path_distance_m = tick.player->path_distance_m;
    }
    if (scoring.player) truth.scoring_lap_distance_m = scoring.player->lap_distance_m;
    return truth;
}

std::expected<GeneratedSession, std::string> Generation::run(SeededRandom& random) {
    const auto join = join_time();
    if (!join) return std::unexpected(join.error());
    const auto end = end_time(*join, join_lap_);
    if (!end) return std::unexpected(end.error());
    if (!options_.output_dir.empty()) {
        if (auto made = create_output_directory(options_.output_dir); !made)
            return std::unexpected("cannot create the output directory: " + made.error().display());
    }

    const auto recording = wait_for_session(*join, *end);
    if (!recording) return std::unexpected(recording.error());
    result_.joined_s = *recording;

    for (double t = *recording; t <= *end;
         t += options_.poll_period_s + options_.poll_jitter_s * random.symmetric()) {
        if (auto over = poll(t)) {
            if (!*over) return std::unexpected(over->error());
            return std::move(result_);
        }
    }
    if (result_.laps.empty()) return std::unexpected("the session ended before a clean lap was recorded");
    if (!enough_laps()) {
        return std::unexpected("the session ended after " + std::to_string(result_.laps.size()) + " of " +
                               std::to_string(*options_.laps_to_keep) + " laps to keep");
    }
    return std::move(result_);
}

bool Generation::enough_laps() const {
    return !options_.laps_to_keep || result_.laps.size() >= *options_.laps_to_keep;
}

std::optional<std::expected<void, std::string>> Generation::poll(double poll_s) {
    sim_.advance_to(poll_s);
    const auto snapshot = sim_bridge::lmu::convert_telemetry(sim_.block());
    const std::size_t before = recorder_.buffered_samples();
    buffered_.push_back(sample_truth(poll_s));
    RecordOutcome outcome = recorder_.record_snapshot(snapshot);
    ++result_.polls;
    // A settled lap always leaves from the front of the buffer: it holds that lap, then the
    // one being recorded.
    const std::size_t settled = before + 1 - recorder_.buffered_samples();
    std::vector<SampleTruth> truths(buffered_.begin(), buffered_.begin() + static_cast<std::ptrdiff_t>(settled));
    buffered_.erase(buffered_.begin(), buffered_.begin() + static_cast<std::ptrdiff_t>(settled));

    if (auto* failure = std::get_if<RecorderFailure>(&outcome)) return std::unexpected(failure->message);
    if (auto* short_lap = std::get_if<ShortCleanLap>(&outcome)) result_.short_laps.push_back(*short_lap);
    if (auto* lap = std::get_if<CleanLap>(&outcome)) {
        if (auto kept = keep(std::move(*lap), std::move(truths), poll_s); !kept) return kept;
        if (options_.mode == RecorderMode::FirstCleanLap || (options_.laps_to_keep && enough_laps()))
            return std::expected<void, std::string>{};
    }
    return std::nullopt;
}

LapTruth Generation::lap_truth(std::int64_t lap, std::vector<SampleTruth> truths) {
    const double origin = sim_.session_clock_origin_s();
    // The first sample always shows a tick of the lap itself: the lap number comes with it.
    const std::int64_t number = truths.empty() ? lap : truths.front().tick_lap;
    const lmu_sim::LapPlan plan = sim_.script().player().lap(number);
    LapTruth truth;
    truth.lap = lap;
    truth.start_line_session_s = origin + plan.start_s;
    truth.end_line_session_s = origin + plan.end_s();
    truth.official_lap_time_s = plan.published_time_s();
    truth.track_length_m = options_.sim.track_length_m;
    truth.out_lap = plan.out_lap;
    truth.invalid = plan.invalid;
    const auto& sim = options_.sim;
    truth.capture = {sim.telemetry_hz,           sim.scoring_hz,         lmu_sim::kScoringLagS,
                     result_.scoring_phase_s,    options_.poll_period_s, options_.poll_jitter_s,
                     options_.seed,              origin,                 origin + result_.joined_s};
    truth.model_json = model_lap_truth(sim_.script(), number);
    truth.samples = std::move(truths);
    return truth;
}

std::expected<void, std::string> Generation::keep(CleanLap lap, std::vector<SampleTruth> truths, double poll_s) {
    GeneratedLap out;
    out.paths = build_output_paths(options_.output_dir, options_.prefix, result_.session, result_.vehicle, lap.lap,
                                   wall_seconds_at(options_, poll_s));
    out.truth_path = out.paths.telemetry;
    out.truth_path.replace_extension(".truth.json");
    out.metadata = make_lap_metadata(result_.session, result_.vehicle, lap, out.paths.telemetry,
                                     wall_clock_at(options_, poll_s));
    out.truth = lap_truth(lap.lap, std::move(truths));
    out.lap = std::move(lap);
    if (!options_.output_dir.empty()) {
        if (auto written = write_files(out); !written) return written;
    }
    result_.laps.push_back(std::move(out));
    return {};
}

std::expected<void, std::string> Generation::write_files(const GeneratedLap& lap) const {
    if (auto written = write_lap_telemetry(lap.paths.telemetry, lap.lap.samples); !written)
        return std::unexpected("Failed to write " + file_name_text(lap.paths.telemetry) + ": " + written.error().display());
    if (auto written = write_lap_metadata(lap.paths.metadata, lap.metadata); !written)
        return std::unexpected(written.error());
    std::ofstream truth(lap.truth_path, std::ios::binary | std::ios::trunc);
    truth << format_lap_truth(lap.truth);
    truth.close();
    if (!truth) return std::unexpected("Failed to write " + file_name_text(lap.truth_path));
    return {};
}

}  // namespace

std::expected<GeneratedSession, std::string> generate_laps(const GeneratorOptions& options) {
    if (auto problem = unsupported(options)) return std::unexpected(*problem);
    SeededRandom random(options.seed);
    const double phase = options.scoring_phase_s.value_or(random.unit() / options.sim.scoring_hz);
    Generation generation(options, phase);
    return generation.run(random);
}

}  // namespace corvel::lap_generator
