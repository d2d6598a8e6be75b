# One INTERFACE target carries the project's compile settings; every target links it.
add_library(corvel_settings INTERFACE)
add_library(corvel::settings ALIAS corvel_settings)

target_compile_options(corvel_settings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(CORVEL_WARNINGS_AS_ERRORS)
  target_compile_options(corvel_settings INTERFACE -Werror)
endif()

if(WIN32)
  target_compile_definitions(corvel_settings INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE
                             _WIN32_WINNT=0x0A00)
  # A self-contained .exe: no libstdc++/libgcc/winpthread DLLs beside it.
  target_link_options(corvel_settings INTERFACE -static -static-libgcc -static-libstdc++)
endif()

if(CORVEL_SANITIZE)
  target_compile_options(corvel_settings INTERFACE -fsanitize=${CORVEL_SANITIZE} -fno-omit-frame-pointer
                         -fno-sanitize-recover=all)
  target_link_options(corvel_settings INTERFACE -fsanitize=${CORVEL_SANITIZE})
  if(CORVEL_SANITIZE MATCHES "thread")
    # GCC warns that it cannot instrument std::atomic_thread_fence, which Asio's headers use.
    target_compile_options(corvel_settings INTERFACE -Wno-tsan)
  endif()
endif()

# Sources are picked up by folder; platform files are chosen by their suffix:
# *_win32.cpp on Windows, *_linux.cpp / *_posix.cpp elsewhere.
function(corvel_collect_sources out_var)
  set(result "")
  foreach(dir IN LISTS ARGN)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS "${dir}/*.cpp")
    list(APPEND result ${found})
  endforeach()
  if(WIN32)
    list(FILTER result EXCLUDE REGEX "_(linux|posix)\\.cpp$")
  else()
    list(FILTER result EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${out_var} ${result} PARENT_SCOPE)
endfunction()
