# SPDX-License-Identifier: GPL-3.0-or-later
# Installation into the usual places and the Debian package.
include(GNUInstallDirs)

install(FILES ${CMAKE_SOURCE_DIR}/packaging/zelk-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(ZELK_BUILD_GUI)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/zelk.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/zelk.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/zelk.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME zelk)
set(CPACK_PACKAGE_VENDOR "Brasswick")
set(CPACK_PACKAGE_CONTACT "zelk maintainers <zelk@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "In-system programmer for Atmel AVR microcontrollers")
set(CPACK_PACKAGE_DESCRIPTION "zelk reads, writes and verifies the flash, EEPROM, lock and \
fuse bits of AVR microcontrollers through a parallel-port programming cable or the GPIO header \
of a single-board computer, with a simulated cable and chip for working without hardware. Users \
of /dev/parport* must be in the group lp, users of /dev/gpiochip* in a group that owns them.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# dpkg-shlibdeps finds the Qt and C++ libraries zelk links; the X11 platform plugin is
# loaded at run time and must be named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(ZELK_BUILD_GUI)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
endif()
include(CPack)
