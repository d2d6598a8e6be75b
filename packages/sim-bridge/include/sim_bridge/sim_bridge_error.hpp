// The error value of every simulator adapter: a kind plus one owned message.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace sim_bridge {

class SimBridgeError {
public:
    // The order is also the numeric order of the kinds.
    enum class Kind : std::uint8_t {
        NotConnected,
        UnsupportedPlatform,
        FeatureUnavailable,
        ParseError,
        Timeout,
        AdapterUnavailable,
        SimulatorError,
        Internal,
        Other,
    };

    SimBridgeError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

    [[nodiscard]] Kind kind() const { return kind_; }
    [[nodiscard]] const std::string& message() const { return message_; }

    // "Not connected: LMU not connected"; kind Other shows the message alone.
    [[nodiscard]] std::string display() const;
    // NotConnected("LMU not connected")
    [[nodiscard]] std::string diagnostic() const;

    bool operator==(const SimBridgeError&) const = default;

private:
    Kind kind_;
    std::string message_;
};

[[nodiscard]] std::string_view kind_name(SimBridgeError::Kind kind);

template <class T>
using BridgeResult = std::expected<T, SimBridgeError>;

}  // namespace sim_bridge
