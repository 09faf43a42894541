#!/usr/bin/env bash
# Installs what is needed, builds the benchmarks optimised and runs them. They print figures;
# pass Google Benchmark's options through, e.g. --benchmark_filter=Scan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench
build/bench/bench/quorvel_bench "$@"
