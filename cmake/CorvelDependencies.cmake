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
# Asio decides between aligned_alloc and operator new from whether a libstdc++ header came
# first; files that include it in different orders would pair aligned_alloc with operator
# delete (AddressSanitizer reports it). One choice for every file: plain operator new.
target_compile_definitions(corvel_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED ASIO_DISABLE_STD_ALIGNED_ALLOC)
target_link_libraries(corvel_asio INTERFACE Threads::Threads)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Asio's coroutine frames come from its own operator new and go back through its own
  # operator delete; once both are inlined, GCC 12 (seen with MinGW at -O2) takes the global
  # operator new inside for a mismatch with the class's operator delete.
  target_compile_options(corvel_asio INTERFACE -Wno-mismatched-new-delete)
endif()
if(WIN32)
  target_link_libraries(corvel_asio INTERFACE ws2_32 mswsock)
endif()

# nlohmann/json (header-only) reads the lap metadata documents in corvel-lap. In the MinGW
# build the host's CMake package is out of reach (and would point at /usr/include, where
# glibc's headers live), so its headers are copied into the build tree and used from there.
find_package(nlohmann_json 3 CONFIG QUIET)
if(TARGET nlohmann_json::nlohmann_json)
  add_library(corvel_json ALIAS nlohmann_json::nlohmann_json)
else()
  find_path(CORVEL_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include /usr/local/include
            NO_CMAKE_FIND_ROOT_PATH)
  if(CORVEL_NLOHMANN_JSON_DIR)
    set(corvel_json_include "${CMAKE_BINARY_DIR}/_deps/nlohmann_json/include")
    file(COPY "${CORVEL_NLOHMANN_JSON_DIR}/nlohmann" DESTINATION "${corvel_json_include}")
    add_library(corvel_json INTERFACE)
    target_include_directories(corvel_json SYSTEM INTERFACE "${corvel_json_include}")
  endif()
endif()
