# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into PREFIX and runs the installed zelk-cli from there.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected bin/zelk-cli share/zelk/zelk.ini share/man/man1/zelk-cli.1.gz
    share/doc/zelk/copyright share/doc/zelk/changelog.Debian.gz share/doc/zelk/docs/cables.md
    share/doc/zelk/docs/cables/stk200.svg share/doc/zelk/docs/gpio.md
    share/doc/zelk/docs/screenshot.png)
if(WITH_GUI)
    list(APPEND expected bin/zelk share/man/man1/zelk.1.gz share/applications/zelk.desktop
         share/icons/hicolor/scalable/apps/zelk.svg share/icons/hicolor/16x16/apps/zelk.svg
         share/metainfo/org.brasswick.zelk.metainfo.xml share/mime/packages/zelk.xml)
endif()
foreach(file ${expected})
    if(NOT EXISTS ${PREFIX}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
# The database must be found in share/, not beside the executable as in the build tree.
if(EXISTS ${PREFIX}/bin/zelk.ini)
    message(FATAL_ERROR "zelk.ini installed beside the executables")
endif()

execute_process(COMMAND ${PREFIX}/bin/zelk-cli --version
                RESULT_VARIABLE result OUTPUT_VARIABLE version ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT version MATCHES "^zelk-cli [0-9]")
    message(FATAL_ERROR "zelk-cli --version: ${result} ${version}${errors}")
endif()

execute_process(COMMAND ${PREFIX}/bin/zelk-cli --port sim:ATmega328P detect
                WORKING_DIRECTORY ${PREFIX}
                RESULT_VARIABLE result OUTPUT_VARIABLE detected ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT detected MATCHES "ATmega328P")
    message(FATAL_ERROR "installed zelk-cli detect: ${result} ${detected}${errors}")
endif()
file(REMOVE_RECURSE ${PREFIX})
