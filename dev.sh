#!/usr/bin/env bash
# Set-up, build, run and test KELBO on a fresh Debian 12 machine.
#   ./dev.sh run    install packages, build and install KELBO and the card program into ~/.local, start KELBO
#   ./dev.sh test   install packages, build with AddressSanitizer and UBSan, run every test and the fuzzers
#   ./dev.sh package  install packages, build the Debian package, check it with lintian and appstreamcli
#   ./dev.sh deps   install the Debian packages only
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
export CCACHE_DIR="${CCACHE_DIR:-$ROOT/.cache/ccache}"

PACKAGES=(
    build-essential cmake ninja-build pkg-config ccache clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-translations-l10n qt6-svg-dev
    pxlib-dev libshp-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    dbus dbus-x11 xvfb xauth openbox fonts-noto-cjk fonts-vlgothic poppler-utils gdal-bin desktop-file-utils
    file lintian appstream
    hamradio-files
    cups cups-client libcups2-dev fonts-morisawa-bizud-gothic e2fsprogs
)

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

deps() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        sudo_ apt-get update -qq
        sudo_ env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}

# Builds what `run` starts (KELBO, kelbo-lines and the card program) and installs it into ~/.local: the
# programs, their menu entries and icons, and the card program's service file where the session bus looks.
install_local() {
    cmake --preset dev >/dev/null
    local targets=(kelbo kelbo-lines kelbo-cardprinter)
    cmake --build --preset dev -j "$(nproc)" --target "${targets[@]}"
    cmake --install build/dev --prefix "$HOME/.local" >/dev/null
    local services="$HOME/.local/share/dbus-1/services"
    local data_home="${XDG_DATA_HOME:-$HOME/.local/share}"
    if [ "$data_home" != "$HOME/.local/share" ] && [ -d "$services" ]; then
        # The bus looks for services under XDG_DATA_HOME only.
        mkdir -p "$data_home/dbus-1/services"
        cp "$services"/*.service "$data_home/dbus-1/services/"
    fi
    command -v update-desktop-database >/dev/null && update-desktop-database -q "$HOME/.local/share/applications" || true
    echo "Installed ${targets[*]} into $HOME/.local"
}

# True when the session bus of this shell can start the card program (a bus started for another home folder
# does not see this home's service file).
bus_knows_card_program() {
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || return 1
    dbus-send --session --type=method_call --dest=org.freedesktop.DBus / org.freedesktop.DBus.ReloadConfig \
        >/dev/null 2>&1 || true
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.ListActivatableNames \
        2>/dev/null | grep -q '"CARDO.Application"'
}

# Lines the session bus and Qt print on a plain console when all is well: the bus cannot raise its file limit
# (an unprivileged or container session), it reports each program it starts, and Qt makes its own runtime folder.
# Everything else, the bus's errors included, reaches the console.
quiet_noise() {
    grep -v --line-buffered -E 'Failed to set fd limit|Activating service name=|Successfully activated service|XDG_RUNTIME_DIR not set' >&2 || true
}

# Runs a command with its standard error through quiet_noise; its exit status is the command's.
run_quietly() {
    local rc=0
    "$@" 2> >(quiet_noise) || rc=$?
    wait $! 2>/dev/null || true
    return $rc
}

run() {
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "KELBO needs a desktop: neither DISPLAY nor WAYLAND_DISPLAY is set. Start ./dev.sh run in a terminal of the desktop session." >&2
        exit 1
    fi
    deps
    install_local
    # A first start (no settings yet) copies the installed sample log into ~/KELBO/LOGDATA and opens it.
    local config="${XDG_CONFIG_HOME:-$HOME/.config}/KELBO"
    cd "$HOME"
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        # A console login without a session manager: the private runtime folder Qt would make by itself.
        export XDG_RUNTIME_DIR="/tmp/runtime-$(id -un)"
        mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    fi
    echo "KELBO starts (settings: $config/KELBO.ini)"
    if bus_knows_card_program; then
        run_quietly "$HOME/.local/bin/kelbo"
        return
    fi
    # The bus finds the service file under XDG_DATA_HOME, or else under the home folder of the user's account
    # entry, not under $HOME: name the folder, so that a changed HOME works too.
    XDG_DATA_HOME="${XDG_DATA_HOME:-$HOME/.local/share}" run_quietly dbus-run-session -- "$HOME/.local/bin/kelbo"
}

# The Debian package of the README, built with the programs only, then checked: lintian (any error or warning
# fails; overrides carry their reasons in data/package/lintian-overrides), appstreamcli on the package's software
# centre entries and desktop-file-validate on its menu entries.
package() {
    deps
    cmake --preset package >/dev/null
    cmake --build --preset package -j "$(nproc)" --target kelbo kelbo-lines kelbo-cardprinter
    rm -f build/package/kelbo_*.deb
    (cd build/package && cpack -G DEB >/dev/null)
    local deb out rc=0
    deb=$(ls build/package/kelbo_*.deb)
    echo "== lintian $deb"
    out=$(lintian --display-info --fail-on error,warning "$deb" 2>&1) || rc=1
    printf '%s\n' "$out" | grep -v 'running with root privileges' || true
    local tree=build/package/deb-tree
    rm -rf "$tree" && dpkg-deb -x "$deb" "$tree"
    echo "== appstreamcli validate"
    appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml || rc=1
    echo "== desktop-file-validate"
    desktop-file-validate "$tree"/usr/share/applications/*.desktop || rc=1
    if [ $rc = 0 ]; then echo "package: $deb checked"; else echo "package: $deb FAILED its checks"; fi
    return $rc
}

FUZZ_FAILED=0
fuzz() {
    local seconds=${KELBO_FUZZ_SECONDS:-20}
    build fuzz
    shopt -s nullglob
    local failed=0
    for f in build/fuzz/tests/fuzz/fuzz_*; do
        [ -f "$f" ] && [ -x "$f" ] || continue
        local name corpus
        name=$(basename "$f")
        corpus="tests/fuzz/corpus/${name#fuzz_}"
        mkdir -p "build/fuzz/corpus/$name"
        echo "== $name (${seconds}s)"
        if ! "$f" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 \
            "build/fuzz/corpus/$name" $( [ -d "$corpus" ] && echo "$corpus" ) >"build/fuzz/$name.log" 2>&1; then
            tail -40 "build/fuzz/$name.log"
            echo "   $name: FAILED (log: build/fuzz/$name.log)"
            failed=1
            FUZZ_FAILED=$((FUZZ_FAILED + 1))
        else
            # libFuzzer's last status line: runs, coverage and corpus at the end.
            local last
            last=$(grep -E '^#[0-9]+' "build/fuzz/$name.log" | tail -n 1 |
                sed -nE 's/^#([0-9]+)[[:space:]]+[A-Z]+[[:space:]]+cov: ([0-9]+).*corp: ([0-9]+).*/\1 runs, coverage \2, corpus \3/p')
            echo "   $name: ok${last:+, $last}"
        fi
    done
    return $failed
}

