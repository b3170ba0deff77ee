#!/usr/bin/env bash
# The whole test suite: installs what it needs, builds the dev preset and runs
# every test, then runs the unit tests again under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

export QTWEBENGINE_DISABLE_SANDBOX=1
jobs=$(nproc)

cmake --preset dev
cmake --build --preset dev -j "$jobs"
ctest --preset dev

cmake --preset asan
cmake --build --preset asan -j "$jobs" --target unit_tests
ctest --preset asan

# Every fuzz target for a bounded time (needs clang; skipped without it).
scripts/fuzz.sh 15
