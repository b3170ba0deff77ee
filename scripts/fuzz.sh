#!/usr/bin/env bash
# Builds the fuzz targets (clang; the libraries instrumented too) and runs
# each on its seed corpus fuzz/<area>/corpus, several at once, then prints
# every target's final coverage and executions.
#
#   scripts/fuzz.sh [--time S | --runs N] [--jobs P] [--merge]
#     --time S   seconds per target (default 30)
#     --runs N   executions per target instead of a time
#     --jobs P   targets run at once, and build jobs (default: TESSAL_JOBS, else the number of cores)
#     --merge    add the inputs that found new coverage to fuzz/<area>/corpus
# Skips (exit 0) without clang.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=30)
jobs=${TESSAL_JOBS:-$(nproc)}
merge=0
while [ $# -gt 0 ]; do
  case "$1" in
    --time) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --merge) merge=1; shift ;;
    *) echo "fuzz: unknown option $1" >&2; exit 2 ;;
  esac
done

if ! command -v clang++ >/dev/null 2>&1 || ! command -v clang >/dev/null 2>&1; then
  echo "fuzz: clang not found, skipped"
  exit 0
fi

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Debug -DTESSAL_BUILD_FUZZ=ON -DTESSAL_BUILD_TESTS=OFF -DTESSAL_BUILD_BENCH=OFF \
  -DTESSAL_MIN_QT_VERSION=6.4.2 -DTESSAL_SYSTEM_ROOT="$PWD/$build/sysroot" \
  -DTESSAL_UPDATE_CERTIFICATE="$PWD/tests/keys-TEST-ONLY/update_signing_TEST_ONLY.pem" \
  -DTESSAL_UPDATE_HMAC_KEY="$PWD/tests/keys-TEST-ONLY/update_hmac_TEST_ONLY.bin" -DTESSAL_ALLOW_TEST_SIGNING=ON >/dev/null

manifest=$build/fuzz-targets
targets=()
for entry in "$manifest"/*; do
  if [ -e "$entry" ]; then targets+=("${entry##*/}"); fi
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets"
  exit 0
fi
# Only the targets and what they link: no client program, no tests.
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

# shellcheck disable=SC2317 # run by xargs through bash -c, exported below
run_one() {
  local target=$1
  local binary corpus args
  { read -r binary; read -r corpus; read -r args; } <"$manifest/$target"
  local work=$build/corpus/$target
  mkdir -p "$work"
  local seeds=()
  [ -d "$corpus" ] && seeds=("$corpus")
  # shellcheck disable=SC2086
  if "$binary" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/$target-" $args "$work" "${seeds[@]}" >"$build/$target.log" 2>&1; then
    if [ "$merge" -eq 1 ] && [ -d "$corpus" ]; then
      # shellcheck disable=SC2086
      "$binary" -merge=1 $args "$corpus" "$work" >"$build/$target.merge.log" 2>&1
    fi
    echo ok >"$build/$target.status"
  else
    echo FAILED >"$build/$target.status"
  fi
}
export -f run_one
export build manifest merge
export limit_text="${limit[*]}"

echo "fuzz: ${limit[*]} per target, $jobs at once"
rm -f "$build"/*.status
# shellcheck disable=SC2016 # expanded by the inner bash, one target each
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'limit=($limit_text); run_one "$1"' _ {}

status=0
printf '%-24s %-7s %8s %8s %12s %8s %s\n' target result cov ft executions seconds corpus
for target in "${targets[@]}"; do
  log=$build/$target.log
  result=$(cat "$build/$target.status" 2>/dev/null || echo FAILED)
  # The last status line holds the final coverage; "Done" the executions.
  last=$(grep -E '^#[0-9]+' "$log" | grep -v 'pulse' | tail -n 1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([^ ]*\).*/\1/p' <<<"$last")
  runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)/\1/p' "$log" | tail -n 1)
  secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
  printf '%-24s %-7s %8s %8s %12s %8s %s\n' "$target" "$result" "${cov:--}" "${ft:--}" "${runs:--}" "${secs:--}" "${corp:--}"
  if [ "$result" != ok ]; then
    status=1
    echo "---- $target: last lines of $log"
    tail -n 40 "$log"
  fi
done
exit $status
