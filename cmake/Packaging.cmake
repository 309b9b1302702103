# The Debian package, and the monitor's desktop entry and icon when the GUI is built (for Linux
# desktops; the Windows installer makes a Start-menu shortcut instead). Each program's
# own install(TARGETS) rule lives beside its target.
if(QUORVANE_GUI AND NOT WIN32)
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
    # An installer for the operator's machine, and the same programs as a plain archive.
    set(CPACK_GENERATOR NSIS ZIP)
    set(CPACK_PACKAGE_FILE_NAME quorvane-${PROJECT_VERSION}-win64)
    set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorvane)
    # zlib rather than LZMA: the installer comes out about half again as large, but is made in a few
    # seconds instead of more than a minute, in every CI run.
    set(CPACK_NSIS_COMPRESSOR zlib)
    # No licence page: the project ships no licence text of its own to show there.
    set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
    # The installer's own key under Software\Halverdon (install folder, Start menu folder), which the
    # uninstaller deletes. It defaults to the install directory, "Quorvane": on an install for the
    # current user only, that is HKCU\Software\Halverdon\Quorvane, the monitor's placement, which
    # must outlive the programs.
    set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Quorvane ${PROJECT_VERSION} Setup")
    # A 64-bit installer for 64-bit programs: Program Files and the registry without WOW64's
    # redirection, and it also runs where Windows' 32-bit layer is missing (Wine without wine32).
    # CPack's script template puts these lines before the installer's first section, where makensis
    # still takes a change of target (a makensis argument would be split at its blank by CPack).
    set(CPACK_NSIS_DEFINES "  Target amd64-unicode")
    # The NSIS lines below hold backslashes and '$' that CPack must hand to makensis as they are.
    set(CPACK_VERBATIM_VARIABLES ON)
    # The monitor reads Quorvane.cfg from, and writes Monitor.log into, its working folder, and
    # Program Files is not writable for the operator: the shortcut starts it in a folder of the
    # installing user's own, which the installer creates but never fills (no Quorvane.cfg: the
    # operator writes it, pointing at the site's CTI server). The installer runs in the all-users
    # context when it has administrator rights, where $APPDATA is ProgramData; the user's own
    # $APPDATA needs the current-user context, which is then given back (lastused) so that the
    # shortcuts and the installer's registry key stay where the uninstaller, in the same context
    # as the installer, looks for them. CreateShortCut takes $OUTDIR as the shortcut's "Start in".
    set(CPACK_NSIS_CREATE_ICONS_EXTRA [=[
  SetShellVarContext current
  CreateDirectory "$APPDATA\Halverdon\Quorvane"
  SetOutPath "$APPDATA\Halverdon\Quorvane"
  SetShellVarContext lastused
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Quorvane Monitor.lnk" "$INSTDIR\bin\quorvane-monitor.exe"
  SetOutPath "$INSTDIR"
]=])
    # The uninstaller removes the programs and the shortcut; the user's folder, their Quorvane.cfg
    # and Monitor.log, and the placement under HKCU\Software\Halverdon\Quorvane stay theirs.
    set(CPACK_NSIS_DELETE_ICONS_EXTRA [=[
  Delete "$SMPROGRAMS\$MUI_TEMP\Quorvane Monitor.lnk"
]=])
else()
    set(CPACK_GENERATOR DEB)
    # Only the Debian package lives under /usr; on Windows the folders start at the install folder.
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the binaries' shared libraries (dpkg-shlibdeps), not from a hand-kept list.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
