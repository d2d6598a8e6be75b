// Display and diagnostic forms of SimBridgeError.
#include "sim_bridge/sim_bridge_error.hpp"

#include "text/quoted_text.hpp"

namespace sim_bridge {
namespace {

std::string_view display_prefix(SimBridgeError::Kind kind) {
    using K = SimBridgeError::Kind;
    switch (kind) {
        case K::NotConnected: return "Not connected: ";
        case K::UnsupportedPlatform: return "Unsupported platform: ";
        case K::FeatureUnavailable: return "Feature unavailable: ";
        case K::ParseError: return "Parse error: ";
        case K::Timeout: return "Timeout: ";
        case K::AdapterUnavailable: return "Adapter unavailable: ";
        case K::SimulatorError: return "Simulator error: ";
        case K::Internal: return "Internal error: ";
        case K::Other: return "";
    }
    return "";
}

}  // namespace

std::string_view kind_name(SimBridgeError::Kind kind) {
    using K = SimBridgeError::Kind;
    switch (kind) {
        case K::NotConnected: return "NotConnected";
        case K::UnsupportedPlatform: return "UnsupportedPlatform";
        case K::FeatureUnavailable: return "FeatureUnavailable";
        case K::ParseError: return "ParseError";
        case K::Timeout: return "Timeout";
        case K::AdapterUnavailable: return "AdapterUnavailable";
        case K::SimulatorError: return "SimulatorError";
        case K::Internal: return "Internal";
        case K::Other: return "Other";
    }
    return "Other";
}

std::string SimBridgeError::display() const {
    return std::string(display_prefix(kind_)) + message_;
}

std::string SimBridgeError::diagnostic() const {
    return std::string(kind_name(kind_)) + "(" + text::quoted_text(message_) + ")";
}

}  // namespace sim_bridge
