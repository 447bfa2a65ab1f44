#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite headless.
# Tests labelled "large" (multi-gigabyte files) run only with: ctest --test-dir build -L large
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -LE large -j"$(nproc)"
