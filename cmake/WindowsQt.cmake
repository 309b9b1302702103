# The GUI cross-built for Windows against the static Qt of scripts/qt-windows.sh (given through
# CMAKE_PREFIX_PATH). That Qt runs the host's moc, rcc and uic (Debian's qt6-base-dev-tools), and
# its plugins are linked into every program: the windows platform and the Windows styles by Qt
# itself, the offscreen platform the tests run on by quorvane_import_offscreen.
if(NOT QT_HOST_PATH)
    set(QT_HOST_PATH /usr CACHE PATH "Prefix of the host Qt whose tools the cross-build runs")
endif()
if(NOT QT_HOST_PATH_CMAKE_DIR)
    file(GLOB host_info_dirs LIST_DIRECTORIES true ${QT_HOST_PATH}/lib/*/cmake/Qt6HostInfo
         ${QT_HOST_PATH}/lib/cmake/Qt6HostInfo)
    if(NOT host_info_dirs)
        message(FATAL_ERROR "No host Qt under ${QT_HOST_PATH} (Qt6HostInfo): install qt6-base-dev and "
                            "qt6-base-dev-tools, or set QT_HOST_PATH and QT_HOST_PATH_CMAKE_DIR")
    endif()
    list(GET host_info_dirs 0 host_info_dir)
    get_filename_component(host_cmake_dir ${host_info_dir} DIRECTORY)
    set(QT_HOST_PATH_CMAKE_DIR ${host_cmake_dir} CACHE PATH "The host Qt's CMake packages")
endif()

# Links Qt's offscreen platform into a program, so that it runs without a screen (-platform offscreen).
function(quorvane_import_offscreen target)
    if(NOT TARGET Qt6::QOffscreenIntegrationPlugin)
        message(FATAL_ERROR "The static Qt in CMAKE_PREFIX_PATH has no offscreen platform, which the GUI tests "
                            "run on; rebuild it with scripts/qt-windows.sh")
    endif()
    qt_import_plugins(${target} INCLUDE Qt6::QOffscreenIntegrationPlugin)
endfunction()
