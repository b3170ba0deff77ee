#!/usr/bin/env bash
# The demo: installs what it needs, builds tessalvpn, starts the local
# stand-ins (the access server and the svpn daemon, on 127.0.0.1) and hands
# tessalvpn a launch URL, as a browser would. The whole road runs: launch-URL
# checks, start report, trust gate, profile download, server-address and
# local-network checks, update decision, the window with the server's
# resource page, the network-access parameters, the tunnel through the svpn
# stand-in, traffic updates on the page, the page ending the tunnel, the
# window closing and tessalvpn exiting. It prints what the server and the
# page saw as it happens, then the client's log records, and ends by itself.
#
#   scripts/demo.sh         unattended (offscreen unless you have a desktop): plain
#                           HTTP, the demo server already trusted; the page closes
#                           its window after a few traffic updates
#   scripts/demo.sh --ask   on your desktop: HTTPS with a self-signed certificate,
#                           you answer the certificate and trust questions and the
#                           page's "disconnect" question yourself
#
# Nothing touches your own ~/.TessalNetworks: the client runs with a temporary HOME.
set -euo pipefail
cd "$(dirname "$0")/.."

ask=0
[ "${1:-}" = "--ask" ] && ask=1

scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "${TESSAL_JOBS:-$(nproc)}" --target tessalvpn svpn_standin tessal_private_network

args=(demo)
work=""
if [ $ask -eq 1 ]; then
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: --ask needs a desktop (DISPLAY or WAYLAND_DISPLAY)" >&2
    exit 2
  fi
  work=$(mktemp -d /tmp/tessal-demo.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=127.0.0.1" \
    -addext "subjectAltName=IP:127.0.0.1" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
  args+=(--ask --https "$work/cert.pem" "$work/key.pem" --seconds 600)
fi

# A private session bus, so a tessalvpn you may already run is not disturbed,
# and a network, processes and svpn folders of its own, so that the svpn
# port is nobody else's. The script ends the stand-ins itself, so nothing
# outlives the demo.
QTWEBENGINE_DISABLE_SANDBOX=1 build/dev/test-bin/tessal_private_network dbus-run-session -- \
  python3 bench/road/road.py "${args[@]}" 2> >(grep -v "Failed to set fd limit" >&2)