test_() {
    deps
    build asan
    local rc=0 passed=0 failed=0 total
    (cd build/asan && ctest --output-on-failure -j 2) 2>&1 | tee build/asan/ctest.log || rc=1
    total=$(sed -nE 's/.* tests failed out of ([0-9]+)$/\1/p' build/asan/ctest.log | tail -n 1)
    failed=$(sed -nE 's/.*, ([0-9]+) tests failed out of [0-9]+$/\1/p' build/asan/ctest.log | tail -n 1)
    [ -n "$total" ] || { total=0; rc=1; }
    [ -n "$failed" ] || failed=0
    passed=$((total - failed))
    local fuzz_total fuzz_failed=0
    fuzz_total=$(ls tests/fuzz/fuzz_*.cpp 2>/dev/null | wc -l)
    if ! fuzz; then
        fuzz_failed=$FUZZ_FAILED
        rc=1
    fi
    passed=$((passed + fuzz_total - fuzz_failed))
    failed=$((failed + fuzz_failed))
    echo "tests: $passed passed, $failed failed"
    return $rc
}

case "${1:-}" in
deps) deps ;;
run) run ;;
package) package ;;
test) test_ ;;
fuzz) fuzz ;;
*)
    echo "usage: $0 run|test|package|deps|fuzz" >&2
    exit 2
    ;;
esac
