// IoError: an input/output failure, either reported by the operating system (with its
// numeric code and text) or detected by our own write logic (a write that took nothing).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace corvel {

// A coarse classification that stays the same across platforms; shown in the diagnostic form.
enum class IoErrorKind : std::uint8_t {
    NotFound,
    PermissionDenied,
    AlreadyExists,
    WouldBlock,
    InvalidInput,
    InvalidData,
    TimedOut,
    WriteZero,
    Interrupted,
    Unsupported,
    UnexpectedEof,
    OutOfMemory,
    NotADirectory,
    IsADirectory,
    DirectoryNotEmpty,
    ReadOnlyFilesystem,
    StorageFull,
    FileTooLarge,
    InvalidFilename,
    ResourceBusy,
    Other,
    Uncategorized,
};

[[nodiscard]] std::string_view io_error_kind_name(IoErrorKind kind);

class IoError {
  public:
    // An error the operating system reported. `code` is either a native code
    // (std::system_category: errno on POSIX, GetLastError() on Windows) or an errno value
    // (std::generic_category, e.g. from the C runtime or std::filesystem).
    explicit IoError(std::error_code code);
    // An error of our own I/O logic, not of the operating system.
    IoError(IoErrorKind kind, std::string message);

    // The calling thread's last native error: errno on POSIX, GetLastError() on Windows.
    [[nodiscard]] static IoError last_os_error();

    [[nodiscard]] IoErrorKind kind() const { return kind_; }
    // The operating system's code; absent for errors of our own logic.
    [[nodiscard]] std::optional<std::error_code> os_code() const { return code_; }

    // OS error:  "No such file or directory (os error 2)"
    // own error: the message alone, "failed to write the buffered data"
    [[nodiscard]] std::string display() const;
    // OS error:  Os { code: 2, kind: NotFound, message: "No such file or directory" }
    // own error: Error { kind: WriteZero, message: "failed to write the buffered data" }
    // Messages are quoted with text::quoted_text. This form is stable: scripts and
    // tests match on it.
    [[nodiscard]] std::string diagnostic() const;

    bool operator==(const IoError&) const = default;

  private:
    std::optional<std::error_code> code_;
    IoErrorKind kind_;
    std::string message_;  // only for errors of our own logic
};

// The system's text for a native code (Windows texts lose their trailing ".\r\n"), and its
// kind. Implemented per platform.
[[nodiscard]] std::string native_error_text(int code);
[[nodiscard]] IoErrorKind native_error_kind(int code);

}  // namespace corvel
