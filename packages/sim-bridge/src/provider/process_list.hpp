// The two operating-system services that simulator detection needs: the image names of
// the running processes and a test for a named shared-memory mapping. One file per OS.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sim_bridge::provider {

// The lower-cased image names of the running processes, in the order the system lists them;
// nullopt when the list cannot be taken. On Windows this is `tasklist /FO CSV /NH` run
// without a console window; on Linux a walk of /proc. The caller judges an empty listing.
[[nodiscard]] std::optional<std::vector<std::string>> take_process_listing();

// Opens the named mapping for reading and closes it again at once; true when that worked.
[[nodiscard]] bool shared_memory_exists(const std::string& name);

}  // namespace sim_bridge::provider
