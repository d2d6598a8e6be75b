// Labels of the session kinds.
#include "sim_bridge/session_info.hpp"

namespace sim_bridge {

std::string_view session_kind_label(SessionKind kind) {
    switch (kind) {
        case SessionKind::Practice:
        case SessionKind::OtherPractice: return "practice";
        case SessionKind::Qualify: return "qualify";
        case SessionKind::Race: return "race";
        case SessionKind::TimeTrial: return "time_trial";
        case SessionKind::Hotlap: return "hotlap";
        case SessionKind::OfflineTesting: return "offline_testing";
        case SessionKind::Warmup: return "warmup";
        case SessionKind::Unknown: break;
    }
    return "unknown";
}

}  // namespace sim_bridge
