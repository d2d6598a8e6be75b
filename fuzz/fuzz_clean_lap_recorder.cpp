// Fuzz target: the clean-lap recorder fed a stream of snapshots as hostile as the simulator's
// block allows (any lap numbers, times, fuel, incident counts, NaNs and infinities), and the
// accepted lap carried on into the lap file and the metadata document. Each input is a list
// of steps: a repeat count and one snapshot, so that laps of hundreds of samples are cheap.
// Must hold: no crash and no undefined behaviour; an accepted lap owns at least 300 samples,
// all carrying its 16-bit number; incident delta and fuel used are never negative; the lap
// file reads back; a failure is the recorder's one text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <variant>

#include "corvel/clean_lap_recorder.hpp"
#include "lap_format/lap_file_writer.hpp"
#include "corvel/lap_metadata_from_capture.hpp"
#include "lap_format/lap_file_reader.hpp"
#include "fuzz_support.hpp"

namespace {

using corvel::fuzz::require;

constexpr std::size_t kMaxSnapshots = 20'000;

class MemorySink final : public corvel::ByteSink {
  public:
    std::expected<std::size_t, corvel::IoError> write(std::span<const std::byte> bytes) override {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return bytes.size();
    }
    std::vector<std::byte> bytes_;
};

template <class F>
F any_float(FuzzedDataProvider& in) {
    using Bits = std::conditional_t<sizeof(F) == 4, std::uint32_t, std::uint64_t>;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return F{0};
        case 1:
            return static_cast<F>(in.ConsumeIntegralInRange<int>(-200, 2000)) / F{10};
        case 2:
            return in.ConsumeFloatingPoint<F>();
        default:
            return std::bit_cast<F>(in.ConsumeIntegral<Bits>());
    }
}

// Mostly small steps from the previous value, sometimes anything.
std::int32_t next_int(FuzzedDataProvider& in, std::int32_t previous) {
    if (in.ConsumeBool()) return in.ConsumeIntegral<std::int32_t>();
    const auto step = in.ConsumeIntegralInRange<std::int32_t>(-1, 2);
    return (step > 0 && previous > INT32_MAX - step) || (step < 0 && previous < INT32_MIN - step)
               ? previous
               : previous + step;
}

void check_clean_lap(const corvel::CleanLap& lap) {
    require(lap.samples.size() >= corvel::kMinCleanLapSamples, "an accepted lap has at least 300 samples");
    const std::uint16_t number = corvel::sample_lap_number(lap.lap);
    for (const auto& sample : lap.samples) require(sample.lap == number, "a lap owns only its own samples");
    require(lap.incident_delta >= 0, "the incident delta is never negative");
    require(!(lap.fuel_used_l < 0.0), "fuel used is never negative");

    MemorySink sink;
    require(corvel::write_lap_telemetry_to(sink, lap.samples).has_value(), "an accepted lap can be written");
    const auto read = corvel::decode_lap_telemetry(sink.bytes_);
    require(read && read->size() == lap.samples.size(), "the written lap reads back");

    const corvel::LapMetadata metadata =
        corvel::make_lap_metadata(sim_bridge::SessionInfo{}, sim_bridge::VehicleInfo{}, lap, "x.bin", {});
    const std::string document = corvel::format_lap_metadata(metadata);
    try {
        const auto json = nlohmann::json::parse(document);
        require(json.at("lapNumber").get<std::int64_t>() == lap.lap, "lapNumber is the lap's number");
        require(json.at("sampleCount").get<std::uint64_t>() == lap.samples.size(),
                "sampleCount is the count");
    } catch (const nlohmann::json::exception&) {
        require(false, "the metadata document parses as JSON");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    corvel::CleanLapRecorder recorder;
    sim_bridge::TelemetrySnapshot s;
    std::size_t fed = 0;
    while (in.remaining_bytes() > 0 && fed < kMaxSnapshots) {
        const auto repeat = in.ConsumeIntegralInRange<std::size_t>(1, 400);
        s.lap_number = next_int(in, s.lap_number);
        s.incident_count = next_int(in, s.incident_count);
        if (in.ConsumeBool()) {
            s.last_lap_time_s =
                in.ConsumeBool() ? std::nullopt : std::optional<double>(any_float<double>(in));
        }
        s.fuel_l = any_float<float>(in);
        s.lap_fraction = any_float<float>(in);
        s.speed_kmh = any_float<float>(in);
        s.current_lap_time_s = any_float<double>(in);
        s.throttle = any_float<float>(in);
        s.steering = any_float<float>(in);
        s.engine_rpm = any_float<float>(in);
        s.lateral_g = any_float<float>(in);
        s.path_lateral_m = any_float<float>(in);
        s.track_edge_m = any_float<float>(in);
        s.in_pits = in.ConsumeBool();
        s.in_pit_lane = s.in_pits || in.ConsumeBool();
        s.aux_counter =
            in.ConsumeBool() ? std::nullopt : std::optional<std::int64_t>(in.ConsumeIntegral<std::int64_t>());

        for (std::size_t i = 0; i < repeat && fed < kMaxSnapshots; ++i, ++fed) {
            const corvel::RecordOutcome outcome = recorder.record_snapshot(s);
            if (const auto* lap = std::get_if<corvel::CleanLap>(&outcome)) {
                check_clean_lap(*lap);
                return 0;
            }
            if (const auto* failure = std::get_if<corvel::RecorderFailure>(&outcome)) {
                require(failure->message.starts_with("Lap ") &&
                            failure->message.ends_with(" samples; aborting to avoid partial output"),
                        "a failure is the recorder's text");
                return 0;
            }
        }
    }
    return 0;
}
