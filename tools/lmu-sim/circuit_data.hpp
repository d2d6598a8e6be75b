// The racetrack-database CSVs, built into the program (generated from third_party/ at build
// time by cmake/embed_files.cmake).
#pragma once

#include <string_view>

namespace corvel::lmu_sim::circuit_data {

std::string_view spa_centre();
std::string_view spa_raceline();
std::string_view monza_centre();
std::string_view monza_raceline();
std::string_view sakhir_centre();
std::string_view sakhir_raceline();

}  // namespace corvel::lmu_sim::circuit_data
