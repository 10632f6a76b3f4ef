#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it in the folder it was called from
# (the ledger file 1.mdb lives there).
set -euo pipefail
here="$(pwd)"
src="$(cd "$(dirname "$0")/.." && pwd)"
"$src/scripts/deps.sh"
cmake -S "$src" -B "$src/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWAREHOUSE_TESTS=OFF >/dev/null
cmake --build "$src/build-release" --target warehouse
cd "$here"
exec "$src/build-release/warehouse" "$@"
