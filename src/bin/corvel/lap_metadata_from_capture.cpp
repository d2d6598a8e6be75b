// make_lap_metadata: the capture's session, vehicle and accepted lap as the metadata document.
#include "corvel/lap_metadata_from_capture.hpp"

namespace corvel {

LapMetadata make_lap_metadata(const sim_bridge::SessionInfo& session, const sim_bridge::VehicleInfo& vehicle,
                              const CleanLap& lap, const std::filesystem::path& telemetry_path,
                              UtcTime created_at) {
    LapMetadata m;
    m.track_name = session.track_name;
    m.track_id = session.track_raw_name;
    m.track_config = session.track_layout;
    m.track_length_m = session.track_length_m;
    m.car_name = vehicle.car_name;
    m.car_id = vehicle.car_id;
    m.car_class = vehicle.car_class;
    m.driver_name = vehicle.driver_name;
    m.session_type = std::string(sim_bridge::session_kind_label(session.session_kind));
    m.session_id = session.session_id;
    m.lap_number = lap.lap;
    m.lap_time_seconds = lap.lap_time_s;
    m.sample_count = lap.samples.size();
    m.file_name = file_name_text(telemetry_path);
    m.created_at = created_at;
    m.start_track_pct = lap.start_track_pct;
    m.started_mid_lap = lap.started_mid_lap;
    m.fuel_at_start_liters = lap.fuel_start_l;
    m.fuel_at_end_liters = static_cast<double>(lap.fuel_end_l);
    m.fuel_used_liters = lap.fuel_used_l;
    m.incident_delta = lap.incident_delta;
    return m;
}

}  // namespace corvel
