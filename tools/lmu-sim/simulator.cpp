// The real-time loop. Each telemetry tick writes the telemetry list; every scoring period the
// header and vehicle list are written too, from a moment kScoringLagS older. Each tick's block
// is published under the lock and signalled. Lap reports follow the published scoring, so the
// truth log holds exactly the lap times a reader could see.
#include "simulator.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>
#include <thread>

#include "block_writer.hpp"
#include "process_setup.hpp"
#include "publisher.hpp"
#include "session_script.hpp"
#include "sim_bridge/simulator_detection.hpp"
#include "sim_options.hpp"
#include "truth_log.hpp"

namespace corvel::lmu_sim {
namespace {

using Clock = std::chrono::steady_clock;

std::string fixed(double value, int decimals) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

bool counts_as_lmu(const std::string& process_name) {
    std::string lower = process_name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return sim_bridge::is_lmu_image_name(lower);
}

class Run {
  public:
    Run(const SimOptions& options, std::string_view process_name, TruthLog& truth)
        : options_(options),
          process_name_(process_name),
          truth_(truth),
          script_(options),
          writer_(options, script_) {
        reported_laps_ = script_.player().first_lap_number() - 1;
        exit_at_ = script_.exit_at_s();
    }

    int execute();

  private:
    void say(const std::string& line) const {
        if (!options_.quiet) std::cout << "lmu-sim: " << line << std::endl;
    }
    // Writes the moment into the block image; report_published() tells about it once the
    // image is published.
    void write_tick(double time_s, bool scoring_due);
    void report_published();
    void log_tick();
    [[nodiscard]] double scoring_moment(double time_s) const;
    void report_laps(const WorldState& scoring);
    [[nodiscard]] std::optional<std::string> stop_reason(double t) const;
    // Applies --freeze-after and --hold-lock; false while they forbid writing.
    [[nodiscard]] bool faults_allow_writing(double t, Publisher& publisher);
    void publish_tick(double t, Publisher& publisher);
    void log_start(const Publisher& publisher);
    void log_texts();

