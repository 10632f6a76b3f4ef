#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test (core and
# windows), then builds again under AddressSanitizer + UndefinedBehaviorSanitizer and runs
# every test once more.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
"$src/scripts/deps.sh"
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

run_suite() {
    local dir="$1"; shift
    cmake -S "$src" -B "$dir" -G Ninja -DWAREHOUSE_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

echo "== tests =="
run_suite "$src/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$src/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_suite "$src/build-asan" -DCMAKE_BUILD_TYPE=Debug -DWAREHOUSE_SANITIZE=ON
