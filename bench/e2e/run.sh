#!/usr/bin/env bash
# The window benchmarks, measured in one run and printed as ratios:
#   (1) launch URL to the resource page's load finished, tessalvpn against a
#       minimal Qt WebEngine program (bench/e2e/minimal_page.cpp) loading the
#       same stand-in page with one web-channel object;
#   (2) PSS of the whole process tree, web-engine helpers included, page loaded;
#   (3) CPU of the tessalvpn tree with one tunnel connected and the page timer
#       running, over 30 s.
#   bench/e2e/run.sh [--runs N] [--cpu-seconds S]
# Uses the dev build (TESSAL_BUILD_DIR to use another), in a network, processes
# and svpn folders of its own (tessal_private_network).
set -euo pipefail
cd "$(dirname "$0")/../.."
export QTWEBENGINE_DISABLE_SANDBOX=1
exec "${TESSAL_BUILD_DIR:-build/dev}/test-bin/tessal_private_network" dbus-run-session -- python3 bench/road/road.py bench "$@"
