# shellcheck shell=bash
# Sourced by the scripts that build a Debian source package for Windows (scripts/qt-windows.sh,
# scripts/sqlite-windows.sh). Fetches a source package with `apt-get source` through a private apt
# configuration: its deb-src entries are derived from this machine's own apt sources (the same
# archives, suites and components), its package lists live in the cache, and /etc stays untouched.
#
#   debsource_fetch PACKAGE VERSION DIR    unpack PACKAGE (exactly VERSION when the archive has it,
#                                          else its newest) into DIR; sets DEBSOURCE_TREE to the
#                                          unpacked folder and DEBSOURCE_VERSION to its version
#   debsource_upstream VERSION             print the upstream part: 6.4.2+dfsg-10 -> 6.4.2
#
# The caller sets DEBSOURCE_APT_DIR (where the private configuration and lists go).

debsource_upstream() {
    local v=${1#*:}
    v=${v%-*}
    echo "${v%%+*}"
}

# The machine's suites are those of its release (bookworm, bookworm-updates, bookworm-security):
# entries of other archives (a vendor's packages) have no source packages to offer.
debsource__codename() {
    (
        # shellcheck disable=SC1091
        . /etc/os-release
        echo "${VERSION_CODENAME:-}"
    )
}

debsource__write_sources() {
    local dir=$1 codename
    codename=$(debsource__codename)
    mkdir -p "$dir/sources.list.d"
    : >"$dir/sources.list"
    # One-line entries: "deb [options] URI SUITE COMPONENT..." becomes a deb-src line.
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        awk -v cn="$codename" '
            $1 == "deb" {
                line = $0
                sub(/^deb[ \t]+/, "", line)
                opts = ""
                if (line ~ /^\[/) { opts = substr(line, 1, index(line, "]")); line = substr(line, index(line, "]") + 1) }
                n = split(line, w, /[ \t]+/)
                i = (w[1] == "") ? 2 : 1
                if (cn == "" || w[i + 1] ~ ("^" cn "(-|/|$)")) print "deb-src " opts " " line
            }' "$f" >>"$dir/sources.list"
    done
    # deb822 entries: a stanza with "deb" among its types and a suite of this release.
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v cn="$codename" 'BEGIN { RS = ""; ORS = "\n\n" }
            {
                n = split($0, l, "\n"); deb = 0; ours = 0; on = 1; out = ""
                for (k = 1; k <= n; k++) {
                    if (l[k] ~ /^#/) continue
                    if (l[k] ~ /^Types:/ && l[k] ~ /[ \t]deb([ \t]|$)/) { deb = 1; l[k] = "Types: deb-src" }
                    if (l[k] ~ /^Enabled:[ \t]*no/) on = 0
                    if (l[k] ~ /^Suites:/) {
                        m = split(l[k], s, /[ \t]+/)
                        for (j = 2; j <= m; j++) if (cn == "" || s[j] ~ ("^" cn "(-|/|$)")) ours = 1
                    }
                    out = out l[k] "\n"
                }
                if (deb && ours && on) print out
            }' "$f" >"$dir/sources.list.d/$(basename "$f")"
    done
    if ! grep -qs deb-src "$dir/sources.list" "$dir"/sources.list.d/*.sources; then
        echo "debsource: no Debian archive of this release found in /etc/apt to derive a deb-src entry from" >&2
        return 1
    fi
}

debsource__apt() {
    local dir=$DEBSOURCE_APT_DIR
    local opts=(-o "Dir::Etc::SourceList=$dir/sources.list" -o "Dir::Etc::SourceParts=$dir/sources.list.d"
        -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache" -o "Dir::Etc::Preferences=/dev/null"
        -o "Dir::Etc::PreferencesParts=$dir/preferences.d")
    # As root, apt hands downloads to its own user, who cannot write into a folder under root's home.
    [ "$(id -u)" -ne 0 ] || opts+=(-o APT::Sandbox::User=root)
    apt-get "${opts[@]}" "$@"
}

debsource__update() {
    local dir=$DEBSOURCE_APT_DIR
    mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial" "$dir/preferences.d"
    debsource__write_sources "$dir" || return 1
    # The lists are fetched once a day at most: the archive changes no faster for our purpose.
    if [ -z "$(find "$dir/lists" -maxdepth 1 -name '*Sources*' -mmin -1440 2>/dev/null | head -1)" ]; then
        debsource__apt -qq update >"$dir/update.log" 2>&1 || {
            echo "debsource: apt-get update with the derived deb-src entries failed; see $dir/update.log" >&2
            return 1
        }
    fi
}

debsource_fetch() {
    local package=$1 version=$2 dest=$3
    : "${DEBSOURCE_APT_DIR:?set DEBSOURCE_APT_DIR}"
    command -v dpkg-source >/dev/null || {
        echo "debsource: dpkg-source is missing (package dpkg-dev)" >&2
        return 1
    }
    debsource__update || return 1
    rm -rf "$dest"
    mkdir -p "$dest"
    local log=$dest/apt-source.log
    if ! (cd "$dest" && debsource__apt -q source --only-source "$package=$version") >"$log" 2>&1; then
        echo "debsource: $package $version is not in the archive; taking its newest version"
        rm -rf "${dest:?}"/*
        (cd "$dest" && debsource__apt -q source --only-source "$package") >"$log" 2>&1 || {
            echo "debsource: apt-get source $package failed; see $log" >&2
            return 1
        }
    fi
    local dsc
    dsc=$(find "$dest" -maxdepth 1 -name "${package}_*.dsc" | head -1)
    [ -n "$dsc" ] || {
        echo "debsource: no ${package}_*.dsc in $dest; see $log" >&2
        return 1
    }
    DEBSOURCE_VERSION=$(sed -n 's/^Version: //p' "$dsc" | head -1)
    DEBSOURCE_TREE=$(find "$dest" -mindepth 1 -maxdepth 1 -type d -name "${package}-*" | head -1)
    [ -n "$DEBSOURCE_TREE" ] || {
        echo "debsource: apt-get source did not unpack $package; see $log" >&2
        return 1
    }
    export DEBSOURCE_VERSION DEBSOURCE_TREE
}
