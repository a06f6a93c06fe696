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

# lintian: errors and any copyright finding fail, other warnings are shown.
lintian "$desktop" "$server" >"$WORK/lintian.log" 2>&1
cat "$WORK/lintian.log"
grep -q '^E:' "$WORK/lintian.log" && fail "lintian reports errors"
grep -Eq '^[EW]: .*copyright' "$WORK/lintian.log" && fail "lintian warns about the copyright file"

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
  usr/share/doc/tabrelpeso-server/examples/haproxy-503.http \
  usr/lib/tabrelpeso-server/iniciar-sem-systemd usr/share/tabrelpeso-server/web/pagina.html \
  usr/share/tabrelpeso-server/web/QEL536.json
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

# The man pages as an installed system reads them: every accent (help2man
# writes "?" for each outside a UTF-8 locale), the service's files, no path
# of the machine they were built on.
for page in "$ROOT"/usr/share/man/man1/*.1.gz; do
  zcat "$page" >"$WORK/page.roff"
  grep -n '??' "$WORK/page.roff" && fail "$(basename "$page") has '??' for accented letters"
  grep -q 'manuten\|tabelas\|relat' "$WORK/page.roff" || fail "$(basename "$page") has no name"
  grep -nE "$HOME/|/root/|reposit" "$WORK/page.roff" &&
    fail "$(basename "$page") names the builder's home or the repository"
done
MANPATH=$ROOT/usr/share/man man -P cat tabrelpeso-server 2>/dev/null >"$WORK/server.man"
for text in /etc/tabrelpeso/server.conf TRP_LISTEN TRP_DB TRP_OPTIONS /etc/tabrelpeso/tokens \
  maintainer --tls-cert haproxy.cfg.example iniciar-sem-systemd; do
  grep -q -- "$text" "$WORK/server.man" || fail "the server's man page does not name $text"
done
MANPATH=$ROOT/usr/share/man man -P cat tabrelpeso 2>/dev/null | grep -q '~/.config/tabrelpeso' ||
  fail "the desktop program's man page does not give its settings as ~/.config/..."

# The maintainer scripts on a root without systemd running: DPKG_ROOT, and
# every command that would change this machine replaced by one that logs.
SYS=$WORK/sys
STUBS=$WORK/stubs
mkdir -p "$SYS" "$STUBS"
dpkg-deb -x "$server" "$SYS"
for cmd in systemd-sysusers chown dpkg-statoverride deb-systemd-helper deb-systemd-invoke systemctl; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\n%s\n' "$cmd" "$WORK/calls.log" \
    "$([ "$cmd" = dpkg-statoverride ] && echo 'case "$*" in *--list*) exit 1;; esac')" \
    >"$STUBS/$cmd"
  chmod +x "$STUBS/$cmd"
done
dpkg-deb -e "$server" "$WORK/control"
# A script that ignores DPKG_ROOT would change this machine: not run.
grep -q DPKG_ROOT "$WORK/control/postinst" && grep -q DPKG_ROOT "$WORK/control/postrm" || {
  fail "the maintainer scripts ignore DPKG_ROOT"
  exit 1
}
DPKG_ROOT=$SYS PATH=$STUBS:$PATH sh "$WORK/control/postinst" configure >"$WORK/postinst.log" 2>&1 ||
  fail "postinst configure: $(cat "$WORK/postinst.log")"
cat "$WORK/postinst.log"
grep -q "systemd não está em execução" "$WORK/postinst.log" &&
  grep -q "NÃO iniciado" "$WORK/postinst.log" &&
  grep -q "/usr/lib/tabrelpeso-server/iniciar-sem-systemd" "$WORK/postinst.log" ||
  fail "without systemd the postinst does not say the service was not started, nor how to start it"
mode() { stat -c %a "$1" 2>/dev/null; }
[ "$(mode "$SYS/var/lib/tabrelpeso")" = 750 ] || fail "postinst: /var/lib/tabrelpeso not created 0750"
grep -q "chown tabrelpeso:tabrelpeso $SYS/var/lib/tabrelpeso" "$WORK/calls.log" ||
  fail "postinst: /var/lib/tabrelpeso not given to tabrelpeso"
[ "$(mode "$SYS/etc/tabrelpeso/tokens")" = 600 ] || fail "postinst: tokens not 0600"
grep -q "^admin maintainer [0-9a-f]\{64\}$" "$SYS/etc/tabrelpeso/tokens" ||
  fail "postinst: no admin credential"
grep -q "dpkg-statoverride --root $SYS --update --add root tabrelpeso 0640 /etc/tabrelpeso/server.conf" \
  "$WORK/calls.log" || fail "postinst: server.conf not set to 0640 root:tabrelpeso"
grep -qE "deb-systemd-invoke|systemctl" "$WORK/calls.log" &&
  fail "postinst started or reloaded something with systemd absent"
DPKG_ROOT=$SYS PATH=$STUBS:$PATH sh "$WORK/control/postrm" purge >"$WORK/postrm.log" 2>&1 ||
  fail "postrm purge: $(cat "$WORK/postrm.log")"
[ -d "$SYS/var/lib/tabrelpeso" ] || fail "purge removed /var/lib/tabrelpeso"
grep -q "/var/lib/tabrelpeso" "$WORK/postrm.log" && grep -q "mantidos" "$WORK/postrm.log" ||
  fail "purge does not say that the database and the user were kept"
[ -e "$SYS/etc/tabrelpeso/tokens" ] && fail "purge left the credentials"

# The desktop program: the token from a file, its settings written owner-only,
# and the installation check ends with an error when the server is away.
export HOME=$WORK/home
mkdir -p "$HOME"
(umask 077; echo "# credencial" >"$WORK/token"; echo "0123abcd" >>"$WORK/token")
start=$(date +%s)
timeout 10 env -u TRP_SOURCE_DIR "$ROOT/usr/bin/tabrelpeso" --server 127.0.0.1:1 \
  --token-file "$WORK/token" --quit-after 100 >"$WORK/check.out" 2>"$WORK/check.err"
rc=$?
if [ "$rc" -eq 124 ]; then
  fail "tabrelpeso --quit-after did not end within 10 s with the server away"
elif [ "$rc" -eq 0 ]; then
  fail "tabrelpeso --quit-after ended with status 0 with the server away"
fi
grep -q "Não foi possível conectar ao servidor de aplicação em 127.0.0.1:1" "$WORK/check.err" ||
  { cat "$WORK/check.err"; fail "tabrelpeso --quit-after did not say on stderr that the server is away"; }
echo "quit-after with the server away: status $rc after $(($(date +%s) - start)) s"
ini=$HOME/.config/tabrelpeso/tabrelpeso.ini
[ "$(mode "$ini")" = 600 ] || fail "the settings template is not 0600: $(mode "$ini")"
rm -f "$ini"
printf '[Servidor]\nWebURL=127.0.0.1\nWebPort=1\nToken=0123abcd\n' >"$ini"
chmod 0644 "$ini"
timeout 10 env -u TRP_SOURCE_DIR "$ROOT/usr/bin/tabrelpeso" --quit-after 100 >/dev/null 2>&1
[ "$(mode "$ini")" = 600 ] || fail "a settings file holding a token stays readable by others"

# The unit, with its paths pointed into the unpacked tree.
sed -e "s|/usr/bin/|$ROOT/usr/bin/|" -e "s|/etc/tabrelpeso|$ROOT/etc/tabrelpeso|g" \
  "$ROOT/lib/systemd/system/tabrelpeso-server.service" >"$WORK/tabrelpeso-server.service"
MANPATH=$ROOT/usr/share/man systemd-analyze verify "$WORK/tabrelpeso-server.service" ||
  fail "systemd-analyze verify"

[ "$failures" -eq 0 ] && echo "packages: $(basename "$desktop") $(basename "$server") OK"
exit $((failures > 0))
