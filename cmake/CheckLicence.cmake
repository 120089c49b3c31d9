# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source file of zelk's own lacks its licence line, so that every file a user
# receives says under which terms it may be shared.
# Run as: cmake -DSOURCE_DIR=... -P CheckLicence.cmake
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/*.cpp ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*CMakeLists.txt ${SOURCE_DIR}/*.cmake
     ${SOURCE_DIR}/*.sh)
set(missing "")
foreach(source ${sources})
    if(source MATCHES "^(build[^/]*|\\.git)/")
        continue()
    endif()
    file(STRINGS ${SOURCE_DIR}/${source} lines LIMIT_COUNT 2)
    if(NOT lines MATCHES "SPDX-License-Identifier: GPL-3.0-or-later")
        list(APPEND missing ${source})
    endif()
endforeach()
if(missing)
    list(JOIN missing "\n  " text)
    message(FATAL_ERROR "without the line SPDX-License-Identifier: GPL-3.0-or-later:\n  ${text}")
endif()
