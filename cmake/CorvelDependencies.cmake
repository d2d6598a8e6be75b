# Third-party libraries. On Linux they come from Debian's packages; the MinGW build finds
# zstd and GoogleTest in the prefix that scripts/build-mingw-deps fills (CMAKE_PREFIX_PATH).
find_package(Threads REQUIRED)

find_package(zstd CONFIG QUIET)
if(TARGET zstd::libzstd_static AND (WIN32 OR NOT TARGET zstd::libzstd_shared))
  add_library(corvel_zstd ALIAS zstd::libzstd_static)
elseif(TARGET zstd::libzstd_shared)
  add_library(corvel_zstd ALIAS zstd::libzstd_shared)
else()
  # Debian's libzstd-dev ships a pkg-config file; fall back to it.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(ZSTD REQUIRED IMPORTED_TARGET libzstd)
  add_library(corvel_zstd ALIAS PkgConfig::ZSTD)
endif()

# Standalone Asio is header-only.
find_path(ASIO_INCLUDE_DIR asio.hpp REQUIRED)
add_library(corvel_asio INTERFACE)
target_include_directories(corvel_asio SYSTEM INTERFACE ${ASIO_INCLUDE_DIR})
target_compile_definitions(corvel_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED)
target_link_libraries(corvel_asio INTERFACE Threads::Threads)
if(WIN32)
  target_link_libraries(corvel_asio INTERFACE ws2_32 mswsock)
endif()
