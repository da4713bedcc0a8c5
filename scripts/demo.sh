#!/usr/bin/env bash
# The demo: builds the program and shows what it offers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null && cmake --build build -j2 >/dev/null
build/updater -h
