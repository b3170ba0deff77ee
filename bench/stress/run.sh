#!/usr/bin/env bash
# The stress run: the whole road (launch URL, access session, window with the
# stand-in's page, network-access tunnel connected, the page ends it, exit)
# COUNT times against the stand-ins, with one private session bus. At the end
# no process, descriptor, thread or temporary file may be left and the log
# must hold every run; prints the time per loop and the counts and exits
# non-zero on a failed loop or a leak.
#   bench/stress/run.sh [COUNT]      (default 10)
# Uses the dev build (TESSAL_BUILD_DIR to use another), in a network, processes
# and svpn folders of its own (tessal_private_network).
set -euo pipefail
cd "$(dirname "$0")/../.."
export QTWEBENGINE_DISABLE_SANDBOX=1
exec "${TESSAL_BUILD_DIR:-build/dev}/test-bin/tessal_private_network" dbus-run-session -- python3 bench/road/road.py stress "${1:-10}"
