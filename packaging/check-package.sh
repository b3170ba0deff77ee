#!/usr/bin/env bash
# Builds the Debian package with a throw-away update signing pair, checks it
# with lintian (no errors, no warnings, no hardening tag) and by the binary's
# own hardening, holds its version to the program's, unpacks it into a
# temporary root and runs the unpacked tessalvpn there: an unsupported scheme
# must exit with 1, "--cleanup" with nothing to clean with 0 (the manual
# page's options and exit statuses must be these), and a good launch URL must
# reach the access-server stand-in with its start report.
#
#   packaging/check-package.sh [folder of the access-server stand-in]
#     (default build/dev/test-bin, made by the dev preset)
#   TESSAL_JOBS: parallel build jobs (default: all cores)
set -euo pipefail
cd "$(dirname "$0")/.."

tools=${1:-$PWD/build/dev/test-bin}
[ -x "$tools/access_server" ] || { echo "package: no access-server stand-in in $tools" >&2; exit 1; }

work=$(mktemp -d /tmp/tessal-package.XXXXXX)
server_pid=""
client_pid=""
cleanup() {
  exec 3>&- 2>/dev/null || true
  if [ -n "$client_pid" ]; then kill "$client_pid" 2>/dev/null || true; fi
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Never the test-only pair: a release-type build refuses it.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=package check" \
  -keyout "$work/signing.key" -out "$work/signing.pem" 2>/dev/null
openssl rand -out "$work/hmac.bin" 64

cmake --preset deb -DTESSAL_UPDATE_CERTIFICATE="$work/signing.pem" \
  -DTESSAL_UPDATE_HMAC_KEY="$work/hmac.bin" >/dev/null
cmake --build --preset deb -j "${TESSAL_JOBS:-$(nproc)}"
rm -f build/deb/package/*.deb
cpack --preset deb >/dev/null
deb=$(ls build/deb/package/*.deb)
echo "package: $deb, $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Package Version Depends Recommends

# lintian exits non-zero on errors and warnings alike; its hardening tags are
# of lower levels, so they are looked for among all of them.
lintian --fail-on error,warning --display-info --no-tag-display-limit "$deb" >"$work/lintian.out" 2>/dev/null ||
  { cat "$work/lintian.out" >&2; exit 1; }
if grep -E '(^|[[:space:]])hardening-' "$work/lintian.out" >&2; then
  echo "package: lintian reports missing hardening" >&2; exit 1
fi
echo "package: lintian found no errors, no warnings and no hardening tag"

root=$work/root
dpkg-deb -x "$deb" "$root"
client=$root/usr/bin/tessalvpn
[ -x "$client" ] || { echo "package: no usr/bin/tessalvpn" >&2; exit 1; }

# Debian's hardening, read from the binary itself: position-independent,
# read-only relocations bound at start, stack protector, fortified calls.
elf_header=$(readelf -h -l -d "$client")
symbols=$(readelf --dyn-syms -W "$client")
hardening=""
grep -q 'Type: *DYN' <<<"$elf_header" && hardening+=" pie"
grep -q 'GNU_RELRO' <<<"$elf_header" && hardening+=" relro"
grep -qE '\(BIND_NOW\)|\(FLAGS_1\).*NOW' <<<"$elf_header" && hardening+=" bindnow"
grep -q '__stack_chk_fail' <<<"$symbols" && hardening+=" stackprotector"
grep -qE '__[a-z0-9_]+_chk(@| )' <<<"$symbols" && hardening+=" fortify"
if [ "$hardening" != " pie relro bindnow stackprotector fortify" ]; then
  echo "package: the binary's hardening is '${hardening# }', not 'pie relro bindnow stackprotector fortify'" >&2
  exit 1
fi
echo "package: the binary has${hardening}"
manual=$(man -l "$root/usr/share/man/man1/tessalvpn.1.gz" 2>/dev/null) ||
  { echo "package: no readable manual page tessalvpn(1)" >&2; exit 1; }
# The page's options and exit statuses, as the runs below hold them against
# the program.
man_section() { awk -v name="$1" '/^[A-Z]/ { on = ($0 == name) } on' <<<"$manual"; }
documented_options=$(man_section OPTIONS | grep -oE '^ {7}--[a-z]+' | tr -d ' ' | tr '\n' ' ')
documented_codes=$(man_section "EXIT STATUS" | grep -oE '^ {7}[0-9]+ ' | tr -d ' ' | sort -n | tr '\n' ' ')
if [ "$documented_options" != "--cleanup " ] || [ "$documented_codes" != "0 1 " ]; then
  echo "package: the manual page documents options '$documented_options' and exit statuses '$documented_codes'" >&2
  exit 1
fi
documented() {
  case " $documented_codes" in *" $2 "*) ;; *)
    echo "package: $1 exited with $2, which the manual page does not document" >&2; exit 1 ;;
  esac
}
grep -q '^MimeType=x-scheme-handler/tessal-vpn;x-scheme-handler/tessal-epi;$' \
  "$root/usr/share/applications/tessalvpn.desktop"
# The entry's icon, the one the windows carry.
if ! grep -q '^Icon=tessalvpn$' "$root/usr/share/applications/tessalvpn.desktop" ||
  [ ! -s "$root/usr/share/icons/hicolor/256x256/apps/tessalvpn.png" ]; then
  echo "package: the desktop entry has no installed icon" >&2; exit 1
fi
for standin in tunnelserver svpn access_server; do
  if find "$root" -name "$standin*" | grep -q .; then
    echo "package: holds the stand-in $standin" >&2; exit 1
  fi
done

home=$work/home
mkdir -p "$home/.TessalNetworks"
chmod 700 "$home" "$home/.TessalNetworks"
export HOME=$home XDG_RUNTIME_DIR=$home QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1

# No run below may hang the check: each has a bound.
bound=(timeout -k 5 60)
status=0
"${bound[@]}" dbus-run-session -- "$client" "tessal-ftp://launch?server=127.0.0.1" </dev/null >"$work/scheme.out" 2>&1 ||
  status=$?
if [ "$status" -ne 1 ]; then
  echo "package: unsupported scheme exited with $status, not 1" >&2
  cat "$work/scheme.out" >&2
  exit 1
fi
documented "an unsupported scheme" "$status"
echo "package: unsupported scheme exits with 1"

# The one option, in another letter case, runs here with nothing to clean.
# The cleanup looks for running browsers: it runs with processes of its own,
# so that a browser open on the machine does not make it ask.
private_pids=(unshare --pid --fork --kill-child --mount-proc)
[ "$(id -u)" -eq 0 ] || private_pids=(unshare --user --map-current-user --pid --fork --kill-child --mount-proc)
"${private_pids[@]}" true || { echo "package: no private pid namespace here (unshare refused)" >&2; exit 1; }
status=0
"${bound[@]}" "${private_pids[@]}" dbus-run-session -- "$client" --CleanUp </dev/null >"$work/cleanup.out" 2>&1 ||
  status=$?
if [ "$status" -eq 124 ]; then
  echo "package: --cleanup did not end within 60 s" >&2
  cat "$work/cleanup.out" >&2
  exit 1
fi
documented "--cleanup" "$status"
if [ "$status" -ne 0 ] || ! grep -q "Performing Chrome preferences cleanup" "$home/.TessalNetworks/vpn.log"; then
  echo "package: --cleanup with nothing to clean exited with $status" >&2
  cat "$work/cleanup.out" "$home/.TessalNetworks/vpn.log" >&2 || true
  exit 1
fi
echo "package: --cleanup with nothing to clean exits with 0"

# One version: the package's is the one the program writes in its log.
version=$(dpkg-deb -f "$deb" Version)
logged=$(sed -n 's/^.*  Version: //p' "$home/.TessalNetworks/vpn.log" | head -n 1)
if [ "$version" != "$logged" ]; then
  echo "package: version $version, the program says '$logged'" >&2; exit 1
fi
grep -q "tessalvpn $version" <<<"$manual" || { echo "package: the manual page does not give version $version" >&2; exit 1; }
echo "package: one version, $version"

echo '[{"path": "/my.report.na", "headers": {"Content-Type": "text/plain"}, "body": ""}]' >"$work/routes.json"
# The server ends when its standard input closes: this script holds the
# writing end of that pipe (descriptor 3) until it ends.
mkfifo "$work/server.in"
"$tools/access_server" --listen check=http --routes "$work/routes.json" \
  --log "$work/requests.jsonl" --port-file "$work/ports.json" --watch-stdin <"$work/server.in" >/dev/null &
server_pid=$!
exec 3>"$work/server.in"
for _ in $(seq 100); do [ -s "$work/ports.json" ] && break; sleep 0.1; done
port=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["check"])' "$work/ports.json")
site="http://127.0.0.1:$port"
printf '<?xml version="1.0" encoding="utf-8"?>\n<version>1.0</version><sites><site>%s</site></sites>' "$site" \
  >"$home/.TessalNetworks/trusted_sites.xml"
chmod 600 "$home/.TessalNetworks/trusted_sites.xml"

sid=$(head -c 64 /dev/urandom | od -An -tx1 | tr -d ' \n' | head -c 32)
url="tessal-vpn://launch?server=127.0.0.1&port=$port&protocol=http&sid=$sid&resourcename=check_na&resourcetype=network_access"
dbus-run-session -- "$client" "$url" </dev/null >"$work/launch.out" 2>&1 &
client_pid=$!
reached=0
for _ in $(seq 600); do
  if grep -q '"path": *"/my.report.na"' "$work/requests.jsonl" 2>/dev/null; then reached=1; break; fi
  kill -0 "$client_pid" 2>/dev/null || break
  sleep 0.1
done
if [ "$reached" -ne 1 ]; then
  echo "package: the start report never reached the server" >&2
  cat "$work/launch.out" "$home/.TessalNetworks/vpn.log" >&2 || true
  exit 1
fi
echo "package: the launch reached the server's start report"
