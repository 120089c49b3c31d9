# SPDX-License-Identifier: GPL-3.0-or-later
# Installation into the usual places and the Debian package.
include(GNUInstallDirs)

set(ZELK_MAINTAINER "zelk developers <zelk@brasswick.org>"
    CACHE STRING "The package's maintainer: a name and a mail address")
set(ZELK_PROJECT_URL "https://zelk.brasswick.org" CACHE STRING
    "The project's web page, for the package and the software centres")
set(ZELK_APP_ID org.brasswick.zelk)
set(ZELK_DEBIAN_VERSION ${PROJECT_VERSION}-1)
execute_process(COMMAND date -u -R -d ${ZELK_RELEASE_DATE}
                OUTPUT_VARIABLE ZELK_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
set(ZELK_VERSION ${PROJECT_VERSION})

# Man pages and the changelog carry the version and the release day, and are installed
# compressed as Debian wants them; gzip -n leaves the build time out, so builds agree.
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
set(compressed "")
foreach(page zelk-cli.1 zelk.1 changelog.Debian)
    configure_file(${CMAKE_SOURCE_DIR}/packaging/${page}.in ${packaging_out}/${page} @ONLY)
    add_custom_command(OUTPUT ${packaging_out}/${page}.gz
                       COMMAND gzip -9nkf ${packaging_out}/${page}
                       DEPENDS ${packaging_out}/${page} VERBATIM)
    list(APPEND compressed ${packaging_out}/${page}.gz)
endforeach()
add_custom_target(zelk_packaging_files ALL DEPENDS ${compressed})
configure_file(${CMAKE_SOURCE_DIR}/packaging/zelk.metainfo.xml.in
               ${packaging_out}/${ZELK_APP_ID}.metainfo.xml @ONLY)

install(FILES ${packaging_out}/zelk-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${packaging_out}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Beside the README as in the sources, so that its links lead to them.
install(FILES ${CMAKE_SOURCE_DIR}/docs/cables.md ${CMAKE_SOURCE_DIR}/docs/gpio.md
              ${CMAKE_SOURCE_DIR}/docs/screenshot.png
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/cables DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME zelk)
if(ZELK_BUILD_GUI)
    install(FILES ${packaging_out}/zelk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/zelk.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${packaging_out}/${ZELK_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/zelk-project.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME zelk.xml)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/zelk.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    # The full icon's lettering cannot be read below 48 px; the small sizes get a simpler one.
    foreach(size 16 24 32)
        install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/zelk-small.svg
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME zelk.svg)
    endforeach()
endif()

set(CPACK_PACKAGE_NAME zelk)
set(CPACK_PACKAGE_VENDOR "Brasswick")
set(CPACK_PACKAGE_CONTACT "${ZELK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "In-system programmer for Atmel AVR microcontrollers")
set(CPACK_PACKAGE_DESCRIPTION "zelk reads, writes and verifies the flash, EEPROM, lock and fuse
bits of AVR microcontrollers through a parallel-port programming cable or the
GPIO header of a single-board computer, with a simulated cable and chip for
working without hardware, a GUI and the command-line zelk-cli.
.
Users of /dev/parport* must be in the group lp, users of /dev/gpiochip* in a
group that owns them.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZELK_PROJECT_URL}")
# dpkg-shlibdeps finds the Qt and C++ libraries zelk links; the X11 platform plugin is
# loaded at run time and must be named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(ZELK_BUILD_GUI)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
endif()
include(CPack)
