// The pieces of simulator detection that do not touch the system: reading a process
// listing, lower-casing image names, and matching a set of names against the table of
// supported simulators. detect_simulators() is these pieces fed by the real process list.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "sim_bridge/simulator_detection.hpp"

namespace sim_bridge {

using ProcessNames = std::unordered_set<std::string>;
// Answers whether a named shared-memory mapping exists; the name is used exactly as given.
using SharedMemoryProbe = std::function<bool(const std::string& name)>;

// Decodes `text` as UTF-8 (each invalid sequence becomes U+FFFD) and lower-cases it.
// Covers ASCII, Latin-1, Latin Extended-A/B, Greek (with final sigma) and Cyrillic; other
// scripts are left as they are.
[[nodiscard]] std::string lower_case_text(std::string_view text);

// The lower-cased image names of `tasklist /FO CSV /NH` output, one per line, in order:
// the text before the first comma with its leading and trailing quote characters removed.
[[nodiscard]] std::vector<std::string> parse_tasklist_csv(std::string_view output);

// The lower-cased image name of a Linux process: the last path component (split at "/" and
// "\") of the first NUL-terminated field of /proc/<pid>/cmdline, or `comm` without its line
// break when that field is empty.
[[nodiscard]] std::string image_name_from_proc(std::string_view cmdline, std::string_view comm);

// The table's simulators found among `names`, in the table's order, each probed through
// `probe`. The LMU entry's name is any member that mentions "le mans" or "lmu".
[[nodiscard]] std::vector<DetectedSimulator> detect_simulators_among(const ProcessNames& names,
                                                                     const SharedMemoryProbe& probe);

// Whether LMU is among the listed names; Unknown when there is no usable listing.
[[nodiscard]] ProcessState lmu_state_in_listing(const std::optional<std::vector<std::string>>& listing);

// The lower-cased image names of all running processes; empty when they cannot be listed.
[[nodiscard]] ProcessNames list_running_processes();

// True when the named shared-memory mapping can be opened for reading right now. On Linux
// the name is looked up as the POSIX shared-memory object "/" + name.
[[nodiscard]] bool probe_shared_memory(const std::string& name);

}  // namespace sim_bridge
