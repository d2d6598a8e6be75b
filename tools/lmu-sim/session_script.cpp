// The field: the player plus three cars of other classes, in a vehicle list where the player is
// not first, so that readers must search for it. The other cars run steady laps spread round the
// track.
#include "session_script.hpp"

#include <algorithm>

namespace corvel::lmu_sim {
namespace {

struct Opponent {
    std::uint32_t slot_id;
    const char* driver;
    const char* vehicle_name;
    const char* vehicle_class;
    const char* vehicle_file;
    const char* model_name;
    double pace;  // lap time relative to the player's
    double start_fraction;
    std::int8_t control;
};

constexpr Opponent kOpponents[] = {
    {1, "AI Driver One", "Synthetic Works #2", "Hypercar", "SYN_HY_02.VEH", "Synthetic LMH", 1.004, 0.35, 1},
    {2, "Remote Driver", "Privateer Prototypes #22", "LMP2", "PRV_LMP2_22.VEH", "Synthetic LMP2", 1.06, 0.62,
     2},
    {6, "AI Driver Three", "Grand Touring Squad #91", "LMGT3", "GTS_GT3_91.VEH", "Synthetic GT3", 1.12, 0.81,
     1},
};
constexpr std::uint32_t kPlayerSlot = 3;
constexpr std::size_t kPlayerPosition = 1;  // in the vehicle list

// The options were checked when parsed: a circuit that cannot be had now falls back to the ring.
Track track_for(const SimOptions& options) {
    auto circuit = selected_circuit(options);
    if (circuit && *circuit) return Track(**circuit);
    return Track(options.track_length_m);
}

SpeedProfile profile_for(const Track& track, const CarSpec& car) {
    return track.is_ring() ? SpeedProfile(track, car) : SpeedProfile(track, car, LapEdits{});
}

}  // namespace

double session_clock_origin(const SimOptions& options) {
    return 60.0 + options.lap_time_s;
}

SessionScript::SessionScript(const SimOptions& options)
    : options_(options),
      track_(track_for(options)),
      car_(track_.is_ring() ? CarSpec{} : selected_car(options)),
      profile_(profile_for(track_, car_)) {
    if (!track_.is_ring()) lap_driver_ = std::make_unique<LapDriver>(track_, car_, profile_, options.driver);
    const double appear = options.menu_secs;
    std::vector<Entrant> entrants;
    std::vector<DriverSetup> setups;
    for (const auto& o : kOpponents) {
        entrants.push_back({o.slot_id, o.driver, o.vehicle_name, o.vehicle_class, o.vehicle_file,
                            o.model_name, false, o.control});
        DriverSetup setup;
        setup.slot_id = o.slot_id;
        setup.lap_time_s = options.lap_time_s * o.pace;
        setup.vary_lap_times = false;
        setup.laps_before = std::max<std::int64_t>(0, effective_start_lap(options) - 1);
        setup.start_fraction = o.start_fraction;
        setup.appear_at_s = appear;
        setup.line_phase = o.pace * 10.0;
        setups.push_back(setup);
    }

    const auto& t = options.texts;
    Entrant player{kPlayerSlot,    t.driver,     t.vehicle_name, t.vehicle_class,
                   t.vehicle_file, t.model_name, true,           0};
    DriverSetup setup;
    setup.slot_id = kPlayerSlot;
    setup.lap_time_s = options.lap_time_s;
    setup.laps_before = effective_start_lap(options);
    setup.start_fraction = options.start_fraction;
    setup.out_lap = options.out_lap;
    setup.appear_at_s = appear;
    if (options.laps && options.after_laps == AfterLaps::Idle) setup.garage_after_laps = options.laps;
    setup.invalid_laps = options.invalid_laps;
    setup.fuel_l = options.fuel_l;
    setup.driver = lap_driver_.get();
    entrants.insert(entrants.begin() + kPlayerPosition, player);
    setups.insert(setups.begin() + kPlayerPosition, setup);
    player_index_ = kPlayerPosition;

    entrants_ = std::move(entrants);
    drivers_.reserve(setups.size());
    for (auto& s : setups) drivers_.emplace_back(track_, profile_, car_, std::move(s));
}

std::optional<double> SessionScript::on_track_at_s() const {
    if (options_.stay_in_menus) return std::nullopt;
    return options_.menu_secs;
}

WorldState SessionScript::at(double time_s) {
    WorldState world;
    world.time_s = time_s;
    const auto on_track = on_track_at_s();
    if (!on_track || time_s < *on_track) return world;
    world.on_track = true;
    for (auto& driver : drivers_) {
        if (auto state = driver.state_at(time_s)) world.cars.push_back(*state);
    }
    world.in_realtime =
        world.cars.size() > player_index_ && world.cars[player_index_].phase != CarPhase::Garage;
    return world;
}

std::optional<double> SessionScript::exit_at_s() {
    if (!on_track_at_s()) return std::nullopt;
    auto& me = player();
    const std::int64_t first = me.first_lap_number();
    if (options_.exit_at_fraction) {
        const double fraction = *options_.exit_at_fraction;
        std::int64_t number = first + options_.laps.value_or(0);
        if (number == first && fraction <= me.lap(first).joined_at_fraction) ++number;
        return me.lap(number).start_s + me.time_into_lap(number, fraction);
    }
    if (options_.laps && options_.after_laps == AfterLaps::Exit) {
        // Long enough for the scoring to publish the last lap's time, however slow its rate.
        const double grace = std::max(kExitGraceS, 2.0 / options_.scoring_hz + kScoringLagS);
        return me.lap(first + *options_.laps - 1).end_s() + grace;
    }
    return std::nullopt;
}

}  // namespace corvel::lmu_sim
