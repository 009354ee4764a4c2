#!/usr/bin/env bash
# Set-up, build, run and test KELBO on a fresh Debian 12 machine.
#   ./dev.sh run    install packages, build and install KELBO and the card program into ~/.local, start KELBO
#   ./dev.sh test   install packages, build with AddressSanitizer and UBSan, run every test and the fuzzers
#   ./dev.sh deps   install the Debian packages only
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
export CCACHE_DIR="${CCACHE_DIR:-$ROOT/.cache/ccache}"

PACKAGES=(
    build-essential cmake ninja-build pkg-config ccache clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-translations-l10n
    pxlib-dev libshp-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    dbus dbus-x11 xvfb xauth openbox fonts-noto-cjk fonts-vlgothic poppler-utils gdal-bin desktop-file-utils
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

run() {
    deps
    install_local
    local work="${KELBO_HOME:-$HOME/KELBO}"
    mkdir -p "$work/LOGDATA"
    for f in data/sample/LOG.*; do cp -n "$f" "$work/LOGDATA/"; done
    local config="${XDG_CONFIG_HOME:-$HOME/.config}/KELBO"
    if [ ! -f "$config/KELBO.ini" ]; then
        mkdir -p "$config"
        sed "s#@LOGDATA@#$work/LOGDATA/#" data/sample/KELBO.ini.in >"$config/KELBO.ini"
    fi
    cd "$HOME"
    echo "KELBO starts (settings: $config/KELBO.ini, sample log: $work/LOGDATA/)"
    if bus_knows_card_program; then
        exec "$HOME/.local/bin/kelbo"
    fi
    # The bus finds the service file under XDG_DATA_HOME, or else under the home folder of the user's account
    # entry, not under $HOME: name the folder, so that a changed HOME works too.
    XDG_DATA_HOME="${XDG_DATA_HOME:-$HOME/.local/share}" exec dbus-run-session -- "$HOME/.local/bin/kelbo"
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
            failed=1
            FUZZ_FAILED=$((FUZZ_FAILED + 1))
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
test) test_ ;;
fuzz) fuzz ;;
*)
    echo "usage: $0 run|test|deps|fuzz" >&2
    exit 2
    ;;
esac
