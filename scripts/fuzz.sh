#!/usr/bin/env bash
# Builds every libFuzzer target under fuzz/ with clang and runs each for a
# bounded time on its seed corpus (fuzz/<area>/corpus when present).
# Usage: scripts/fuzz.sh [seconds per target, default 30]. Skips without clang.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
if ! command -v clang++ >/dev/null 2>&1 || ! command -v clang >/dev/null 2>&1; then
  echo "fuzz: clang not found, skipped"
  exit 0
fi

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Debug -DTESSAL_BUILD_FUZZ=ON -DTESSAL_BUILD_TESTS=OFF -DTESSAL_BUILD_BENCH=OFF \
  -DTESSAL_MIN_QT_VERSION=6.4.2 -DTESSAL_SYSTEM_ROOT="$PWD/$build/sysroot" \
  -DTESSAL_UPDATE_CERTIFICATE="$PWD/tests/keys-TEST-ONLY/update_signing_TEST_ONLY.pem" \
  -DTESSAL_UPDATE_HMAC_KEY="$PWD/tests/keys-TEST-ONLY/update_hmac_TEST_ONLY.bin" >/dev/null

targets=$(cmake --build "$build" --target help | grep -o '^fuzz_[A-Za-z0-9_]*' | sort -u || true)
if [ -z "$targets" ]; then
  echo "fuzz: no targets"
  exit 0
fi
cmake --build "$build" -j "$(nproc)" --target $targets

status=0
for target in $targets; do
  area=$(echo "$target" | cut -d_ -f2)
  work="$build/corpus/$target"
  mkdir -p "$work"
  seeds=()
  [ -d "fuzz/$area/corpus" ] && seeds=("fuzz/$area/corpus")
  echo "fuzz: $target for ${seconds}s"
  if ! "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$build/$target-" "$work" "${seeds[@]}" >"$build/$target.log" 2>&1; then
    echo "fuzz: $target FAILED, see $build/$target.log"
    tail -n 40 "$build/$target.log"
    status=1
  fi
done
exit $status
