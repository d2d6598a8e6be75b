// Display and diagnostic forms of IoError and AppError.
#include "lap_format/io_error.hpp"

#include <gtest/gtest.h>

#include <cerrno>

#include "lap_format/app_error.hpp"

namespace corvel {
namespace {

TEST(IoError, ErrnoCodeShowsSystemTextAndNumber) {
    const IoError error(std::error_code(ENOENT, std::generic_category()));
    EXPECT_EQ(error.kind(), IoErrorKind::NotFound);
    EXPECT_EQ(error.display(), "No such file or directory (os error " + std::to_string(ENOENT) + ")");
    EXPECT_EQ(error.diagnostic(), "Os { code: " + std::to_string(ENOENT) +
                                      ", kind: NotFound, message: \"No such file or directory\" }");
}

TEST(IoError, NativeCodeKeepsItsNumberAndHasTextWithoutTrailingPeriod) {
    const IoError error(std::error_code(2, std::system_category()));  // "not found" on POSIX and Windows
    EXPECT_EQ(error.kind(), IoErrorKind::NotFound);
    const std::string display = error.display();
    EXPECT_TRUE(display.ends_with(" (os error 2)")) << display;
    EXPECT_FALSE(display.starts_with(" ")) << display;
    EXPECT_EQ(display.find(". (os error"), std::string::npos) << display;
    EXPECT_EQ(display.find('\r'), std::string::npos) << display;
    EXPECT_TRUE(error.diagnostic().starts_with("Os { code: 2, kind: NotFound, message: \""))
        << error.diagnostic();
}

TEST(IoError, OwnErrorShowsItsMessage) {
    const IoError error(IoErrorKind::WriteZero, "failed to write the buffered data");
    EXPECT_FALSE(error.os_code().has_value());
    EXPECT_EQ(error.display(), "failed to write the buffered data");
    EXPECT_EQ(error.diagnostic(),
              "Error { kind: WriteZero, message: \"failed to write the buffered data\" }");
}

TEST(AppError, IoKindWrapsTheIoErrorForms) {
    const AppError error = AppError::io(IoError(IoErrorKind::WriteZero, "failed to write the buffered data"));
    EXPECT_EQ(error.kind(), AppError::Kind::Io);
    EXPECT_EQ(error.display(), "IO error: failed to write the buffered data");
    EXPECT_EQ(error.diagnostic(),
              "Io(Error { kind: WriteZero, message: \"failed to write the buffered data\" })");
}

TEST(AppError, InvalidDataQuotesTheMessage) {
    const AppError error = AppError::invalid_data("Failed to compress samples: \"bad\"\n");
    EXPECT_EQ(error.kind(), AppError::Kind::InvalidData);
    EXPECT_EQ(error.display(), "Invalid data: Failed to compress samples: \"bad\"\n");
    EXPECT_EQ(error.diagnostic(), "InvalidData(\"Failed to compress samples: \\\"bad\\\"\\n\")");
}

}  // namespace
}  // namespace corvel
