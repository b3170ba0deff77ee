#!/usr/bin/env bash
# The whole test suite, as CI runs it: installs what it needs, checks the
# format of the C and C++ sources and the shell scripts, builds the dev
# preset (warnings are errors) and runs every test; the unit tests and the
# integration tests that drive the tunnels (svpn, application tunnel,
# resources) again under ASan and UBSan; the tunnel and svpn tests under
# ThreadSanitizer; every fuzz target (libraries instrumented) for a bounded
# time on its kept corpus; the Debian package built, linted, unpacked and
# run; and the short stress run when bench/stress/run.sh is there.
#
# The five lanes that share no build (dev, asan, tsan, fuzz, package) run at
# the same time, each with its own log, printed when it ends; the tests that
# use the svpn daemon's fixed port each have a network of their own, so
# nothing else on the machine (another checkout, a demo) disturbs them.
# Prints the time and exit status of each stage at the end.
#
#   TESSAL_JOBS           builds' jobs and tests at once (default: all cores)
#   TESSAL_FUZZ_SECONDS   seconds per fuzz target (default 10)
#   TESSAL_STRESS_COUNT   stress loops (default 3)
set -euo pipefail
cd "$(dirname "$0")/.."

export QTWEBENGINE_DISABLE_SANDBOX=1
jobs=${TESSAL_JOBS:-$(nproc)}
export TESSAL_JOBS=$jobs
fuzz_seconds=${TESSAL_FUZZ_SECONDS:-10}
stress_count=${TESSAL_STRESS_COUNT:-3}
# A compiler cache, where there is one, for every build below (first
# configuration of a build tree only).
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
fi
# Builds that run side by side start no job while the machine is busier
# than TESSAL_JOBS allows.
build_limits=(-j "$jobs" -- -l "$jobs")
logs=build/test-logs
rm -rf "$logs"
mkdir -p "$logs"
start_time=$SECONDS

lanes=()
# Each stage appends "<name>|<seconds>|<status>" to $logs/stages, so that the
# lanes running at once report into one table.
current_stage=""
current_start=0
stage() {
  current_stage=$1
  shift
  echo "==== $current_stage"
  current_start=$SECONDS
  "$@"
  echo "$current_stage|$((SECONDS - current_start))|0" >>"$logs/stages"
  current_stage=""
}
failed_stage() {
  local status=${1:-$?}
  if [ -n "$current_stage" ]; then
    echo "$current_stage|$((SECONDS - current_start))|$status" >>"$logs/stages"
  fi
}
report() {
  local status=$?
  failed_stage "$status"
  current_stage=""
  # Lanes already started end and are shown, whatever stopped this script.
  wait_lanes || status=1
  echo
  echo "==== stage times"
  local name seconds rc
  if [ -f "$logs/stages" ]; then
    while IFS='|' read -r name seconds rc; do
      printf '  %-34s %4d s  rc %d\n' "$name" "$seconds" "$rc"
      [ "$rc" -eq 0 ] || status=1
    done <"$logs/stages"
  fi
  printf '  %-34s %4d s\n' "total (wall)" "$((SECONDS - start_time))"
  [ "$status" -eq 0 ] || echo "==== FAILED (exit $status)"
  exit "$status"
}
trap report EXIT

# The sources held to .clang-format: every tracked C and C++ file but the fuzz
# corpora, which are data whatever their names.
format_paths=('*.cpp' '*.h' '*.c' ':!:*/corpus/*')
format_check() {
  local tool out status=0
  tool=$(command -v clang-format-14 || command -v clang-format) || {
    echo "format: no clang-format (scripts/install-deps.sh installs it)" >&2
    return 1
  }
  if ! out=$(git ls-files -z -- "${format_paths[@]}" | xargs -0 "$tool" --dry-run -Werror --ferror-limit=1 2>&1); then
    # One line per file; the whole output when it is not about the format.
    grep -o '^[^:]*:[0-9]*:[0-9]*: error: code should be clang-formatted' <<<"$out" | cut -d: -f1 | sort -u |
      sed 's/^/format: not formatted: /' | grep . || printf '%s\n' "$out"
    echo "format: fix with: git ls-files -z -- ${format_paths[*]@Q} | xargs -0 $tool -i"
    status=1
  fi
  # clang-format accepts both forms of a nested namespace; the tree opens them
  # one per line.
  if git grep -nE '^namespace [[:alnum:]_]+::[[:alnum:]_:]+ \{' -- "${format_paths[@]}"; then
    echo "format: open nested namespaces one per line: namespace a {, then namespace b {"
    status=1
  fi
  return "$status"
}
# Every tracked shell script under scripts/, .ci/ and packaging/, by its name
# or its first line (maintainer scripts and .ci/run have no .sh).
shell_scripts() {
  local f
  git ls-files -z -- scripts .ci packaging | while IFS= read -r -d '' f; do
    case $f in
      *.sh) printf '%s\0' "$f" ;;
      *) if head -n 1 "$f" | grep -qE '^#![[:space:]]*(/[^[:space:]]*/)?(env[[:space:]]+)?(ba|da|k)?sh([[:space:]]|$)'; then
           printf '%s\0' "$f"
         fi ;;
    esac
  done
}
shell_check() { shell_scripts | xargs -0 shellcheck; }

dev_build() { cmake --preset dev && cmake --build --preset dev "${build_limits[@]}"; }
dev_tests() { ctest --preset dev -j "$jobs"; }
asan_build() {
  cmake --preset asan >/dev/null
  cmake --build --preset asan --target unit_tests test_apptunnel svpn_integration_test \
    resources_integration_test "${build_limits[@]}"
}
asan_tests() { ctest --preset asan -j "$jobs"; }
tsan_build() {
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan --target test_tunnel test_apptunnel svpn_integration_test "${build_limits[@]}"
}
tsan_tests() { ctest --preset tsan -j "$jobs"; }
fuzz() { scripts/fuzz.sh --time "$fuzz_seconds" --jobs "$jobs"; }
package() { packaging/check-package.sh "$PWD/build/dev/test-bin"; }
stress() {
  if [ -x bench/stress/run.sh ]; then
    bench/stress/run.sh "$stress_count"
  else
    echo "stress: bench/stress/run.sh not there, skipped"
  fi
}

# A lane runs its stages one after the other, into its own log, and stops at
# its first failure; the other lanes go on.
lane() {
  local name=$1
  shift
  (
    trap failed_stage EXIT
    set -e
    while [ $# -gt 0 ]; do
      stage "$1" "$2"
      shift 2
    done
  ) >"$logs/$name.log" 2>&1
}
start_lane() {
  lane "$@" &
  lanes+=("$1:$!")
}
wait_lanes() {
  local entry status=0
  for entry in "${lanes[@]}"; do
    wait "${entry#*:}" || status=1
    echo "==== lane ${entry%%:*} (log: $logs/${entry%%:*}.log)"
    cat "$logs/${entry%%:*}.log"
  done
  lanes=()
  return "$status"
}

stage "install dependencies" scripts/install-deps.sh
stage "format (clang-format)" format_check
stage "shell scripts (shellcheck)" shell_check
start_lane asan "asan build" asan_build "asan unit and tunnel tests" asan_tests
start_lane tsan "tsan build" tsan_build "tsan tunnel and svpn tests" tsan_tests
start_lane fuzz "fuzz (${fuzz_seconds} s per target)" fuzz
stage "dev build" dev_build
start_lane package "Debian package" package
start_lane dev "dev tests" dev_tests "stress (${stress_count} loops)" stress
wait_lanes
