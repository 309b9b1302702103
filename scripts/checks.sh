#!/usr/bin/env bash
# The house checks a machine makes: formatting, clang-tidy and shellcheck. Each fails on its first
# finding. A check whose Debian package cannot be installed is skipped with the reason, never
# passed in silence.
#
#   scripts/checks.sh [format|tidy|shellcheck]...     default: all three
#
#   - format      clang-format --dry-run -Werror over every tracked C++ file (.clang-format).
#   - tidy        clang-tidy (.clang-tidy) over the sources of the core, the GUI, the simulator and
#                 the probe, against the compile database of the normal build (QUORVANE_BUILD,
#                 default build; configured with the default preset, not built, when missing).
#                 Tests, benchmarks, fuzz harnesses and moc output are not checked.
#   - shellcheck  every script in scripts/, the test scripts under tests/ and .ci/run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
checks=("$@")
[ ${#checks[@]} -eq 0 ] && checks=(format tidy shellcheck)

# The folders of the program's own sources, bottom to top.
source_dirs="alerts|app|board|common|history|link|platform|probe|settings|sim"

# Installs a Debian package for a check; says why the check is skipped when that fails.
need() { # check package command
    local check=$1 package=$2 command=$3
    if ! command -v "$command" >/dev/null 2>&1; then
        if ! scripts/setup.sh "$package" || ! command -v "$command" >/dev/null 2>&1; then
            echo "SKIPPED $check: the Debian package $package could not be installed"
            return 1
        fi
    fi
}

# Tracked files when this is a git checkout, otherwise the files on disk.
tracked() { # pattern...
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -z -- "$@"
    else
        local args=() p
        for p in "$@"; do
            [ ${#args[@]} -gt 0 ] && args+=(-o)
            args+=(-path "./$p")
        done
        find . -path ./.git -prune -o -path './build*' -prune -o -type f \( "${args[@]}" \) -printf '%P\0'
    fi
}

check_format() {
    need format clang-format-14 clang-format-14 || return 0
    local files
    files=$(tracked '*.cpp' '*.h' | tr '\0' '\n' | wc -l)
    tracked '*.cpp' '*.h' | xargs -0 clang-format-14 --dry-run -Werror
    echo "format: $files files as .clang-format has them"
}

check_tidy() {
    need tidy clang-tidy-14 run-clang-tidy-14 || return 0
    local build=${QUORVANE_BUILD:-build}
    if [ ! -f "$build/compile_commands.json" ]; then
        cmake --preset default -B "$build" >/dev/null
    fi
    local files
    files=$(grep -cE "\"file\": \"$root/($source_dirs)/[^\"]*\.cpp\"" "$build/compile_commands.json" || true)
    # run-clang-tidy colours its output whatever it writes to, and every process counts the
    # warnings it filtered out: neither belongs in the log shown.
    local log=$build/clang-tidy.log status=0
    run-clang-tidy-14 -p "$build" -j"$(nproc)" -quiet -header-filter="^$root/($source_dirs)/" \
        "^$root/($source_dirs)/" >"$log" 2>&1 || status=$?
    sed -e 's/\x1b\[[0-9;]*m//g' "$log" |
        grep -vE '^[0-9]+ (warnings?|errors?)( and [0-9]+ errors?)? generated\.$|^clang-tidy-14 ' || true
    if [ "$status" -ne 0 ]; then
        echo "tidy: findings (see above)"
        return 1
    fi
    echo "tidy: $files translation units clean"
}

check_shellcheck() {
    need shellcheck shellcheck shellcheck || return 0
    local files=()
    mapfile -d '' files < <(tracked 'scripts/*.sh' 'tests/*.sh' '.ci/run')
    shellcheck --external-sources --source-path=SCRIPTDIR "${files[@]}"
    echo "shellcheck: ${#files[@]} scripts clean"
}

for check in "${checks[@]}"; do
    case $check in
    format) check_format ;;
    tidy) check_tidy ;;
    shellcheck) check_shellcheck ;;
    *)
        echo "usage: $0 [format|tidy|shellcheck]..." >&2
        exit 2
        ;;
    esac
done
