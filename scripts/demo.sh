#!/usr/bin/env bash
# The demo: installs what it needs, builds tessalvpn, starts the local
# stand-in access server on 127.0.0.1 and hands tessalvpn a launch URL for it,
# as a browser would. The access session runs whole: launch-URL checks, start
# report, trust gate, profile download, server-address and local-network
# checks, update decision, hand-over to the browser controller. It then prints
# what the server saw and what the client logged.
#
#   scripts/demo.sh         unattended: plain HTTP, the demo server already trusted
#   scripts/demo.sh --ask   on your desktop: HTTPS with a self-signed certificate,
#                           so you answer the certificate and trust questions yourself
#
# Nothing touches your own ~/.TessalNetworks: the client runs with a temporary HOME.
set -euo pipefail
cd "$(dirname "$0")/.."

ask=0
[ "${1:-}" = "--ask" ] && ask=1

scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)" --target tessalvpn

bin=$PWD/build/dev/bin
tools=$PWD/build/dev/test-bin
work=$(mktemp -d /tmp/tessal-demo.XXXXXX)
server_pid=""
client_pid=""
cleanup() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

home=$work/home
mkdir -p "$home/.TessalNetworks"
chmod 700 "$home" "$home/.TessalNetworks"

# The server's connectivity profile: its own address is allowed, no network
# is marked unsafe, and the listed package is the version we run.
cat > "$work/profile.xml" <<'XML'
<PROFILE><AUTOUPDATE_LINUX><PACKAGE><ITEM><ID>NetworkAccessAppX64.deb</ID><VERSION>7270.0.0.1</VERSION><SIGNATURE>x</SIGNATURE><SOURCE>/public/download/linux.deb</SOURCE></ITEM></PACKAGE></AUTOUPDATE_LINUX><ServerIpCheck><ServerIPCheckEnabled>1</ServerIPCheckEnabled><IP_ServerIP>127.0.0.1</IP_ServerIP></ServerIpCheck><LocalNetCheck><LocalNetCheckEnabled>0</LocalNetCheckEnabled></LocalNetCheck></PROFILE>
XML
cat > "$work/routes.json" <<JSON
[
  {"path": "/pre/config.php", "query": "version=2.0", "headers": {"Content-Type": "text/xml"}, "body_file": "$work/profile.xml"},
  {"path": "/my.report.na", "headers": {"Content-Type": "text/plain"}, "body": ""},
  {"path": "/vdesk/resource_template", "headers": {"Content-Type": "text/html; charset=utf-8"},
   "body_file": "$tools/access_server_pages/resource_template.html"},
  {"path_prefix": "/__page/", "status": 204}
]
JSON

if [ $ask -eq 1 ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=127.0.0.1" \
    -addext "subjectAltName=IP:127.0.0.1" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
  listen="demo=https,cert=$work/cert.pem,key=$work/key.pem"
  protocol=https
else
  listen="demo=http"
  protocol=http
fi

# --watch-stdin: the server ends with this script.
sleep infinity | "$tools/access_server" --listen "$listen" --routes "$work/routes.json" \
  --log "$work/requests.jsonl" --port-file "$work/ports.json" --watch-stdin >/dev/null &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/ports.json" ] && break; sleep 0.1; done
port=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["demo"])' "$work/ports.json")
site="$protocol://127.0.0.1:$port"

if [ $ask -eq 0 ]; then
  printf '<?xml version="1.0" encoding="utf-8"?>\n<version>1.0</version><sites><site>%s</site></sites>' "$site" \
    > "$home/.TessalNetworks/trusted_sites.xml"
  chmod 600 "$home/.TessalNetworks/trusted_sites.xml"
  [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen
fi

sid=$(head -c 64 /dev/urandom | od -An -tx1 | tr -d ' \n' | head -c 32)
url="tessal-vpn://launch?server=127.0.0.1&port=$port&protocol=$protocol&sid=$sid&resourcename=demo_na&resourcetype=network_access"
echo "demo: server $site"
echo "demo: launching tessalvpn '$url'"

log=$home/.TessalNetworks/vpn.log
# A private session bus, so a tessalvpn you may already run is not disturbed.
HOME=$home QTWEBENGINE_DISABLE_SANDBOX=1 dbus-run-session -- "$bin/tessalvpn" "$url" &
client_pid=$!

outcome="the session did not reach the browser controller in 120 s"
for _ in $(seq 1200); do
  if grep -q "Browser controller started" "$log" 2>/dev/null; then
    outcome="the session passed its checks and was handed to the browser controller"; break
  fi
  if grep -q "Session .* ends" "$log" 2>/dev/null || ! kill -0 "$client_pid" 2>/dev/null; then
    outcome="the session ended early (see the log below)"; break
  fi
  sleep 0.1
done

echo
echo "demo: what the access server received:"
python3 - "$work/requests.jsonl" <<'PY'
import json, sys
for line in open(sys.argv[1]):
    r = json.loads(line)
    print("  ", r["method"], r["target"])
PY
echo
echo "demo: what the client logged (~/.TessalNetworks/vpn.log, records from the session):"
grep -E "/(SessionManager|Session|ProfileManager|BrowserController|UnixAutoUpdater|AutoUpdater)," "$log" \
  | sed -E 's/^[^,]+,[^,]+, [0-9]+,[0-9]+,/  /' | cut -c1-200 || true
echo
echo "demo: $outcome."
