#!/usr/bin/env bash
# Checks the built package the way a user meets it: the validators on the files it ships,
# lintian, `apt-get install`, the installed programs and manual page, `apt-get remove`, and
# nothing of it left in /usr.
#   scripts/check-package.sh [BUILD_DIR]     (default: build/; run scripts/package.sh first)
#
# It installs into and removes from this machine's /usr, as root or through sudo. That is
# meant for CI, whose Debian 12 machines are thrown away after the run, and for a developer's
# machine where qmxconfig is not installed (it refuses to run where it is).
target="$(realpath -m "${1:-$(dirname "${BASH_SOURCE[0]}")/../build}")"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
BUILD=$target

PACKAGES=(lintian desktop-file-utils appstream man-db groff-base bsdextrautils bash-completion)
install_missing

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
work=$(mktemp -d)
installed_here=""

# A failed check does not leave the package it installed behind.
clean_up() {
    if [ -n "$installed_here" ] && dpkg-query -W -f='${db:Status-Abbrev}' qmxconfig 2>/dev/null |
        grep -q '^i'; then
        echo "Removing qmxconfig again after the failed check."
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get remove -y -qq qmxconfig || true
    fi
    rm -rf "$work"
}
trap clean_up EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
step() { echo "== $*"; }

find_package() {
    local version
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt" 2>/dev/null)
    deb=$(compgen -G "$BUILD/qmxconfig_${version:-*}_*.deb" | head -n 1) ||
        fail "no qmxconfig_${version}_*.deb in $BUILD; build it with scripts/package.sh"
    echo "Package: $deb"
}

# The validators, on the files as the package ships them.
validate_shipped_files() {
    local root=$work/root tests=$ROOT/tests/packaging
    dpkg-deb -x "$deb" "$root"
    step "desktop-file-validate"
    bash "$tests/validate.sh" desktop "$root/usr/share/applications/qmxconfig.desktop" ||
        fail "desktop entry"
    step "appstreamcli validate --no-net"
    bash "$tests/validate.sh" metainfo "$root"/usr/share/metainfo/*.metainfo.xml ||
        fail "AppStream metainfo"
    appstreamcli validate-tree --no-net "$root" || fail "AppStream tree (icon, desktop entry)"
    step "man --warnings"
    bash "$tests/validate.sh" man "$root"/usr/share/man/man1/*.1.gz || fail "manual pages"
    step "lintian"
    lintian --allow-root --display-info --fail-on error,warning "$deb" || fail "lintian"
}

install_package() {
    if dpkg-query -W -f='${db:Status-Abbrev}' qmxconfig 2>/dev/null | grep -q '^i'; then
        fail "qmxconfig is installed on this machine; this check installs and removes it." \
             "Remove it first (apt-get remove qmxconfig) or run the check on a spare machine."
    fi
    find /usr -name '*qmx*' 2>/dev/null | sort >"$work/qmx-before.txt"
    step "apt-get install $deb"
    installed_here=yes
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "$deb" ||
        fail "apt-get install"
    dpkg -L qmxconfig >"$work/installed.txt"
}

# The installed files, run in a home of their own.
check_installed_programs() {
    export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
    mkdir -p "$HOME"
    [ "$(command -v qmxcli)" = /usr/bin/qmxcli ] || fail "qmxcli is not /usr/bin/qmxcli"
    step "qmxcli defaults $work/x.QMX"
    qmxcli --lang en defaults "$work/x.QMX" || fail "qmxcli defaults"
    [ "$(stat -c %s "$work/x.QMX")" -eq 256 ] || fail "x.QMX is not 256 bytes"
    qmxcli --lang en show "$work/x.QMX" >/dev/null || fail "qmxcli show"
    step "man qmxcli"
    [ "$(man -w qmxcli)" = /usr/share/man/man1/qmxcli.1.gz ] ||
        fail "man finds no /usr/share/man/man1/qmxcli.1.gz (does dpkg exclude manual pages?" \
             "see /etc/dpkg/dpkg.cfg.d/)"
    grep -q 'qmxcli - identify, read, write' <<<"$(man -P cat qmxcli)" || fail "man qmxcli"
    local tests=$ROOT/tests/packaging page
    for page in qmxcli qmx-sim; do
        bash "$tests/validate.sh" help-in-man "/usr/bin/$page" "$(man -w "$page")" ||
            fail "the manual page of $page"
    done
    step "bash completion for qmxcli"
    bash "$tests/completion.sh" /usr/share/bash-completion/completions/qmxcli /usr/bin/qmxcli ||
        fail "bash completion"
    step "qmxconfig starts from its desktop entry"
    check_window_starts
    step "COM 1 from the settings file"
    check_port_mapping
}

# The desktop entry's command, run as the menu would: the window must still be up after a
# few seconds (no missing library, plug-in or crash at start).
check_window_starts() {
    local exec
    exec=$(sed -n 's/^Exec=//p' /usr/share/applications/qmxconfig.desktop | head -n 1)
    [ "$(command -v "${exec%% *}")" = /usr/bin/qmxconfig ] ||
        fail "Exec=$exec is not /usr/bin/qmxconfig"
    local rc=0
    QT_QPA_PLATFORM=offscreen timeout 4 "$exec" >"$work/window.log" 2>&1 || rc=$?
    [ $rc -eq 124 ] || { cat "$work/window.log"; fail "qmxconfig ended at start (status $rc)"; }
}

# After one `qmxcli ports --map`, COM 1 is found without QMX_COM1 in the environment, as it
# is for the window started from the menu. Checked against the simulated controller.
check_port_mapping() {
    if ! grep -q '^  ports' <<<"$(qmxcli --help)"; then
        echo "SKIP: this qmxcli has no ports command yet"
        return 0
    fi
    coproc SIM { exec qmx-sim --log "$work/sim.log"; }
    # Bash forgets SIM_PID once the simulator has ended.
    trap 'kill "${SIM_PID:-}" 2>/dev/null' EXIT
    local pty
    read -r -t 10 pty <&"${SIM[0]}" || fail "qmx-sim printed no terminal"
    qmxcli ports --map 1 "$pty" || fail "qmxcli ports --map 1 $pty"
    grep -q '^COM1=' "$XDG_CONFIG_HOME/qmxconfig/qmxconfig.ini" ||
        fail "ports --map wrote no COM1 to the settings file"
    grep -q 'QMX001-SIM' <<<"$(env -u QMX_COM1 qmxcli --com 1 --lang en info)" ||
        fail "qmxcli --com 1 did not reach the controller mapped in the settings file"
    local pid=$SIM_PID
    trap - EXIT
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}

remove_package() {
    step "apt-get remove qmxconfig"
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get remove -y -qq qmxconfig ||
        fail "apt-get remove"
    local path left=()
    while read -r path; do
        [ -e "$path" ] || [ -L "$path" ] || continue
        # Shared folders such as /usr/share/icons/hicolor/48x48/apps belong to others too.
        [ -d "$path" ] && dpkg-query -S "$path" >/dev/null 2>&1 && continue
        left+=("$path")
    done <"$work/installed.txt"
    [ ${#left[@]} -eq 0 ] || fail "left behind after apt-get remove: ${left[*]}"
    local stray
    stray=$(find /usr -name '*qmx*' 2>/dev/null | sort | comm -13 "$work/qmx-before.txt" -)
    [ -z "$stray" ] || fail "left behind in /usr: $stray"
    echo "Nothing of qmxconfig is left in /usr ($(wc -l <"$work/installed.txt") paths checked)."
}

find_package
validate_shipped_files
install_package
(check_installed_programs) || exit 1
remove_package
echo "Package checks passed: $deb"
