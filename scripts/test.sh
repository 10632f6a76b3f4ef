#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test (core and
# windows), then builds again under AddressSanitizer + UndefinedBehaviorSanitizer and runs
# every test once more.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
"$src/scripts/deps.sh"
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

# run_suite BUILD-FOLDER TESTS-TO-LEAVE-OUT (a ctest regular expression, or "") CMAKE-OPTIONS...
run_suite() {
    local dir="$1" skip="$2"; shift 2
    cmake -S "$src" -B "$dir" -G Ninja -DWAREHOUSE_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs" ${skip:+-E "$skip"})
}

echo "== tests =="
run_suite "$src/build-test" "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$src/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The slowest reliability cases (hundreds of killed and size-limited child programs) ran above;
# they test the file on disk rather than this program's memory.
run_suite "$src/build-asan" '^(CrashConsistency|FileSizeLimit)\.' -DCMAKE_BUILD_TYPE=Debug -DWAREHOUSE_SANITIZE=ON
