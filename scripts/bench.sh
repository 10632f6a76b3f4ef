#!/usr/bin/env bash
# Builds with optimisation and times every operation on generated ledgers of 10^4, 10^5 and
# 10^6 records (each size in its own process, so its peak memory is its own). The ledgers are
# generated once and kept in build-bench/data. Usage: scripts/bench.sh [sizes...]
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$src/build-bench"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWAREHOUSE_BENCH=ON -DWAREHOUSE_TESTS=OFF >/dev/null
cmake --build "$build" --target warehouse_bench
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)
echo "| records | operation | ours ms | straightforward ms | ratio | one SQL statement ms | ratio | lines |"
echo "|---|---|---|---|---|---|---|---|"
for n in "${sizes[@]}"; do
    QT_QPA_PLATFORM=offscreen "$build/warehouse_bench" "$n" "$build/data"
done
