# SPDX-License-Identifier: GPL-3.0-or-later
cmake_minimum_required(VERSION 3.25)
# Fails when an include crosses the layers of docs/architecture.md: a core file that includes
# Qt, engine/ including station/ or a front end, station/ including a front end, sim/,
# platform/ or memory/ core files including engine/ or a layer above, cli/ including app/, a
# file in app/ that is no GUI file, or two folders that include each other.
# Run as: cmake -DSOURCE_DIR=... -P CheckLayers.cmake
set(folders app shell station engine sim platform memory terminal about cli resources)
set(upper app shell terminal about cli)
set(failures "")

# The GUI sources: those each folder's CMakeLists.txt gives to zelk_ui or to the zelk
# executable, whether or not this build has the GUI.
set(GUI_SOURCES "")
foreach(folder ${folders})
    file(READ ${SOURCE_DIR}/${folder}/CMakeLists.txt listing)
    string(REGEX MATCHALL "(target_sources\\(zelk_ui|add_executable\\(zelk )[^)]*\\)" blocks
           "${listing}")
    foreach(block ${blocks})
        string(REGEX MATCHALL "[a-z_]+\\.cpp" sources "${block}")
        foreach(source ${sources})
            list(APPEND GUI_SOURCES ${SOURCE_DIR}/${folder}/${source})
        endforeach()
    endforeach()
endforeach()
set(edges "")

foreach(folder ${folders})
    file(GLOB files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
    foreach(file ${files})
        get_filename_component(stem ${file} NAME_WE)
        file(RELATIVE_PATH relative ${SOURCE_DIR} ${file})
        # A GUI file is a source of zelk_ui or of zelk, or the header beside one; every other
        # file is core.
        set(gui FALSE)
        foreach(source ${GUI_SOURCES})
            get_filename_component(sourceStem ${source} NAME_WE)
            get_filename_component(sourceDir ${source} DIRECTORY)
            if(sourceStem STREQUAL stem AND sourceDir STREQUAL "${SOURCE_DIR}/${folder}")
                set(gui TRUE)
            endif()
        endforeach()
        # app/ holds the Qt application only; the command layer is station/. main.cpp is the
        # zelk executable's.
        if(folder STREQUAL "app" AND NOT gui AND NOT stem STREQUAL "main")
            list(APPEND failures "${relative}: app/ holds a file that is no GUI file")
        endif()
        file(STRINGS ${file} includes REGEX "^#include [<\"]")
        foreach(line ${includes})
            string(REGEX MATCH "^#include [<\"]([^>\"]+)" matched "${line}")
            set(target ${CMAKE_MATCH_1})
            if(NOT gui AND target MATCHES "^Q")
                list(APPEND failures "${relative}: a core file includes ${target}")
            endif()
            if(NOT target MATCHES "^([a-z]+)/")
                continue()
            endif()
            set(targetFolder ${CMAKE_MATCH_1})
            if(targetFolder STREQUAL folder)
                continue()
            endif()
            list(APPEND edges "${folder}>${targetFolder}")
            if(folder STREQUAL "engine" AND (targetFolder IN_LIST upper
                                               OR targetFolder STREQUAL "station"))
                list(APPEND failures "${relative}: engine/ includes ${target}")
            endif()
            if(folder STREQUAL "station" AND targetFolder IN_LIST upper)
                list(APPEND failures "${relative}: station/ includes ${target}")
            endif()
            if(folder STREQUAL "cli" AND targetFolder STREQUAL "app")
                list(APPEND failures "${relative}: cli/ includes ${target}")
            endif()
            if(NOT gui AND folder MATCHES "^(sim|platform|memory)$"
               AND (targetFolder MATCHES "^(engine|station)$" OR targetFolder IN_LIST upper))
                list(APPEND failures "${relative}: a ${folder}/ core file includes ${target}")
            endif()
        endforeach()
    endforeach()
endforeach()

list(REMOVE_DUPLICATES edges)
foreach(edge ${edges})
    string(REPLACE ">" ";" pair ${edge})
    list(GET pair 0 from)
    list(GET pair 1 to)
    if("${to}>${from}" IN_LIST edges AND from STRLESS to)
        list(APPEND failures "${from}/ and ${to}/ include each other")
    endif()
endforeach()

if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "Layering broken:\n  ${text}")
endif()
message(STATUS "Layers hold")
