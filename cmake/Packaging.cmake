# The Debian package, and the monitor's desktop entry and icon when the GUI is built. Each program's
# own install(TARGETS) rule lives beside its target.
if(QUORVANE_GUI)
    install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/quorvane-monitor.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/quorvane-monitor.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "Halverdon")
set(CPACK_PACKAGE_CONTACT "Quorvane maintainers <quorvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Monitor for the voice platform's CTI server, with a headless probe and a server simulator")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvane polls the CTI server of a telephony voice platform and shows every telephone line in a grid of coloured cells. quorvane-probe prints the same board without a screen, as a table, CSV, JSON, Prometheus metrics or a monitoring plugin's check line. quorvane-sim is a CTI server simulator for demonstrations and tests.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR DEB)
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the binaries' shared libraries (dpkg-shlibdeps), not from a hand-kept list.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
