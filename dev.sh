#!/usr/bin/env bash
# Set-up, build, run and test KELBO on a fresh Debian 12 machine.
#   ./dev.sh run    install packages, build, register the card program, start KELBO on the sample log
#   ./dev.sh test   install packages, build with AddressSanitizer and UBSan, run every test and the fuzzers
#   ./dev.sh deps   install the Debian packages only
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
export CCACHE_DIR="${CCACHE_DIR:-$ROOT/.cache/ccache}"

PACKAGES=(
    build-essential cmake ninja-build pkg-config ccache clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
    pxlib-dev libshp-dev libcsv-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    dbus dbus-x11 xvfb xauth fonts-noto-cjk fonts-vlgothic poppler-utils gdal-bin
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

register_service() {
    local exe=$1 dir="${XDG_DATA_HOME:-$HOME/.local/share}/dbus-1/services"
    mkdir -p "$dir"
    printf '[D-BUS Service]\nName=CARDO.Application\nExec=%s\n' "$exe" >"$dir/CARDO.Application.service"
    echo "Registered the card program: $dir/CARDO.Application.service"
}

run() {
    deps
    build dev
    register_service "$ROOT/build/dev/cardprinter/kelbo-cardprinter"
    local work="${KELBO_HOME:-$HOME/KELBO}"
    mkdir -p "$work/LOGDATA"
    for f in data/sample/LOG.*; do cp -n "$f" "$work/LOGDATA/"; done
    if [ ! -f "$work/KELBO.ini" ]; then
        sed "s#@LOGDATA@#$work/LOGDATA/#" data/sample/KELBO.ini.in >"$work/KELBO.ini" 2>/dev/null || true
    fi
    cd "$work"
    echo "KELBO starts in $work (settings: KELBO.ini, sample log: LOGDATA/)"
    if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
        exec dbus-run-session -- "$ROOT/build/dev/src/app/kelbo"
    fi
    exec "$ROOT/build/dev/src/app/kelbo"
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
