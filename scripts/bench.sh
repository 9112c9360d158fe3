#!/usr/bin/env bash
# The benchmarks: a Release build in build/bench, then vessor_bench with the
# arguments given (--records N, --messages N, --repeats N, --smoke).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target vessor_bench
exec build/bench/bench/vessor_bench "$@"
