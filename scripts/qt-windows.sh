#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (mingw-w64) from Debian's own qt6-base source package, the version of
# the installed host Qt, as a static Qt with only what the monitor and its tests use, into a cache
# outside the checkout, reused while its key (Qt version, configure options, compiler) is unchanged:
#
#   scripts/qt-windows.sh            build when needed; the last line printed is the prefix
#   scripts/qt-windows.sh --prefix   print the prefix the cache uses, build nothing
#
# The prefix is given as CMAKE_PREFIX_PATH to the windows-gui preset (scripts/windows.sh does).
# QUORVANE_CACHE sets the cache folder (default ~/.cache/quorvane). The host Qt (qt6-base-dev,
# qt6-base-dev-tools) provides moc, rcc and uic; the build takes about 32 minutes on two cores.
set -euo pipefail
# The whole script is one function, read before it runs: editing the file while a build runs
# does not change what that build does.
main() {
    cd "$(dirname "$0")/.."
    repo=$PWD
    # shellcheck source=scripts/lib/debsource.sh
    . scripts/lib/debsource.sh

    cache=${QUORVANE_CACHE:-$HOME/.cache/quorvane}
    source_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev 2>/dev/null || true)
    if [ -z "$source_version" ]; then
        echo "qt-windows: qt6-base-dev is not installed (the host Qt whose tools the build uses);" \
            "scripts/setup.sh installs it" >&2
        exit 1
    fi
    version=$(debsource_upstream "$source_version")
    prefix=$cache/qt-$version-mingw-static
    if [ "${1:-}" = "--prefix" ]; then
        echo "$prefix"
        exit 0
    fi
    for tool in x86_64-w64-mingw32-g++-posix cmake ninja; do
        command -v "$tool" >/dev/null || {
            echo "qt-windows: $tool is missing (packages g++-mingw-w64-x86-64, cmake, ninja-build)" >&2
            exit 1
        }
    done
    host_cmake=$(dirname "$(dpkg -L qt6-base-dev | grep -m1 '/cmake/Qt6/Qt6Config.cmake$')")
    host_cmake=$(dirname "$host_cmake")

    # What the monitor and its tests do not use is left out: networking, SQL, D-Bus, printing, PDF,
    # XML, concurrency, JPEG, the ODF and Markdown text formats. The Direct2D platform stays: without
    # it 6.4.2 leaves out the DirectWrite font database that the windows platform links against. OpenGL stays (desktop): the windows platform of 6.4.2 does not compile
    # without it. FreeType stays (bundled): Qt 6.4.2 builds the offscreen platform, which the tests
    # run on, only with it. The calendar widget stays: the date and time fields need it. Everything
    # third-party is Qt's bundled copy: there is no Windows build of Debian's libraries to link.
    # Everything is compiled at -O1 (Qt's own choice is -O2): it builds in about a sixth less time,
    # which is what lets a fresh machine's CI build Qt within its time, and a grid of 2048 lines
    # repainted every 800 ms does not need more.
    options=(-DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=Release
        -DQT_USE_DEFAULT_CMAKE_OPTIMIZATION_FLAGS=ON "-DCMAKE_C_FLAGS_RELEASE=-O1 -DNDEBUG"
        "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG"
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
        -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
        -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=ON -DFEATURE_tabletevent=OFF
        -DINPUT_openssl=no -DFEATURE_zstd=OFF -DFEATURE_jpeg=OFF -DFEATURE_vulkan=OFF -DFEATURE_pdf=OFF
        -DFEATURE_textodfwriter=OFF -DFEATURE_textmarkdownreader=OFF
        -DFEATURE_textmarkdownwriter=OFF
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
        -DFEATURE_system_freetype=OFF -DFEATURE_freetype=ON -DFEATURE_system_png=OFF
        -DFEATURE_system_jpeg=OFF)
    key_text=$(printf '%s\n' "qt6-base $source_version" "options ${options[*]}" \
        "compiler $(x86_64-w64-mingw32-g++-posix --version | head -1)" \
        "toolchain $(sha256sum cmake/toolchain-mingw64.cmake | cut -c1-16)" "recipe 7")

    mkdir -p "$cache"
    exec 9>"$cache/qt-$version-mingw.lock"
    if ! flock -n 9; then
        echo "qt-windows: another build of Qt $version for Windows is running; waiting for it"
        flock 9
    fi
    if [ -f "$prefix/quorvane-key" ] && [ "$(cat "$prefix/quorvane-key")" = "$key_text" ]; then
        echo "qt-windows: cached Qt $version for Windows in $prefix"
        echo "$prefix"
        exit 0
    fi

    work=$cache/qt-$version-mingw.work
    start=$(date +%s)
    step=""
    progress_pid=""
    trap '[ -z "$progress_pid" ] || kill "$progress_pid" 2>/dev/null || true
          [ -z "$step" ] || echo "qt-windows: FAILED at step: $step (logs in $work)" >&2' EXIT

    step="fetch qt6-base $source_version with apt-get source"
    echo "qt-windows: [1/4] $step"
    DEBSOURCE_APT_DIR=$cache/apt
    export DEBSOURCE_APT_DIR
    debsource_fetch qt6-base "$source_version" "$work/src"
    [ "$(debsource_upstream "$DEBSOURCE_VERSION")" = "$version" ] || {
        echo "qt-windows: the archive gave qt6-base $DEBSOURCE_VERSION, not the host Qt's $version:" \
            "a Qt built from it could not use the host's tools" >&2
        exit 1
    }

    step="configure (log: $work/configure.log)"
    echo "qt-windows: [2/4] $step"
    rm -rf "$work/build"
    # The toolchain's Wine emulator is left out: Qt's configure checks run nothing.
    QUORVANE_NO_WINE_EMULATOR=1 cmake -S "$DEBSOURCE_TREE" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw64.cmake" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$work/configure.log" 2>&1

    step="build (log: $work/build.log)"
    echo "qt-windows: [3/4] $step"
    : >"$work/build.log"
    # Ninja's own [done/total] lines, one every minute, with the time so far. The lock is not
    # passed on: its last sleep outlives the build and would hold the lock for up to a minute.
    (
        exec 9>&-
        while sleep 60; do
            line=$(grep -o '^\[[0-9]*/[0-9]*\]' "$work/build.log" | tail -1 || true)
            echo "qt-windows: ${line:-[starting]} after $(($(date +%s) - start)) s"
        done
    ) &
    progress_pid=$!
    cmake --build "$work/build" -j"$(nproc)" >>"$work/build.log" 2>&1
    kill "$progress_pid" 2>/dev/null || true
    progress_pid=""

    step="install into $prefix (log: $work/install.log)"
    echo "qt-windows: [4/4] $step"
    rm -rf "$prefix"
    cmake --install "$work/build" >"$work/install.log" 2>&1
    # The platforms the monitor and its tests load; a configure that silently drops one (as 6.4.2
    # does with the offscreen platform when FreeType is off) fails here, not in every test later.
    for plugin in windows offscreen minimal; do
        [ -f "$prefix/plugins/platforms/libq$plugin.a" ] || {
            echo "qt-windows: the $plugin platform was not built (see $work/configure.log)" >&2
            exit 1
        }
    done
    echo "$key_text" >"$prefix/quorvane-key"
    step=""
    rm -rf "$work"
    echo "qt-windows: Qt $version for Windows built in $(($(date +%s) - start)) s"
    echo "$prefix"
}

main "$@"; exit
