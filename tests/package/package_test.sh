#!/usr/bin/env bash
# Builds the two .deb packages from the build tree given, checks them with
# lintian and their file lists, unpacks them into a temporary root and runs
# the programs from there; verifies the service unit. Exit 77: tools missing.
set -uo pipefail
BUILD=$1
for tool in cpack dpkg-deb lintian systemd-analyze help2man man; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done

WORK=$(mktemp -d /tmp/trp-package.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cd "$BUILD" || exit 1
if ! cpack -G DEB -B "$WORK/out" >"$WORK/cpack.log" 2>&1; then
  cat "$WORK/cpack.log"; echo "FAIL: cpack"; exit 1
fi
desktop=$(ls "$WORK"/out/tabrelpeso_*.deb 2>/dev/null)
server=$(ls "$WORK"/out/tabrelpeso-server_*.deb 2>/dev/null)
[ -n "$desktop" ] && [ -n "$server" ] || { ls "$WORK/out"; echo "FAIL: packages missing"; exit 1; }

# lintian: errors fail, warnings are shown.
lintian "$desktop" "$server" >"$WORK/lintian.log" 2>&1
cat "$WORK/lintian.log"
grep -q '^E:' "$WORK/lintian.log" && fail "lintian reports errors"

# The files each package must hold.
expect() {
  local deb=$1; shift
  local list; list=$(dpkg-deb -c "$deb" | awk '{print $6}')
  for f in "$@"; do grep -qx "./$f" <<<"$list" || fail "$(basename "$deb") lacks $f"; done
}
expect "$desktop" usr/bin/tabrelpeso usr/bin/tabrelpeso-admin usr/bin/tabrelpeso-report \
  usr/lib/tabrelpeso/libtabrelpeso_module.so usr/share/tabrelpeso/reports/QEL536.json \
  usr/share/tabrelpeso/data/cdc2000/wtageinf.csv usr/share/tabrelpeso/data/who/weianthro.txt \
  usr/share/tabrelpeso/data/cdc2000/PROVENANCE.md usr/share/applications/tabrelpeso.desktop \
  usr/share/icons/hicolor/scalable/apps/tabrelpeso.svg usr/share/doc/tabrelpeso/copyright \
  usr/share/man/man1/tabrelpeso.1.gz usr/share/man/man1/tabrelpeso-admin.1.gz \
  usr/share/man/man1/tabrelpeso-report.1.gz
expect "$server" usr/bin/tabrelpeso-server usr/lib/tabrelpeso-server/libtrp_server.so \
  lib/systemd/system/tabrelpeso-server.service etc/tabrelpeso/server.conf \
  usr/lib/sysusers.d/tabrelpeso-server.conf usr/share/man/man1/tabrelpeso-server.1.gz \
  usr/share/doc/tabrelpeso-server/examples/haproxy.cfg.example \
  usr/share/doc/tabrelpeso-server/examples/haproxy-503.http
dpkg-deb -I "$server" conffiles | grep -qx /etc/tabrelpeso/server.conf ||
  fail "server.conf is not a conffile"
dpkg-deb -f "$desktop" Depends | grep -q libqt6widgets6 || fail "Qt dependencies not found"

# Unpacked: every program starts from there and finds its own data.
ROOT=$WORK/root
for deb in "$desktop" "$server"; do dpkg-deb -x "$deb" "$ROOT"; done
for program in tabrelpeso tabrelpeso-admin tabrelpeso-report tabrelpeso-server; do
  "$ROOT/usr/bin/$program" --help >"$WORK/help.txt" 2>&1 || fail "$program --help"
  grep -q "$program" "$WORK/help.txt" || fail "$program --help says nothing of itself"
done
seed=$(env -u TRP_SOURCE_DIR "$ROOT/usr/bin/tabrelpeso-admin" seed --db "$WORK/s.db" 2>&1) ||
  fail "seed from the unpacked tree: $seed"
grep -q "dados de $ROOT/usr/share/tabrelpeso/data/cdc2000" <<<"$seed" ||
  fail "the unpacked admin tool did not read the installed data: $seed"
env -u TRP_SOURCE_DIR "$ROOT/usr/bin/tabrelpeso-report" --db "$WORK/s.db" --refs 01 --percs 050 \
  --out "$WORK/r.pdf" >"$WORK/report.log" 2>&1 || { cat "$WORK/report.log"; fail "report"; }
[ -s "$WORK/r.pdf" ] || fail "the unpacked report tool wrote no PDF"
MANPATH=$ROOT/usr/share/man man -P cat tabrelpeso-server 2>/dev/null | grep -q -- "--tokens" ||
  fail "the server's man page lacks its options"

# The unit, with its paths pointed into the unpacked tree.
sed -e "s|/usr/bin/|$ROOT/usr/bin/|" -e "s|/etc/tabrelpeso|$ROOT/etc/tabrelpeso|g" \
  "$ROOT/lib/systemd/system/tabrelpeso-server.service" >"$WORK/tabrelpeso-server.service"
MANPATH=$ROOT/usr/share/man systemd-analyze verify "$WORK/tabrelpeso-server.service" ||
  fail "systemd-analyze verify"

[ "$failures" -eq 0 ] && echo "packages: $(basename "$desktop") $(basename "$server") OK"
exit $((failures > 0))
