// AppError: the error value of the lap file writer: an I/O failure or data that could not
// be encoded or compressed.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "lap_format/io_error.hpp"

namespace corvel {

class AppError {
  public:
    enum class Kind : std::uint8_t { Io, InvalidData };

    [[nodiscard]] static AppError io(IoError error) { return AppError(std::move(error)); }
    [[nodiscard]] static AppError invalid_data(std::string message) { return AppError(std::move(message)); }

    [[nodiscard]] Kind kind() const { return payload_.index() == 0 ? Kind::Io : Kind::InvalidData; }
    // Present only for Kind::Io / Kind::InvalidData respectively.
    [[nodiscard]] const IoError* io_error() const { return std::get_if<IoError>(&payload_); }
    [[nodiscard]] const std::string* message() const { return std::get_if<std::string>(&payload_); }

    // "IO error: <IoError display>" or "Invalid data: <message>"
    [[nodiscard]] std::string display() const;
    // Io(<IoError diagnostic>) or InvalidData("<message, quoted>")
    [[nodiscard]] std::string diagnostic() const;

    bool operator==(const AppError&) const = default;

  private:
    explicit AppError(IoError error) : payload_(std::move(error)) {}
    explicit AppError(std::string message) : payload_(std::move(message)) {}

    std::variant<IoError, std::string> payload_;
};

}  // namespace corvel
