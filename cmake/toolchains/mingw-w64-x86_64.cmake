# Cross-builds corvel for 64-bit Windows with Debian's MinGW-w64 g++ (posix thread model, for
# std::thread) and runs the .exe files under Wine. Third-party libraries come only from
# Debian's MinGW sysroot and the prefix that scripts/build-mingw-deps fills; never the host's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CORVEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVEL_MINGW_TRIPLE}-windres)
# CMake cannot derive the binutils prefix from the "-posix" compiler names.
set(CMAKE_AR ${CORVEL_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${CORVEL_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${CORVEL_MINGW_TRIPLE}-objdump CACHE FILEPATH "")
set(CMAKE_STRIP ${CORVEL_MINGW_TRIPLE}-strip CACHE FILEPATH "")

# The prefix with MinGW builds of zstd and GoogleTest (and a link to the host's header-only
# Asio). try_compile projects need it as well.
if(NOT CORVEL_MINGW_DEPS_PREFIX AND DEFINED ENV{CORVEL_MINGW_DEPS_PREFIX})
  set(CORVEL_MINGW_DEPS_PREFIX "$ENV{CORVEL_MINGW_DEPS_PREFIX}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVEL_MINGW_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVEL_MINGW_TRIPLE})
if(CORVEL_MINGW_DEPS_PREFIX)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${CORVEL_MINGW_DEPS_PREFIX}")
  list(PREPEND CMAKE_PREFIX_PATH "${CORVEL_MINGW_DEPS_PREFIX}")
endif()
# Programs run on the build machine; headers, libraries and packages must be Windows ones.
# (Adding the host's /usr/include would let glibc's headers shadow MinGW's.)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config, if anything falls back to it, must not report the host's libraries either.
set(PKG_CONFIG_EXECUTABLE ${CORVEL_MINGW_TRIPLE}-pkg-config CACHE FILEPATH "")
set(ENV{PKG_CONFIG_LIBDIR} "${CORVEL_MINGW_DEPS_PREFIX}/lib/pkgconfig:/usr/${CORVEL_MINGW_TRIPLE}/lib/pkgconfig")

# Tests run under Wine, in a prefix private to this build folder (see wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_BINARY_DIR}/wine-prefix")
