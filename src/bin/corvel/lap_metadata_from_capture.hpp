// Building the lap metadata document from what a capture knows: the session, the player's
// vehicle and the lap the recorder accepted. The document itself is part of the lap format.
#pragma once

#include <filesystem>

#include "corvel/clean_lap_recorder.hpp"
#include "lap_format/lap_metadata.hpp"
#include "sim_bridge/session_info.hpp"
#include "sim_bridge/vehicle_info.hpp"

namespace corvel {

// Fills the document from the session, the player's vehicle and the accepted lap.
// `telemetry_path` is the lap file's path; its file name goes into "fileName".
[[nodiscard]] LapMetadata make_lap_metadata(const sim_bridge::SessionInfo& session,
                                            const sim_bridge::VehicleInfo& vehicle, const CleanLap& lap,
                                            const std::filesystem::path& telemetry_path, UtcTime created_at);

}  // namespace corvel