    const SimOptions& options_;
    std::string process_name_;
    TruthLog& truth_;
    SessionScript script_;
    BlockWriter writer_;
    BlockImage image_;
    std::int64_t reported_laps_ = 0;
    std::int64_t laps_driven_ = 0;
    bool announced_on_track_ = false;
    std::optional<WorldState> scoring_;  // the scoring moment written by the last tick, if any
    bool now_on_track_ = false;
    std::optional<CarState> now_player_;
    double now_time_s_ = 0.0;
    bool warned_lock_ = false;
    std::optional<double> exit_at_;
    double next_scoring_s_ = 0.0;
    bool frozen_ = false;
    bool holding_ = false;
    bool held_once_ = false;
    double release_at_ = 0.0;
};

double Run::scoring_moment(double time_s) const {
    // Not before the car appeared: the first scoring on track already shows it.
    const auto on_track = script_.on_track_at_s();
    double moment = time_s - kScoringLagS;
    if (on_track && time_s >= *on_track) moment = std::max(moment, *on_track);
    return moment;
}

void Run::write_tick(double time_s, bool scoring_due) {
    const WorldState now = script_.at(time_s);
    if (scoring_due) {
        scoring_ = script_.at(scoring_moment(time_s));
        writer_.write_scoring(image_, *scoring_);
    }
    writer_.write_telemetry(image_, now);
    now_on_track_ = now.on_track;
    now_time_s_ = time_s;
    const auto player = script_.player_index();
    now_player_ = player < now.cars.size() ? std::optional<CarState>(now.cars[player]) : std::nullopt;
}

// Every telemetry tick's true time and place, so a test can tell each recorded sample's.
void Run::log_tick() {
    if (!truth_.enabled() || !now_player_) return;
    const CarState& car = *now_player_;
    truth_.write(JsonObject()
                     .add("event", "tick")
                     .add("time_s", now_time_s_)
                     .add("session_time_s", session_clock_origin(options_) + now_time_s_)
                     .add("lap", car.laps_completed + 1)
                     .add("since_line_s", now_time_s_ - car.lap_start_s)
                     .add("lap_distance_m", car.lap_distance_m)
                     .add("path_distance_m", car.path_distance_m)
                     .add("speed_mps", car.speed_mps));
}

void Run::report_published() {
    if (now_on_track_ && !announced_on_track_) {
        announced_on_track_ = true;
        const auto& lap = script_.player().lap(script_.player().first_lap_number());
        say("on track: lap " + std::to_string(lap.number) + " at " +
            fixed(lap.joined_at_fraction * 100.0, 1) + " %" + (lap.out_lap ? ", in the pit box" : ""));
        truth_.write(JsonObject().add("event", "on_track").add("time_s", now_time_s_));
    }
    if (scoring_) report_laps(*scoring_);
    scoring_.reset();
}

void Run::report_laps(const WorldState& scoring) {
    const auto player = script_.player_index();
    if (player >= scoring.cars.size()) return;
    const std::int64_t completed = scoring.cars[player].laps_completed;
    while (reported_laps_ < completed) {
        const LapPlan lap = script_.player().lap(++reported_laps_);
        ++laps_driven_;
        const auto time = lap.published_time_s();
        std::string line = "lap " + std::to_string(lap.number) + ": ";
        line += time ? fixed(*time, 3) + " s" : std::string("out-lap, no time");
        if (lap.invalid) line += " (invalidated)";
        say(line);
        JsonObject entry;
        entry.add("event", "lap")
            .add("lap", lap.number)
            .add("sim_lap_number", static_cast<std::int64_t>(wrap_lap_number(lap.number - 1)))
            .add("lap_time_s", time)
            .add("out_lap", lap.out_lap)
            .add("invalid", lap.invalid)
            .add("joined_at_fraction", lap.joined_at_fraction)
            .add("started_s", lap.start_s)
            .add("ended_s", lap.end_s())
            .add("published_s", scoring.time_s + kScoringLagS)
            .add("best_lap_time_s", lap.best_after_s);
        truth_.write(entry);
        truth_.write(JsonObject().add("event", "lap_truth").add_all(lap_truth_json(script_, lap.number)));
    }
}

void Run::log_start(const Publisher& publisher) {
    const auto& names = publisher.names();
    truth_.write(JsonObject()
                     .add("event", "start")
                     .add("process_name", process_name_)
                     .add("objects", JsonObject()
                                         .add("data", names.data)
                                         .add("data_event", names.data_event)
                                         .add("lock_data", names.lock_data)
                                         .add("lock_event", names.lock_event))
                     .add("map_size", static_cast<std::int64_t>(publisher.map_size()))
                     .add("telemetry_hz", options_.telemetry_hz)
                     .add("scoring_hz", options_.scoring_hz)
                     .add("scoring_lag_s", kScoringLagS)
                     .add("track", options_.track)
                     .add("car", options_.track == "ring" ? std::string("ring car") : options_.car)
                     .add("seed", static_cast<std::int64_t>(options_.driver.seed))
                     .add("variation", options_.driver.vary)
                     .add("track_length_m", options_.track_length_m)
                     .add("path_length_m", script_.track().length_m())
                     .add("lap_time_s", options_.lap_time_s)
                     .add("start_lap", effective_start_lap(options_))
                     .add("start_fraction", options_.start_fraction)
                     .add("out_lap", options_.out_lap)
                     .add("session_clock_origin_s", session_clock_origin(options_))
                     .add("exit_at_s", script_.exit_at_s()));
    log_texts();
}

void Run::log_texts() {
    const auto texts = published_texts(options_, script_.entrants());
    const auto& mine = texts.entries[script_.player_index()];
    JsonObject entry;
    entry.add("event", "texts")
        .add("track", texts.track)
        .add("session", options_.session_number)
        .add("driver", mine.driver)
        .add("vehicle_name", mine.vehicle_name)
        .add("vehicle_class", mine.vehicle_class)
        .add("vehicle_file", mine.vehicle_file)
        .add("model_name", mine.model_name)
        .add("player_slot_id", static_cast<std::int64_t>(script_.entrants()[script_.player_index()].slot_id))
        .add("game_version", options_.game_version)
        .add("track_length_m", options_.track_length_m);
    if (options_.hostile.texts) {
        entry.add("hex", JsonObject()
                             .add("track", hex_bytes(texts.track))
                             .add("driver", hex_bytes(mine.driver))
                             .add("vehicle_name", hex_bytes(mine.vehicle_name))
                             .add("vehicle_class", hex_bytes(mine.vehicle_class))
                             .add("vehicle_file", hex_bytes(mine.vehicle_file))
                             .add("model_name", hex_bytes(mine.model_name)));
    }
    truth_.write(entry);
}

std::optional<std::string> Run::stop_reason(double t) const {
    if (stop_requested()) return "stop requested";
    if (options_.duration_s && t >= *options_.duration_s) return "duration reached";
    if (exit_at_ && t >= *exit_at_) return options_.exit_at_fraction ? "exit fraction reached" : "laps done";
    return std::nullopt;
}

bool Run::faults_allow_writing(double t, Publisher& publisher) {
    if (options_.freeze_after_s && t >= *options_.freeze_after_s && !frozen_) {
        frozen_ = true;
        say("data frozen at " + fixed(t, 2) + " s; still running");
        truth_.write(JsonObject().add("event", "frozen").add("time_s", t));
    }
    if (options_.hold_lock_s && !held_once_) {
        held_once_ = holding_ = true;
        const double hold = *options_.hold_lock_s;
        release_at_ = hold > 0.0 ? t + hold : std::numeric_limits<double>::infinity();
        publisher.hold_lock();
        say("holding the lock" + (hold > 0.0 ? " for " + fixed(hold, 1) + " s" : std::string(" until exit")));
        truth_.write(JsonObject().add("event", "lock_held").add("time_s", t));
    }
    if (holding_ && t >= release_at_) {
        holding_ = false;
        publisher.release_held_lock();
        say("lock released");
        truth_.write(JsonObject().add("event", "lock_released").add("time_s", t));
    }
    return !frozen_ && !holding_;
}

void Run::publish_tick(double t, Publisher& publisher) {
    const bool scoring_due = t + 1e-9 >= next_scoring_s_;
    while (next_scoring_s_ <= t + 1e-9) next_scoring_s_ += 1.0 / options_.scoring_hz;
    write_tick(t, scoring_due);
    if (!publisher.publish(image_.bytes()) && !warned_lock_) {
        warned_lock_ = true;
        say("the lock was held by another party for over " + std::to_string(kLockPatience.count()) +
            " ms; took it over");
    }
    log_tick();
    report_published();
}

int Run::execute() {
    // Before any object exists, so that a stop request always finds them to remove.
    install_stop_handlers();
    write_tick(0.0, true);
    next_scoring_s_ = 1.0 / options_.scoring_hz;
    const auto names = object_names(options_.name_prefix, options_.name_suffix);
    auto publisher = Publisher::start(names, options_.map_size, image_.bytes());
    if (!publisher) {
        std::cerr << "lmu-sim: error: " << publisher.error() << std::endl;
        return 1;
    }
    use_fine_timer();
    say("publishing " + names.data + " (" + std::to_string(publisher->map_size()) + " bytes) as process " +
        process_name_ + (counts_as_lmu(process_name_) ? "" : " (not counted as LMU by detection)") + ": \"" +
        options_.texts.track + "\", " + fixed(options_.track_length_m, 0) + " m, laps of about " +
        fixed(options_.lap_time_s, 3) + " s; telemetry " + fixed(options_.telemetry_hz, 0) + " Hz, scoring " +
        fixed(options_.scoring_hz, 1) + " Hz");
    log_start(*publisher);
    report_published();

    const double period = 1.0 / options_.telemetry_hz;
    const auto start = Clock::now();
    std::optional<std::string> reason;
    double t = 0.0;
    for (std::int64_t tick = 1; !reason; ++tick) {
        const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(static_cast<double>(tick) * period));
        std::this_thread::sleep_until(due);
        // After a stall (a suspended process, an overloaded machine) time jumps ahead, as in LMU.
        if (Clock::now() - due > std::chrono::seconds(1)) {
            tick = static_cast<std::int64_t>(std::chrono::duration<double>(Clock::now() - start).count() /
                                             period);
        }
        t = static_cast<double>(tick) * period;
        reason = stop_reason(t);
        if (!reason && faults_allow_writing(t, *publisher)) publish_tick(t, *publisher);
    }

