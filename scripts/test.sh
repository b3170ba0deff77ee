#!/usr/bin/env bash
# The whole test suite, as CI runs it: installs what it needs, checks the
# format of the C and C++ sources and the shell scripts, builds the dev
# preset (warnings are errors) and runs every test; the unit tests and the
# integration tests that drive the tunnels (svpn, application tunnel,
# resources) again under ASan and UBSan; the tunnel and svpn tests under
# ThreadSanitizer; every fuzz target (libraries instrumented) for a bounded
# time; the Debian package built, linted, unpacked and run; and the short
# stress run when bench/stress/run.sh is there. Prints the time and exit
# status of each stage at the end.
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
stage_rcs=()
# The stage running now, so that the report also shows the one that failed.
current_stage=""
current_start=0
stage() {
  current_stage=$1
  shift
  echo "==== $current_stage"
  current_start=$SECONDS
  "$@"
  stage_names+=("$current_stage")
  stage_times+=($((SECONDS - current_start)))
  stage_rcs+=(0)
  current_stage=""
}
report() {
  local status=$?
  if [ -n "$current_stage" ]; then
    stage_names+=("$current_stage")
    stage_times+=($((SECONDS - current_start)))
    stage_rcs+=("$status")
  fi
  echo
  echo "==== stage times"
  local i total=0
  for i in "${!stage_names[@]}"; do
    printf '  %-34s %4d s  rc %d\n' "${stage_names[$i]}" "${stage_times[$i]}" "${stage_rcs[$i]}"
    total=$((total + stage_times[i]))
  done
  printf '  %-34s %4d s\n' total "$total"
  [ "$status" -eq 0 ] || echo "==== FAILED (exit $status)"
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
stage "format (clang-format)" format_check
stage "shell scripts (shellcheck)" shell_check
stage "dev build" dev_build
stage "dev tests" dev_tests
stage "asan unit and tunnel tests" asan
stage "tsan tunnel and svpn tests" tsan
stage "fuzz (${fuzz_seconds} s per target)" fuzz
stage "Debian package" package
stage "stress (${stress_count} loops)" stress
