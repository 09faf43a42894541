#!/usr/bin/env bash
# Installs what is needed (clang), builds the libFuzzer harnesses and runs each for a while.
# Usage: scripts/fuzz.sh [seconds per harness, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/install-deps.sh clang
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for harness in fuzz_report_descriptor fuzz_device_path fuzz_device_string fuzz_service_reply; do
  extra=()
  [ "$harness" = fuzz_device_path ] && extra=(-dict=tests/fuzz/device_path.dict)
  echo "== $harness ($seconds s)"
  mkdir -p "build/fuzz/corpus/$harness"
  "build/fuzz/tests/fuzz/$harness" "${extra[@]}" -max_total_time="$seconds" "build/fuzz/corpus/$harness"
done