    if (holding_) publisher->release_held_lock();
    if (!options_.keep_objects) publisher->remove_objects();
    truth_.write(
        JsonObject().add("event", "exit").add("reason", *reason).add("laps", laps_driven_).add("time_s", t));
    say("stopped (" + *reason + ") after " + std::to_string(laps_driven_) + " laps; objects " +
        (options_.keep_objects ? "left in place" : "removed"));
    return 0;
}

// Corners on the published lap-distance axis, as the model's lap drives them.
int list_corners(const SimOptions& options) {
    SessionScript script(options);
    const LapDriver* driver = script.lap_driver();
    if (!driver) {
        std::cerr << "lmu-sim: error: --list-corners needs a real circuit (--track spa, monza, sakhir or "
                     "--track-file)"
                  << std::endl;
        return 1;
    }
    const Track& track = script.track();
    std::cout << options.texts.track << ": " << fixed(track.lap_length_m(), 1) << " m, model lap "
              << fixed(script.profile().lap_time_s(), 3) << " s\n";
    std::cout << "corner  apex (m)  min speed at (m)  min speed (km/h)\n";
    for (const auto& c : driver->corners()) {
        char line[128];
        std::snprintf(line, sizeof line, "T%-5d %9.1f %17.1f %17.1f\n", c.number, track.at(c.apex_m).lap_distance_m,
                      track.at(c.min_speed_m).lap_distance_m, c.min_speed_mps * 3.6);
        std::cout << line;
    }
    return 0;
}

}  // namespace

int lmu_sim_main(std::span<const std::string> args, std::string_view process_name) {
    auto options = parse_options(args);
    if (!options) {
        std::cerr << "lmu-sim: error: " << options.error() << std::endl;
        return 1;
    }
    if (options->help) {
        std::cout << usage_text();
        return 0;
    }
    if (options->list_corners) return list_corners(*options);
    TruthLog truth;
    if (options->truth_path) {
        auto opened = TruthLog::open(*options->truth_path);
        if (!opened) {
            std::cerr << "lmu-sim: error: " << opened.error() << std::endl;
            return 1;
        }
        truth = std::move(*opened);
    }
    Run run(*options, process_name, truth);
    return run.execute();
}

}  // namespace corvel::lmu_sim
