# Installs the programs, their desktop integration and manual pages, and
# describes the Debian package (cpack -G DEB).
include(GNUInstallDirs)

install(TARGETS ondril balance-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/org.ondril.Ondril.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/org.ondril.Ondril.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY data/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# Manual pages go in compressed, as Debian keeps them.
find_program(GZIP gzip REQUIRED)
foreach(page ondril.1 balance-sim.1)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/doc/${page} > ${CMAKE_BINARY_DIR}/man/${page}.gz
    DEPENDS doc/${page} VERBATIM)
  list(APPEND man_pages ${CMAKE_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME ondril)
set(CPACK_PACKAGE_VENDOR "Ondril")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test tool for the RS-232 link of a laboratory balance")
set(CPACK_PACKAGE_DESCRIPTION
    "Ondril sends a laboratory balance its remote commands over a serial port,
shows its replies line by line with optional date and time stamps, runs a
timed cycle print, and saves what came in to a log file. It comes with
balance-sim, a simulated balance on a pseudo-terminal.")
set(CPACK_PACKAGE_CONTACT "Ondril developers <dev@ondril.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The libraries come from dpkg-shlibdeps; Qt's platform plugins and the fonts
# the window is drawn with are not linked, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-wqy-zenhei, fonts-liberation")
include(CPack)
