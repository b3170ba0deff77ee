#!/usr/bin/env bash
# The window benchmarks, tessalvpn against the minimal Qt WebEngine program
# (bench/e2e/minimal_page.cpp) loading the same stand-in page with one
# web-channel object, run by run in alternating order, for the dev build and
# the optimised bench build:
#   (1) launch URL to page loaded, on loopback (plain HTTP) and over a network
#       with 25 ms of delay each way (HTTPS, a CA of the run's own trusted),
#       the server named by its address and by a name that a name server of
#       the run's own answers after the same round trip;
#   (2) PSS of the whole process tree, page loaded, before any tunnel;
#   (3) CPU of the tessalvpn tree with one tunnel connected, in three windows
#       of --cpu-seconds (20 s) one after the other.
#   bench/e2e/run.sh [--pairs N] [--cpu-seconds S] [--delay-ms D] [NAME=BUILD_DIR...]
#   bench/e2e/run.sh soak [--minutes M] [--minimal] [--build BUILD_DIR]
#   bench/e2e/run.sh start-functions --build BUILD_DIR [--out FILE]
#     (rewrites src/start_functions.txt from a recorded start; needs gdb)
# Without builds named: dev=build/dev and bench=build/bench; the bench build
# is configured and built here when missing (`bench` preset, with a
# throwaway update-signing pair: it never installs an update and is never
# packaged). Runs in network and mount namespaces of its own: the svpn port
# and the CA stay private to the run; runs of one build wait for each other
# (the svpn stand-in's files under its system root are the build's). Needs root, unshare, openssl and NSS's
# certutil (Debian: libnss3-tools).
set -euo pipefail
cd "$(dirname "$0")/../.."

if [ -z "${TESSAL_E2E_INSIDE:-}" ]; then
  exec unshare --net --mount --propagation private env TESSAL_E2E_INSIDE=1 "$0" "$@"
fi
ip link set lo up

prepare_bench_build() {
  local signing=build/bench-signing
  if [ ! -f "$signing/hmac.bin" ]; then
    mkdir -p "$signing"
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=bench build, signs nothing" \
      -keyout "$signing/key.pem" -out "$signing/certificate.pem" 2>/dev/null
    head -c 64 /dev/urandom >"$signing/hmac.bin"
  fi
  [ -f build/bench/build.ninja ] || cmake --preset bench >/dev/null
  cmake --build --preset bench -j4 >/dev/null
}

export QTWEBENGINE_DISABLE_SANDBOX=1
if [ "${1:-}" = soak ]; then
  shift
  args=("$@")
  case " $* " in
    *" --build "*) ;;
    *) prepare_bench_build && args+=(--build "$PWD/build/bench") ;;
  esac
  exec dbus-run-session -- python3 bench/e2e/e2e.py soak "${args[@]}"
fi

if [ "${1:-}" = start-functions ]; then
  shift
  exec dbus-run-session -- python3 bench/e2e/e2e.py start-functions "$@"
fi

args=()
builds=()
while [ $# -gt 0 ]; do
  case "$1" in
    *=*) builds+=("$1") ;;
    *) args+=("$1") ;;
  esac
  shift
done
if [ ${#builds[@]} -eq 0 ]; then
  prepare_bench_build
  builds=("dev=$PWD/build/dev" "bench=$PWD/build/bench")
fi
exec dbus-run-session -- python3 bench/e2e/e2e.py bench "${args[@]}" "${builds[@]}"
