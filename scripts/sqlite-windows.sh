#!/usr/bin/env bash
# Builds SQLite for 64-bit Windows (mingw-w64) from Debian's own sqlite3 source package, the version
# of the installed libsqlite3, as a static library with its header, into a cache outside the
# checkout, reused while its key (source version, compiler flags, compiler) is unchanged:
#
#   scripts/sqlite-windows.sh            build when needed; the last line printed is the prefix
#   scripts/sqlite-windows.sh --prefix   print the prefix the cache uses, build nothing
#
# The prefix holds include/sqlite3.h and lib/libsqlite3.a: given as CMAKE_PREFIX_PATH (or as
# SQLite3_INCLUDE_DIR and SQLite3_LIBRARY) to a cross-build, find_package(SQLite3) finds it.
# QUORVANE_CACHE sets the cache folder (default ~/.cache/quorvane). The amalgamation (sqlite3.c) is
# generated on this machine with its C compiler and tclsh, then compiled for Windows.
set -euo pipefail
# The whole script is one function, read before it runs: editing the file while a build runs
# does not change what that build does.
main() {
    cd "$(dirname "$0")/.."
    # shellcheck source=scripts/lib/debsource.sh
    . scripts/lib/debsource.sh

    cache=${QUORVANE_CACHE:-$HOME/.cache/quorvane}
    # The version the Linux build links against; without it installed, the archive's newest.
    source_version=$(dpkg-query -W -f='${source:Version}' libsqlite3-dev 2>/dev/null || true)
    [ -n "$source_version" ] || source_version=$(dpkg-query -W -f='${source:Version}' libsqlite3-0 2>/dev/null || true)
    if [ -z "$source_version" ]; then
        echo "sqlite-windows: libsqlite3-dev is not installed; scripts/setup.sh libsqlite3-dev installs it" >&2
        exit 1
    fi
    version=$(debsource_upstream "$source_version")
    prefix=$cache/sqlite-$version-mingw
    if [ "${1:-}" = "--prefix" ]; then
        echo "$prefix"
        exit 0
    fi
    for tool in x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-ar tclsh cc make; do
        command -v "$tool" >/dev/null || {
            echo "sqlite-windows: $tool is missing (packages g++-mingw-w64-x86-64, tcl, build-essential)" >&2
            exit 1
        }
    done

    # Debian's own choices that change behaviour, less what a program of ours does not load (extensions,
    # full-text search).
    cflags=(-O2 -fno-strict-aliasing -DSQLITE_THREADSAFE=1 -DSQLITE_SECURE_DELETE -DSQLITE_USE_URI=1
        -DSQLITE_MAX_SCHEMA_RETRY=25 -DSQLITE_LIKE_DOESNT_MATCH_BLOBS -DSQLITE_OMIT_LOAD_EXTENSION)
    key_text=$(printf '%s\n' "sqlite3 $source_version" "cflags ${cflags[*]}" \
        "compiler $(x86_64-w64-mingw32-gcc-posix --version | head -1)" "recipe 1")

    mkdir -p "$cache"
    exec 9>"$cache/sqlite-$version-mingw.lock"
    flock 9
    if [ -f "$prefix/quorvane-key" ] && [ "$(cat "$prefix/quorvane-key")" = "$key_text" ]; then
        echo "sqlite-windows: cached SQLite $version for Windows in $prefix"
        echo "$prefix"
        exit 0
    fi

    work=$cache/sqlite-$version-mingw.work
    start=$(date +%s)
    step=""
    trap '[ -z "$step" ] || echo "sqlite-windows: FAILED at step: $step (logs in $work)" >&2' EXIT

    step="fetch sqlite3 $source_version with apt-get source"
    echo "sqlite-windows: [1/3] $step"
    DEBSOURCE_APT_DIR=$cache/apt
    export DEBSOURCE_APT_DIR
    debsource_fetch sqlite3 "$source_version" "$work/src"
    [ "$(debsource_upstream "$DEBSOURCE_VERSION")" = "$version" ] ||
        echo "sqlite-windows: note: the archive gave sqlite3 $DEBSOURCE_VERSION, not $source_version"

    step="generate the amalgamation"
    echo "sqlite-windows: [2/3] $step"
    rm -rf "$work/gen"
    mkdir -p "$work/gen"
    (cd "$work/gen" && "$DEBSOURCE_TREE/configure" --disable-tcl --disable-readline >"$work/configure.log" 2>&1 &&
        make sqlite3.c sqlite3.h >"$work/generate.log" 2>&1)

    step="compile for Windows"
    echo "sqlite-windows: [3/3] $step"
    rm -rf "$prefix"
    mkdir -p "$prefix/include" "$prefix/lib"
    x86_64-w64-mingw32-gcc-posix "${cflags[@]}" -c "$work/gen/sqlite3.c" -o "$work/gen/sqlite3.o" >"$work/compile.log" 2>&1
    x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" "$work/gen/sqlite3.o"
    cp "$work/gen/sqlite3.h" "$work/gen/sqlite3ext.h" "$prefix/include/"
    echo "$key_text" >"$prefix/quorvane-key"
    step=""
    rm -rf "$work/gen" "$work/src"
    echo "sqlite-windows: SQLite $version for Windows built in $(($(date +%s) - start)) s"
    echo "$prefix"
}

main "$@"
