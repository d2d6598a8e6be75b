# Builds the Windows release zip into a scratch folder and checks that it holds exactly the
# files a user is told about: README.txt, the shipped .exe files and the circuit data's
# provenance and licences, in one top folder.
# Usage: cmake -DCPACK=<cpack> -DCONFIG=<CPackConfig.cmake> -DWORK_DIR=<dir>
#              -DEXPECTED=<name,name...> -P check_windows_package.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND "${CPACK}" --config "${CONFIG}" -B "${WORK_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpack failed (${rc}):\n${out}")
endif()

file(GLOB zips "${WORK_DIR}/*.zip")
list(LENGTH zips zip_count)
if(NOT zip_count EQUAL 1)
  message(FATAL_ERROR "expected one zip in ${WORK_DIR}, found ${zip_count}:\n${out}")
endif()
get_filename_component(top "${zips}" NAME)
string(REGEX REPLACE "\\.zip$" "" top "${top}")

file(ARCHIVE_EXTRACT INPUT "${zips}" DESTINATION "${WORK_DIR}/unpacked")
file(GLOB_RECURSE found RELATIVE "${WORK_DIR}/unpacked" "${WORK_DIR}/unpacked/*")
list(SORT found)
string(REPLACE "," ";" expected "${EXPECTED}")
set(wanted "")
foreach(name IN LISTS expected)
  list(APPEND wanted "${top}/${name}")
endforeach()
list(SORT wanted)
if(NOT found STREQUAL wanted)
  message(FATAL_ERROR "${top}.zip holds\n  ${found}\nbut should hold\n  ${wanted}")
endif()

file(READ "${WORK_DIR}/unpacked/${top}/README.txt" readme HEX LIMIT 4096)
if(NOT readme MATCHES "0d0a")
  message(FATAL_ERROR "README.txt lacks Windows line ends")
endif()
message(STATUS "${top}.zip: ${found}")
