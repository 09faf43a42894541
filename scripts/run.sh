#!/usr/bin/env bash
# Installs what is needed, builds the program and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here. Run the program under a virtual one:  xvfb-run -a build/release/quorvel" >&2
  exit 1
fi
exec build/release/quorvel
