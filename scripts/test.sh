#!/usr/bin/env bash
# The whole test suite, as CI runs it: installs what it needs, builds the dev
# preset and runs every test; the unit tests and the integration tests that
# drive the tunnels (svpn, application tunnel, resources) again under ASan
# and UBSan; the tunnel and svpn tests under ThreadSanitizer; every fuzz
# target (libraries instrumented) for a bounded time; the Debian package
# built, linted, unpacked and run; and the short stress run when
# bench/stress/run.sh is there. Prints the time of each stage at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

export QTWEBENGINE_DISABLE_SANDBOX=1
jobs=$(nproc)
fuzz_seconds=${TESSAL_FUZZ_SECONDS:-20}
stress_count=${TESSAL_STRESS_COUNT:-3}

# Tests that use the svpn stand-in's fixed port must not overlap with another
# checkout's on the same machine.
lock=(flock /tmp/tessal-svpn-port.lock)
command -v flock >/dev/null 2>&1 || lock=()

stage_names=()
stage_times=()
stage() {
  local name=$1
  shift
  echo "==== $name"
  local start=$SECONDS
  "$@"
  stage_names+=("$name")
  stage_times+=($((SECONDS - start)))
}
report() {
  local status=$?
  echo
  echo "==== stage times"
  local i total=0
  for i in "${!stage_names[@]}"; do
    printf '  %-34s %4d s\n' "${stage_names[$i]}" "${stage_times[$i]}"
    total=$((total + stage_times[i]))
  done
  printf '  %-34s %4d s\n' total "$total"
  [ "$status" -eq 0 ] || echo "==== FAILED (exit $status)"
}
trap report EXIT

dev_build() { cmake --preset dev && cmake --build --preset dev -j "$jobs"; }
dev_tests() { "${lock[@]}" ctest --preset dev; }
asan() {
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j "$jobs" --target unit_tests test_apptunnel svpn_integration_test \
    resources_integration_test
  "${lock[@]}" ctest --preset asan
}
tsan() {
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j "$jobs" --target test_tunnel test_apptunnel svpn_integration_test
  "${lock[@]}" ctest --preset tsan
}
fuzz() { scripts/fuzz.sh --time "$fuzz_seconds" --jobs "$jobs"; }
package() { packaging/check-package.sh "$PWD/build/dev/test-bin"; }
stress() {
  if [ -x bench/stress/run.sh ]; then
    bench/stress/run.sh "$stress_count"
  else
    echo "stress: bench/stress/run.sh not there, skipped"
  fi
}

stage "install dependencies" scripts/install-deps.sh
stage "dev build" dev_build
stage "dev tests" dev_tests
stage "asan unit and tunnel tests" asan
stage "tsan tunnel and svpn tests" tsan
stage "fuzz (${fuzz_seconds} s per target)" fuzz
stage "Debian package" package
stage "stress (${stress_count} loops)" stress
